#include "WAcpi.h"

#include <new>

#include "viewer_rules.h"

using namespace quillon;

HRESULT QuerySink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
        *ppv = static_cast<IWbemObjectSink*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG QuerySink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_lRef)); }

ULONG QuerySink::Release() {
    LONG count = InterlockedDecrement(&m_lRef);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

// Runs on a WMI thread: touches only its own VARIANT and posts.
HRESULT QuerySink::Indicate(LONG lObjectCount, IWbemClassObject** apObjArray) {
    for (LONG i = 0; apObjArray && i < lObjectCount; ++i) {
        VARIANT value;
        VariantInit(&value);
        V_VT(&value) = VT_I4;
        V_I4(&value) = 0;
        HRESULT hr = apObjArray[i] ? apObjArray[i]->Get(L"ULong", 0, &value, nullptr, nullptr) : E_POINTER;
        if (FAILED(hr)) {
            MessageBoxA(nullptr, "WMIACPI,QuerySink,Get:could fail due to out of memory condition", nullptr, MB_OK);
        } else if (m_hWnd && (V_VT(&value) == VT_I4 || V_VT(&value) == VT_UI4)) {
            PostMessageA(m_hWnd, WM_WACPI_NOTIFY, static_cast<WPARAM>(static_cast<ULONG>(V_I4(&value))), 0);
        }
        VariantClear(&value);
    }
    return WBEM_S_NO_ERROR;
}

HRESULT QuerySink::SetStatus(LONG, HRESULT, BSTR, IWbemClassObject*) { return WBEM_S_NO_ERROR; }

CWAcpi::CWAcpi(HWND window) : m_hWnd(window) {
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                m_locator.PutVoid())))
        return;
    BStr resource(L"\\\\.\\ROOT\\WMI");
    if (FAILED(m_locator->ConnectServer(resource, nullptr, nullptr, nullptr, 0, nullptr, nullptr, m_services.Put()))) {
        ReleaseAll();
        return;
    }
    if (FAILED(CoSetProxyBlanket(m_services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                 RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE))) {
        ReleaseAll();
        return;
    }
    m_sink = new (std::nothrow) QuerySink(m_hWnd);
    if (!m_sink) {
        ReleaseAll();
        return;
    }
    BStr language(L"WQL");
    BStr query(L"select * from HOT_KEY_ULong");
    if (m_services->ExecNotificationQueryAsync(language, query, 0, nullptr, m_sink) != S_OK) {
        ReleaseAll();
        return;
    }
    m_bInitialised = true;
    m_initialValue = GetULong(0);
}

CWAcpi::~CWAcpi() {
    if (m_bInitialised) {
        m_services->CancelAsyncCall(m_sink);
        ReleaseAll();
        m_bInitialised = false;
    }
}

void CWAcpi::ReleaseAll() {
    if (m_sink) std::exchange(m_sink, nullptr)->Release();
    m_services.Release();
    m_locator.Release();
}

ULONG CWAcpi::GetULong(int n) { return ReadULong(n).value_or(0); }

std::optional<ULONG> CWAcpi::ReadULong(int n) {
    Lock::Held held(m_lock);
    if (!m_bInitialised) {
        OutputDebugStringA("init Failed\n");
        return std::nullopt;
    }
    const std::wstring path = MethodULongPath(n);
    WalkInstances(n);

    ComPtr<IWbemClassObject> out;
    BStr objectPath(path.c_str());
    BStr method(L"GetULong");
    if (FAILED(m_services->ExecMethod(objectPath, method, 0, nullptr, nullptr, out.Put(), nullptr)) || !out)
        return std::nullopt;
    VARIANT data;
    VariantInit(&data);
    std::optional<ULONG> value;
    if (out->Get(L"Data", 0, &data, nullptr, nullptr) == S_OK && (V_VT(&data) == VT_I4 || V_VT(&data) == VT_UI4))
        value = static_cast<ULONG>(V_I4(&data));
    VariantClear(&data);
    return value;
}

// Reports through debug output only; what follows does not depend on it.
void CWAcpi::WalkInstances(int n) {
    BStr className(L"Method_ULong");
    ComPtr<IEnumWbemClassObject> enumerator;
    int failed = 0;
    while (failed < kEnumTries && FAILED(m_services->CreateInstanceEnum(className, 0, nullptr, enumerator.Put())))
        ++failed;
    const bool succeeded = failed < kEnumTries && enumerator;
    if (const char* note = EnumTriesNote(failed, succeeded)) OutputDebugStringA(note);
    if (!succeeded) return;

    enumerator->Reset();
    ComPtr<IWbemClassObject> instance;
    for (int position = 0;; ++position) {
        ULONG returned = 0;
        HRESULT hr = enumerator->Next(WBEM_INFINITE, 1, instance.Put(), &returned);
        if (FAILED(hr) || returned == 0 || !instance) {
            OutputDebugStringA("ppEnum->Next\n");
            return;
        }
        if (position >= n) break;
    }
    enumerator.Release();
    VARIANT name;
    VariantInit(&name);
    if (FAILED(instance->Get(L"InstanceName", 0, &name, nullptr, nullptr))) OutputDebugStringA("pInstance->Get\n");
    VariantClear(&name);
}

FirmwareRead::FirmwareRead(int n)
    : m_value(std::make_shared<std::optional<ULONG>>()),
      m_worker([n, value = m_value] {
          CWAcpi acpi(nullptr);
          *value = acpi.ReadULong(n);
      }) {}

FirmwareReading FirmwareRead::Result(DWORD waitMs) {
    if (!m_worker.Started()) return {true, std::nullopt};
    // Once the worker has ended its result is complete; otherwise it is left
    // alone.
    if (!m_worker.WaitSinceStart(waitMs)) return {false, std::nullopt};
    return {true, *m_value};
}
