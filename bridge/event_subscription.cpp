// Firmware event subscription: the event sink and CBrindle::ZELWMIEvent.
#include "Brindle.h"
#include "event_sink.h"
#include "internal.h"
#include "sink_for_wmi.h"

#include <cstdio>
#include <new>

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
            PostMessageA(m_target, WM_FIRMWARE_EVENT, EventCode(zelEvt), EventFlags(zelEvt));
        }
    }
    for (LONG i = 0; i < count; ++i) std::fputs("Event occurred\n", stdout);
    std::fflush(stdout);
    return WBEM_S_NO_ERROR;
}

HRESULT CEventSink::SetStatus(LONG flags, HRESULT result, BSTR, IWbemClassObject*) {
    if (flags == WBEM_STATUS_COMPLETE) {
        std::printf("Call complete. hResult = 0x%lX\n", static_cast<unsigned long>(result));
    } else if (flags == WBEM_STATUS_PROGRESS) {
        std::fputs("Call in progress.\n", stdout);
    }
    std::fflush(stdout);
    return WBEM_S_NO_ERROR;
}

}  // namespace brindle

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
    // WMI keeps its own references to what it calls; this one goes either way.
    sink->Release();
    if (FAILED(hr)) {
        GetWMIErrMsg(hr, errorText);
        return FALSE;
    }
    return TRUE;
}
