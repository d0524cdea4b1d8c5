#include "brightness.h"

#include "access_rules.h"
#include "device_commands.h"

#include "handles.h"
#include "sink_for_wmi.h"
#include "vorlix_dlg.h"

#include <cstdint>
#include <cstdio>
#include <new>

namespace vx {

using brindle::ComPtr;
using brindle::Variant;

HRESULT EventSink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
        *ppv = static_cast<IWbemObjectSink*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG EventSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG EventSink::Release() {
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

HRESULT EventSink::Indicate(LONG count, IWbemClassObject** objects) {
    if (count <= 0 || !objects || !objects[0]) return WBEM_S_NO_ERROR;
    if (InterlockedCompareExchange(&m_retired, 0, 0) || Ended()) return WBEM_S_NO_ERROR;
    Variant value;
    Variant number;
    // Only a readable integer brightness is reported: a made-up 0 would show an empty bar.
    if (SUCCEEDED(objects[0]->Get(L"Brightness", 0, value.Ptr(), nullptr, nullptr)) &&
        SUCCEEDED(VariantChangeType(number.Ptr(), value.Ptr(), 0, VT_UI4)))
        SendMessageA(m_target, WM_BRIGHTNESS_NOTIFY, number.Value().ulVal & 0xFF, 0);
    return WBEM_S_NO_ERROR;
}

HRESULT EventSink::SetStatus(LONG flags, HRESULT, BSTR, IWbemClassObject*) {
    if (flags == WBEM_STATUS_COMPLETE) InterlockedExchange(&m_ended, 1);
    return WBEM_S_NO_ERROR;
}

namespace {

// The main window's brightness subscription, kept on its thread so that it
// can be checked and replaced. Used on that thread only.
struct KeptBrightness {
    IWbemServices* services = nullptr;
    IWbemObjectSink* forWmi = nullptr;
    EventSink* sink = nullptr;
} g_kept;

void Keep(IWbemServices* services, IWbemObjectSink* forWmi, EventSink* sink) {
    ForgetBrightness();
    services->AddRef();
    forWmi->AddRef();
    sink->AddRef();
    g_kept = {services, forWmi, sink};
}

}  // namespace

void ForgetBrightness() {
    if (g_kept.sink) g_kept.sink->Release();
    if (g_kept.forWmi) g_kept.forWmi->Release();
    if (g_kept.services) g_kept.services->Release();
    g_kept = {};
}

bool BrightnessEventsAlive() {
    if (!g_kept.sink || g_kept.sink->Ended()) return false;
    UniqueBstr name(SysAllocString(L"__SystemClass"));
    if (!name) return true;  // nothing could be asked: not a sign of a lost connection
    ComPtr<IWbemClassObject> object;
    const HRESULT hr = g_kept.services->GetObject(name.Get(), 0, nullptr, object.Put(), nullptr);
    return !brindle::ConnectionLost(static_cast<std::uint32_t>(hr));
}

int RenewBrightness(HWND target) {
    if (g_kept.sink) {
        g_kept.sink->Retire();
        if (!g_kept.sink->Ended()) g_kept.services->CancelAsyncCall(g_kept.forWmi);  // fails at once when gone
        ForgetBrightness();
    }
    return SubscribeBrightness(target);
}

int SubscribeBrightness(HWND target) {
    UniqueBstr nameSpace(SysAllocString(L"ROOT\\WMI"));
    UniqueBstr language(SysAllocString(L"WQL"));
    UniqueBstr query(SysAllocString(L"SELECT * FROM WmiMonitorBrightnessEvent"));
    if (!nameSpace || !language || !query) return 3;
    // The thread is already initialised by the bridge object; neither result matters.
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
                         nullptr, EOAC_NONE, nullptr);
    // A successful join above is undone on every path: the thread's COM
    // state stays as it was.
    struct ComJoin {
        bool joined;
        ~ComJoin() {
            if (joined) CoUninitialize();
        }
    } join{SUCCEEDED(init)};

    ComPtr<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                locator.PutVoid())))
        return 3;
    ComPtr<IWbemServices> services;
    if (FAILED(locator->ConnectServer(nameSpace.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                      services.Put())))
        return 4;
    if (FAILED(CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE)))
        return 5;
    EventSink* sink = new (std::nothrow) EventSink(target);
    if (!sink) return 1;
    sink->AddRef();
    ComPtr<IWbemObjectSink> forWmi;
    brindle::SinkForWmi(sink, forWmi);
    HRESULT hr = services->ExecNotificationQueryAsync(language.Get(), query.Get(), WBEM_FLAG_SEND_STATUS, nullptr,
                                                      forWmi.Get());
    // Kept only where the objects outlive this call: on a thread whose COM
    // this call did not start.
    if (SUCCEEDED(hr) && !join.joined) Keep(services.Get(), forWmi.Get(), sink);
    sink->Release();
    if (FAILED(hr)) {
        std::printf("ExecNotificationQueryAsync failed with = 0x%X\n", static_cast<unsigned>(hr));
        return 1;
    }
    return 0;
}

int ReadBrightness(CBrindle& bridge, int lastKnown) {
    UniqueBstr query(SysAllocString(L"Select * from WmiMonitorBrightness"));
    UniqueBstr property(SysAllocString(L"CurrentBrightness"));
    UniqueBstr nameSpace(SysAllocString(L"root\\wmi"));
    UniqueBstr language(SysAllocString(L"WQL"));
    if (!query || !property || !nameSpace || !language) return lastKnown;
    char value[BRINDLE_TEXT_SIZE] = {};
    char errorText[BRINDLE_TEXT_SIZE] = {};
    CValueArray values;
    if (values.Add(value) < 0) return lastKnown;
    BSTR name = property.Get();
    if (!bridge.QueryWMIProperty(query.Get(), &name, values, errorText, nameSpace.Get(), language.Get()))
        return lastKnown;
    return BrightnessFromText(value).value_or(lastKnown);
}

namespace {

// One monitor's WmiSetBrightness; false ends the walk over the monitors.
bool SetOneMonitor(IWbemServices* services, IWbemClassObject* monitor, BSTR className, BSTR method, BSTR timeoutName,
                   BSTR brightnessName, int percent) {
    ComPtr<IWbemClassObject> cls;
    HRESULT hr = services->GetObject(className, 0, nullptr, cls.Put(), nullptr);
    if (FAILED(hr)) return std::printf("\nGetObject returned 0x%x:", static_cast<unsigned>(hr)), false;
    ComPtr<IWbemClassObject> signature;
    hr = cls->GetMethod(method, 0, signature.Put(), nullptr);
    if (FAILED(hr) || !signature) return std::printf("\nGetMethod returned 0x%x:", static_cast<unsigned>(hr)), false;
    ComPtr<IWbemClassObject> input;
    hr = signature->SpawnInstance(0, input.Put());
    if (FAILED(hr)) return std::printf("\nSpawnInstance returned 0x%x:", static_cast<unsigned>(hr)), false;

    Variant timeout;
    V_VT(timeout.Ptr()) = VT_BSTR;
    V_BSTR(timeout.Ptr()) = SysAllocString(L"0");
    hr = V_BSTR(timeout.Ptr()) ? input->Put(timeoutName, 0, timeout.Ptr(), CIM_UINT32) : E_OUTOFMEMORY;
    if (FAILED(hr)) return std::printf("\nPut ArgName0 returned 0x%x:", static_cast<unsigned>(hr)), false;
    wchar_t text[16];
    swprintf(text, 16, L"%d", percent);
    Variant level;
    V_VT(level.Ptr()) = VT_BSTR;
    V_BSTR(level.Ptr()) = SysAllocString(text);
    hr = V_BSTR(level.Ptr()) ? input->Put(brightnessName, 0, level.Ptr(), CIM_UINT8) : E_OUTOFMEMORY;
    if (FAILED(hr)) return std::printf("\nPut ArgName1 returned 0x%x:", static_cast<unsigned>(hr)), false;

    Variant path;
    hr = monitor->Get(L"__PATH", 0, path.Ptr(), nullptr, nullptr);
    if (FAILED(hr) || V_VT(path.Ptr()) != VT_BSTR)
        return std::printf("\npObj Get returned 0x%x:", static_cast<unsigned>(hr)), false;
    hr = services->ExecMethod(V_BSTR(path.Ptr()), method, 0, nullptr, input.Get(), nullptr, nullptr);
    if (hr != WBEM_S_NO_ERROR) return std::printf("\nExecMethod returned 0x%x:", static_cast<unsigned>(hr)), false;
    return true;
}

}  // namespace

void SetBrightness(int percent) {
    UniqueBstr nameSpace(SysAllocString(L"root\\wmi"));
    UniqueBstr className(SysAllocString(L"WmiMonitorBrightnessMethods"));
    UniqueBstr method(SysAllocString(L"WmiSetBrightness"));
    UniqueBstr timeoutName(SysAllocString(L"Timeout"));
    UniqueBstr brightnessName(SysAllocString(L"Brightness"));
    UniqueBstr query(SysAllocString(L"Select * from WmiMonitorBrightnessMethods"));
    UniqueBstr language(SysAllocString(L"WQL"));
    if (!nameSpace || !className || !method || !timeoutName || !brightnessName || !query || !language) {
        std::printf("SysAllocString failed. Out of memory.\n");
        return;
    }
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr)) {
        std::printf("CoInitialize returned 0x%x:", static_cast<unsigned>(hr));
        return;
    }
    {
        ComPtr<IWbemLocator> locator;
        ComPtr<IWbemServices> services;
        ComPtr<IEnumWbemClassObject> monitors;
        hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.PutVoid());
        if (FAILED(hr)) {
            std::printf("CoCreateInstance returned 0x%x:", static_cast<unsigned>(hr));
        } else if (FAILED(hr = locator->ConnectServer(nameSpace.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                                       services.Put()))) {
            std::printf("\n\nConnectServer returned 0x%x:", static_cast<unsigned>(hr));
        } else if (SUCCEEDED(CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                               RPC_C_AUTHN_LEVEL_PKT, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE)) &&
                   SUCCEEDED(services->ExecQuery(language.Get(), query.Get(), WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                                 monitors.Put()))) {
            for (;;) {
                ComPtr<IWbemClassObject> monitor;
                ULONG got = 0;
                if (monitors->Next(WBEM_INFINITE, 1, monitor.Put(), &got) != WBEM_S_NO_ERROR || got != 1) break;
                if (!SetOneMonitor(services.Get(), monitor.Get(), className.Get(), method.Get(), timeoutName.Get(),
                                   brightnessName.Get(), percent))
                    break;
            }
        }
    }
    CoUninitialize();
}

}  // namespace vx
