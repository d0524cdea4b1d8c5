#include "fake_wmi.h"

#include <utility>

namespace {

#define FAKE_NOT_SUPPORTED \
    { return WBEM_E_NOT_SUPPORTED; }

// Reference counting shared by the fake's objects.
template <class Base>
class Counted : public Base {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return refs;
    }
    virtual ~Counted() = default;

protected:
    HRESULT Answer(REFIID riid, REFIID own, void** out) {
        if (riid == IID_IUnknown || riid == own) {
            *out = static_cast<Base*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }

private:
    LONG m_refs = 1;
};

using State = std::shared_ptr<FakeWmiState>;

class FakeObject : public Counted<IWbemClassObject> {
public:
    FakeObject(State state, std::size_t position) : m_state(std::move(state)), m_position(position) {
        VariantInit(&m_pending);
    }
    ~FakeObject() override { VariantClear(&m_pending); }
    std::size_t Position() const { return m_position; }
    const VARIANT& Pending() const { return m_pending; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        return Answer(riid, IID_IWbemClassObject, out);
    }
    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE* type, LONG* flavor) override {
        if (lstrcmpiW(name, L"Value") != 0 && lstrcmpiW(name, L"ZELEvt") != 0) return WBEM_E_NOT_FOUND;
        if (type) *type = CIM_STRING;
        if (flavor) *flavor = 0;
        VariantInit(value);
        return VariantCopy(value, &m_state->values[m_position]);
    }
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR name, LONG, VARIANT* value, CIMTYPE) override {
        if (lstrcmpiW(name, L"Value") != 0) return WBEM_E_NOT_FOUND;
        return VariantCopy(&m_pending, value);
    }
    HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE EndEnumeration() override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, LONG, IWbemClassObject**, IWbemClassObject**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**, IWbemClassObject**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override FAKE_NOT_SUPPORTED

private:
    State m_state;
    std::size_t m_position;
    VARIANT m_pending;
};

class FakeEnum : public Counted<IEnumWbemClassObject> {
public:
    FakeEnum(State state, std::size_t count, bool failing)
        : m_state(std::move(state)), m_count(count), m_failing(failing) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        return Answer(riid, IID_IEnumWbemClassObject, out);
    }
    HRESULT STDMETHODCALLTYPE Next(LONG, ULONG count, IWbemClassObject** objects, ULONG* returned) override {
        *returned = 0;
        if (count != 1) return WBEM_E_INVALID_PARAMETER;
        if (m_failing && m_next == m_state->failPosition) return m_state->failCode;
        if (m_next >= m_count) return WBEM_S_FALSE;
        objects[0] = new FakeObject(m_state, m_next++);
        *returned = 1;
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE Reset() override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE Skip(LONG, ULONG) override FAKE_NOT_SUPPORTED

private:
    State m_state;
    std::size_t m_count;
    bool m_failing;
    std::size_t m_next = 0;
};

// The services object also answers for the proxy blanket, as a remote
// proxy would.
class FakeServices : public Counted<IWbemServices>, public IClientSecurity {
public:
    explicit FakeServices(State state) : m_state(std::move(state)) { ++m_state->openConnections; }
    ~FakeServices() override { --m_state->openConnections; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IClientSecurity) {
            *out = static_cast<IClientSecurity*>(this);
            Counted::AddRef();
            return S_OK;
        }
        return Answer(riid, IID_IWbemServices, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Counted::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return Counted::Release(); }

    // IClientSecurity
    HRESULT STDMETHODCALLTYPE QueryBlanket(IUnknown*, DWORD*, DWORD*, OLECHAR**, DWORD*, DWORD*, RPC_AUTH_IDENTITY_HANDLE*,
                                           DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetBlanket(IUnknown*, DWORD, DWORD, OLECHAR*, DWORD, DWORD, RPC_AUTH_IDENTITY_HANDLE,
                                         DWORD) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyProxy(IUnknown*, IUnknown**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR, const BSTR, LONG, IWbemContext* context,
                                        IEnumWbemClassObject** objects) override {
        int query = m_state->queries++;
        m_state->queryContexts.push_back(context != nullptr);
        if (query == m_state->noEnumeratorQuery) {
            *objects = nullptr;
            return WBEM_S_NO_ERROR;
        }
        std::size_t count = m_state->values.size();
        if (!m_state->visible.empty()) {
            count = m_state->visible[std::min<std::size_t>(query, m_state->visible.size() - 1)];
        }
        *objects = new FakeEnum(m_state, count, query == 1);
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject* object, LONG, IWbemContext*, IWbemCallResult**) override {
        auto* fake = static_cast<FakeObject*>(object);
        VARIANT text;
        VariantInit(&text);
        HRESULT hr = VariantChangeType(&text, const_cast<VARIANT*>(&fake->Pending()), 0, VT_BSTR);
        if (FAILED(hr)) return WBEM_E_TYPE_MISMATCH;
        m_state->stored[fake->Position()] = text.bstrVal;
        VariantClear(&text);
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**, IWbemCallResult**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink* sink) override {
        if (FAILED(m_state->lostWith)) return m_state->lostWith;
        auto& sinks = m_state->sinks;
        for (auto it = sinks.begin(); it != sinks.end(); ++it) {
            if (*it != sink) continue;
            sinks.erase(it);
            ++m_state->cancels;
            sink->SetStatus(WBEM_STATUS_COMPLETE, WBEM_E_CALL_CANCELLED, nullptr, nullptr);
            sink->Release();
            return WBEM_S_NO_ERROR;
        }
        return WBEM_E_NOT_FOUND;
    }
    HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG, IWbemObjectSink**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR, LONG, IWbemContext*, IWbemClassObject** object,
                                        IWbemCallResult**) override {
        if (object) *object = nullptr;
        return FAILED(m_state->lostWith) ? m_state->lostWith : static_cast<HRESULT>(WBEM_E_NOT_FOUND);
    }
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                                         IWbemObjectSink* sink) override {
        if (FAILED(m_state->lostWith)) return m_state->lostWith;
        sink->AddRef();
        m_state->sinks.push_back(sink);
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*, IWbemClassObject**, IWbemCallResult**) override FAKE_NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*, IWbemObjectSink*) override FAKE_NOT_SUPPORTED

private:
    State m_state;
};

class FakeLocator : public Counted<IWbemLocator> {
public:
    explicit FakeLocator(State state) : m_state(std::move(state)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        return Answer(riid, IID_IWbemLocator, out);
    }
    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR, const BSTR, const BSTR, const BSTR, LONG, const BSTR, IWbemContext*,
                                            IWbemServices** services) override {
        ++m_state->connections;
        *services = new FakeServices(m_state);
        return WBEM_S_NO_ERROR;
    }

private:
    State m_state;
};

class FakeFactory : public Counted<IClassFactory> {
public:
    explicit FakeFactory(State state) : m_state(std::move(state)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        return Answer(riid, IID_IClassFactory, out);
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* locator = new FakeLocator(m_state);
        HRESULT hr = locator->QueryInterface(riid, out);
        locator->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    State m_state;
};

}  // namespace

FakeWmiState::~FakeWmiState() {
    for (VARIANT& v : values) VariantClear(&v);
    for (IWbemObjectSink* sink : sinks) sink->Release();
}

IWbemClassObject* FakeWmi::NewObject(std::size_t position) { return new FakeObject(m_state, position); }

FakeWmi::FakeWmi() : m_state(std::make_shared<FakeWmiState>()) {
    auto* factory = new FakeFactory(m_state);
    if (FAILED(CoRegisterClassObject(CLSID_WbemLocator, factory, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &m_cookie))) {
        m_cookie = 0;
    }
    factory->Release();
}

FakeWmi::~FakeWmi() {
    if (m_cookie) CoRevokeClassObject(m_cookie);
}

void FakeWmi::AddObject(VARIANT value) {
    m_state->values.push_back(value);
}

VARIANT TextValue(const std::wstring& text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return v;
}

VARIANT IntValue(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT NullValue() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_NULL;
    return v;
}

VARIANT EmptyValue() {
    VARIANT v;
    VariantInit(&v);
    return v;
}

VARIANT IntArrayValue() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_I4;
    v.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    return v;
}

VARIANT ObjectValue() {
    // An embedded object: a value with no text form.
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UNKNOWN;
    auto* object = new FakeObject(std::make_shared<FakeWmiState>(), 0);
    v.punkVal = object;
    return v;
}
