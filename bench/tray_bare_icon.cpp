// The floor for the tray benchmark: a program that creates a hidden window,
// adds one notification-area icon and waits, nothing else of its own. Like
// the tray program it opens one WMI connection to root\WMI and one
// subscription to the firmware's events, the same way the bridge does:
// under Wine the WMI provider lives inside the client process, so without
// them the floor would leave out a cost that is the platform's, not the
// program's. It ends on command 336 like the tray program.
#include <windows.h>
#include <oleauto.h>
#include <shellapi.h>
#include <wbemcli.h>

namespace {

// Receives the firmware's events and drops them.
class NullSink : public IWbemObjectSink {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
            *ppv = static_cast<IWbemObjectSink*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }
    HRESULT STDMETHODCALLTYPE Indicate(LONG, IWbemClassObject**) override { return WBEM_S_NO_ERROR; }
    HRESULT STDMETHODCALLTYPE SetStatus(LONG, HRESULT, BSTR, IWbemClassObject*) override { return WBEM_S_NO_ERROR; }

private:
    virtual ~NullSink() = default;
    LONG m_refs = 1;
};

// The bridge's steps: a context object, the locator, the connection to
// root\WMI with its proxy blanket, then the asynchronous notification query
// on the firmware's event class. WMI keeps what it needs; the rest goes.
void SubscribeToFirmwareEvents() {
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
                         nullptr, EOAC_NONE, nullptr);
    const DWORD kinds = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;
    IWbemContext* context = nullptr;
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
    BSTR nameSpace = SysAllocString(L"root\\wmi");
    BSTR language = SysAllocString(L"WQL");
    BSTR query = SysAllocString(L"Select * from ZEL_Event");
    if (SUCCEEDED(CoCreateInstance(CLSID_WbemContext, nullptr, kinds, IID_IWbemContext,
                                   reinterpret_cast<void**>(&context))) &&
        SUCCEEDED(CoCreateInstance(CLSID_WbemLocator, nullptr, kinds, IID_IWbemLocator,
                                   reinterpret_cast<void**>(&locator))) &&
        SUCCEEDED(locator->ConnectServer(nameSpace, nullptr, nullptr, nullptr, 0, nullptr, context, &services)) &&
        SUCCEEDED(CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE))) {
        NullSink* sink = new NullSink;
        services->ExecNotificationQueryAsync(language, query, WBEM_FLAG_SEND_STATUS, context, sink);
        sink->Release();
    }
    if (services) services->Release();
    if (locator) locator->Release();
    if (context) context->Release();
    SysFreeString(query);
    SysFreeString(language);
    SysFreeString(nameSpace);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND && LOWORD(wParam) == 336) {
        DestroyWindow(hwnd);
        return 0;
    }
    if (msg == WM_DESTROY) {
        NOTIFYICONDATAA data = {};
        data.cbSize = sizeof data;
        data.hWnd = hwnd;
        data.uID = 1;
        Shell_NotifyIconA(NIM_DELETE, &data);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const bool com = SUCCEEDED(CoInitialize(nullptr));
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = "TrayBareIcon";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(WS_EX_TOOLWINDOW, wc.lpszClassName, "TrayBareIcon", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, instance, nullptr);
    if (com) SubscribeToFirmwareEvents();
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = hwnd;
    data.uID = 1;
    data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    data.uCallbackMessage = WM_USER + 1;
    data.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    lstrcpyA(data.szTip, "TrayBareIcon");
    Shell_NotifyIconA(NIM_ADD, &data);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    if (com) CoUninitialize();
    return 0;
}
