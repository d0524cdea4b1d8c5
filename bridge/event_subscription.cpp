// Firmware event subscription: the event sink, CBrindle::ZELWMIEvent, and
// the watch over the subscriptions a window holds (WMIEventsAlive,
// RenewWMIEvent).
#include "Brindle.h"
#include "access_rules.h"
#include "event_sink.h"
#include "internal.h"
#include "sink_for_wmi.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace brindle {

CEventSink::CEventSink(HWND target) : m_refs(0), m_done(false), m_target(target) {}

CEventSink::~CEventSink() {
    m_done = true;
}

HRESULT CEventSink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
        *ppv = static_cast<IWbemObjectSink*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CEventSink::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

ULONG CEventSink::Release() {
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

HRESULT CEventSink::Indicate(LONG count, IWbemClassObject** objects) {
    if (count > 0 && objects && objects[0]) {
        Variant value;
        HRESULT hr = objects[0]->Get(L"ZELEvt", 0, value.Ptr(), nullptr, nullptr);
        // An event without a readable integer ZELEvt posts nothing: a made-up
        // code would be taken for a key press.
        Variant number;
        if (SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(number.Ptr(), value.Ptr(), 0, VT_UI4))) {
            const ULONG zelEvt = number.Value().ulVal;
            if (!Silent()) PostMessageA(m_target, WM_FIRMWARE_EVENT, EventCode(zelEvt), EventFlags(zelEvt));
        }
    }
    for (LONG i = 0; i < count; ++i) std::fputs("Event occurred\n", stdout);
    std::fflush(stdout);
    return WBEM_S_NO_ERROR;
}

bool CEventSink::Silent() const {
    return InterlockedCompareExchange(const_cast<LONG*>(&m_retired), 0, 0) != 0 || Ended();
}

HRESULT CEventSink::SetStatus(LONG flags, HRESULT result, BSTR, IWbemClassObject*) {
    if (flags == WBEM_STATUS_COMPLETE) {
        std::printf("Call complete. hResult = 0x%lX\n", static_cast<unsigned long>(result));
        // The call is over: WMI sends nothing more. A failure means the
        // subscription ended under the window, which is told so it can
        // subscribe again; a retired sink's end is the bridge's own doing.
        const bool tell = FAILED(result) && !Silent();
        InterlockedExchange(&m_ended, 1);
        if (tell) PostMessageA(m_target, WM_FIRMWARE_EVENTS_ENDED, 0, static_cast<LPARAM>(result));
    } else if (flags == WBEM_STATUS_PROGRESS) {
        std::fputs("Call in progress.\n", stdout);
    }
    std::fflush(stdout);
    return WBEM_S_NO_ERROR;
}

namespace {

// One subscription made through the bridge, kept so that its window can ask
// whether it still stands and replace it. Each entry holds a reference to
// the services object it came through, to what WMI was handed and to the
// sink. Entries belong to the thread that subscribed (the services object
// is that thread's).
struct Subscription {
    HWND window;
    DWORD thread;
    std::wstring query;
    std::wstring nameSpace;
    IWbemServices* services;
    IWbemObjectSink* target;
    CEventSink* sink;
};

// Never destroyed: entries may still be held while the process ends, and
// releasing COM objects then would be unsafe.
class Subscriptions {
public:
    Subscriptions() { InitializeCriticalSection(&m_cs); }

    void Add(const Subscription& s) {
        Lock lock(m_cs);
        m_entries.push_back(s);
    }
    // Takes out the entries of the window on this thread that `match` picks.
    template <class Match>
    std::vector<Subscription> Take(HWND window, Match match) {
        Lock lock(m_cs);
        std::vector<Subscription> taken;
        const DWORD thread = GetCurrentThreadId();
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            if (it->window == window && it->thread == thread && match(*it)) {
                taken.push_back(*it);
                it = m_entries.erase(it);
            } else {
                ++it;
            }
        }
        return taken;
    }
    // A copy of the window's entries on this thread, each with references of its own.
    std::vector<Subscription> Copy(HWND window) {
        Lock lock(m_cs);
        std::vector<Subscription> copy;
        for (const auto& e : m_entries) {
            if (e.window != window || e.thread != GetCurrentThreadId()) continue;
            e.services->AddRef();
            e.target->AddRef();
            e.sink->AddRef();
            copy.push_back(e);
        }
        return copy;
    }

private:
    class Lock {
    public:
        explicit Lock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
        ~Lock() { LeaveCriticalSection(&m_cs); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        CRITICAL_SECTION& m_cs;
    };

    CRITICAL_SECTION m_cs;
    std::vector<Subscription> m_entries;
};

Subscriptions& Kept() {
    static Subscriptions* kept = new Subscriptions();
    return *kept;
}

void ReleaseEntry(const Subscription& s) {
    s.sink->Release();
    s.target->Release();
    s.services->Release();
}

std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// A cheap question to the services object: any answer, even a refusal,
// shows that its server is there.
bool Answers(IWbemServices* services) {
    BStr name(SysAllocString(L"__SystemClass"));
    if (!name) return true;  // nothing could be asked: not a sign of a lost connection
    ComPtr<IWbemClassObject> object;
    const HRESULT hr = services->GetObject(name.Get(), 0, nullptr, object.Put(), nullptr);
    return !ConnectionLost(static_cast<std::uint32_t>(hr));
}

}  // namespace

// Forgets the window's kept subscriptions on this thread without ending
// them (they deliver as before); called before the thread's COM goes.
void ForgetSubscriptions(HWND window) {
    for (const auto& s : Kept().Take(window, [](const Subscription&) { return true; })) ReleaseEntry(s);
}

}  // namespace brindle

BOOL CBrindle::WMIEventsAlive() {
    using namespace brindle;
    std::vector<Subscription> all = Kept().Copy(m_hEventWnd);
    bool alive = !all.empty();
    for (const auto& s : all) {
        if (alive && (s.sink->Ended() || !Answers(s.services))) alive = false;
        ReleaseEntry(s);
    }
    return alive ? TRUE : FALSE;
}

BOOL CBrindle::RenewWMIEvent(BSTR query, char* errorText, BSTR nameSpace, BSTR language) {
    using namespace brindle;
    const std::wstring q = Text(query), ns = Text(nameSpace);
    // The old subscriptions go first, so that no event is posted twice while
    // both would stand.
    for (const auto& s : Kept().Take(m_hEventWnd, [&](const Subscription& e) {
             return SameText(e.query, q) && SameText(e.nameSpace, ns);
         })) {
        s.sink->Retire();
        if (!s.sink->Ended()) s.services->CancelAsyncCall(s.target);  // fails at once on a lost connection
        ReleaseEntry(s);
    }
    return ZELWMIEvent(query, errorText, nameSpace, language);
}

BOOL CBrindle::ZELWMIEvent(BSTR query, char* errorText, BSTR nameSpace, BSTR language) {
    using namespace brindle;
    ComPtr<IWbemContext> context;
    HRESULT hr = CoCreateInstance(CLSID_WbemContext, nullptr, kServerKinds, IID_IWbemContext, context.PutVoid());
    if (FAILED(hr)) {
        GetWMIErrMsg(hr, errorText);
        return FALSE;
    }
    ComPtr<IWbemLocator> locator;
    ComPtr<IWbemServices> services;
    hr = Connect(nameSpace, context.Get(), locator, services);
    if (FAILED(hr)) {
        GetWMIErrMsg(hr, errorText);
        return FALSE;
    }

    CEventSink* sink = new (std::nothrow) CEventSink(m_hEventWnd);
    if (!sink) {
        GetWMIErrMsg(WBEM_E_OUT_OF_MEMORY, errorText);
        return FALSE;
    }
    sink->AddRef();
    ComPtr<IWbemObjectSink> target;
    SinkForWmi(sink, target);
    hr = services->ExecNotificationQueryAsync(language, query, WBEM_FLAG_SEND_STATUS, context.Get(), target.Get());
    if (FAILED(hr)) {
        // WMI keeps its own references to what it calls; this one goes either way.
        sink->Release();
        GetWMIErrMsg(hr, errorText);
        return FALSE;
    }
    // Kept (with the sink's reference taken above) so the window can ask
    // whether the subscription still stands, and replace it.
    const std::wstring keptQuery = Text(query), keptNameSpace = Text(nameSpace);
    services->AddRef();
    target->AddRef();
    Kept().Add({m_hEventWnd, GetCurrentThreadId(), keptQuery, keptNameSpace, services.Get(), target.Get(), sink});
    return TRUE;
}
