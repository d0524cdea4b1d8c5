// The floor for the tray benchmark: a program that creates a hidden window,
// adds one notification-area icon and waits, nothing else. It ends on
// command 336 like the tray program.
#include <windows.h>
#include <shellapi.h>

namespace {

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
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = "TrayBareIcon";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(WS_EX_TOOLWINDOW, wc.lpszClassName, "TrayBareIcon", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, instance, nullptr);
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
    return 0;
}
