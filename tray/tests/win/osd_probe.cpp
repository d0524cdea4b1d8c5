// Test helper of the end-to-end OSD run: makes OSD requests of the host's
// main window, lists its visible OSD windows, reports the taskbar, and puts
// a full-screen window in the foreground. Every wait is bounded.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

HWND MainWindow() { return FindWindowA("#32770", "Corvane"); }

struct Listing {
    DWORD pid;
    HWND main;
};

// One line per visible layered window of the host: "left top width height".
BOOL CALLBACK ListOsd(HWND hwnd, LPARAM arg) {
    const auto* l = reinterpret_cast<const Listing*>(arg);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != l->pid || hwnd == l->main || !IsWindowVisible(hwnd)) return TRUE;
    if (!(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED)) return TRUE;
    RECT r;
    GetWindowRect(hwnd, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return TRUE;
}

LRESULT CALLBACK FullScreenProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// A borderless window over the whole primary screen, in the foreground for
// `ms` milliseconds; prints "ready" once it is.
int FullScreen(DWORD ms) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FullScreenProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "OsdProbeFullScreen";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "full screen", WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, wc.hInstance, nullptr);
    if (!hwnd) return 1;
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    const DWORD start = GetTickCount();
    bool ready = false;
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        if (!ready && GetForegroundWindow() == hwnd) {
            std::printf("ready\n");
            std::fflush(stdout);
            ready = true;
        }
        Sleep(10);
    }
    DestroyWindow(hwnd);
    return ready ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: osd_probe <command>\n"
                 "  show KIND LEVEL CODE MAXIMUM | hide KIND   an OSD request of the host's main window\n"
                 "  windows         the visible OSD windows: left top width height\n"
                 "  taskbar         the taskbar's height, or none\n"
                 "  fullscreen MS   a full-screen window in the foreground for MS ms\n"
                 "  post MSG W L [COUNT STEP]   post a message (a registered name, or a number) to the main\n"
                 "                  window; COUNT of them 100 ms apart, lParam growing by STEP\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string cmd = argv[1];
    auto num = [&](int i) { return i < argc ? std::atoi(argv[i]) : 0; };
    if (cmd == "show" || cmd == "hide") {
        HWND main = MainWindow();
        if (!main) return 1;
        const int command = cmd == "show" ? SW_SHOW : SW_HIDE;
        const WPARAM w = MAKEWPARAM(MAKEWORD(num(2), command), num(5));
        const LPARAM l = MAKELPARAM(static_cast<WORD>(num(3)), static_cast<WORD>(num(4)));
        DWORD_PTR r = 0;
        return SendMessageTimeoutA(main, RegisterWindowMessageA("OsdHostRequest"), w, l, SMTO_BLOCK, 5000, &r) && r == 1
                   ? 0
                   : 1;
    }
    if (cmd == "windows") {
        Listing l = {0, MainWindow()};
        if (!l.main) return 1;
        GetWindowThreadProcessId(l.main, &l.pid);
        EnumWindows(ListOsd, reinterpret_cast<LPARAM>(&l));
        return 0;
    }
    if (cmd == "taskbar") {
        RECT r;
        HWND tray = FindWindowA("Shell_TrayWnd", "");
        if (tray && GetWindowRect(tray, &r))
            std::printf("%ld\n", r.bottom - r.top);
        else
            std::printf("none\n");
        return 0;
    }
    if (cmd == "fullscreen") return FullScreen(static_cast<DWORD>(num(2)));
    if (cmd == "post" && (argc == 5 || argc == 7)) {
        // A registered message as another program delivers it: post NAME WPARAM LPARAM (0x hex allowed);
        // with COUNT and STEP, COUNT of them 100 ms apart, lParam growing by STEP (a held key's burst).
        HWND main = MainWindow();
        char* end = nullptr;
        UINT msg = static_cast<UINT>(std::strtoul(argv[2], &end, 0));
        if (*end) msg = RegisterWindowMessageA(argv[2]);
        const int count = argc == 7 ? std::atoi(argv[5]) : 1;
        const long step = argc == 7 ? std::strtol(argv[6], nullptr, 0) : 0;
        const long first = std::strtol(argv[4], nullptr, 0);
        for (int i = 0; i < count; ++i) {
            if (i > 0) Sleep(100);
            if (!main || !PostMessageA(main, msg, std::strtoul(argv[3], nullptr, 0), static_cast<LPARAM>(first + i * step)))
                return 1;
        }
        return 0;
    }
    return Usage();
}
