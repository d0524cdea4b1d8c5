// Test helper: looks at the running tray program from outside, the way the
// end-to-end tests need: its tray icon, its real popup menu, its about box,
// and delivers the system events a test cannot cause (power, shut-down).
// Every wait is bounded; the exit code is 0 on success.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kResultSize = 8192;
constexpr UINT kTrayIconMessage = WM_USER + 1;

HWND MainWindow() { return FindWindowA("#32770", "Corvane"); }

bool WaitFor(DWORD ms, bool (*condition)(void*), void* arg) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition(arg)) return true;
        if (GetTickCount() - start >= ms) return false;
        Sleep(10);
    }
}

// The shell answers NIM_MODIFY only for an icon it holds, and a modify that
// changes nothing leaves the icon as it is.
bool IconPresent(HWND owner) {
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = 1;
    data.uFlags = 0;
    return owner && Shell_NotifyIconA(NIM_MODIFY, &data);
}

// The icon's callback for an icon of version 4: the event and the icon id
// in lParam, the anchor (here the cursor) in wParam.
bool PostIconEvent(HWND main, UINT event) {
    POINT at = {};
    GetCursorPos(&at);
    return PostMessageA(main, kTrayIconMessage, MAKEWPARAM(at.x, at.y), MAKELPARAM(event, 1)) != FALSE;
}

HWND VisiblePopupMenu() {
    HWND popup = FindWindowA("#32768", nullptr);
    return popup && IsWindowVisible(popup) ? popup : nullptr;
}

struct AboutSearch {
    HWND main;
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindAbout(HWND hwnd, LPARAM arg) {
    auto* s = reinterpret_cast<AboutSearch*>(arg);
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    bool layered = GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED;
    if (hwnd != s->main && pid == s->pid && std::strcmp(cls, "#32770") == 0 && IsWindowVisible(hwnd) && !layered) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

struct AboutCount {
    HWND main;
    DWORD pid;
    int n;
};

BOOL CALLBACK CountAbout(HWND hwnd, LPARAM arg) {
    auto* c = reinterpret_cast<AboutCount*>(arg);
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    // The on-screen display windows are dialogs too, layered ones.
    bool layered = GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED;
    if (hwnd != c->main && pid == c->pid && std::strcmp(cls, "#32770") == 0 && !layered) ++c->n;
    return TRUE;
}

HWND AboutBox() {
    AboutSearch s = {MainWindow(), 0, nullptr};
    if (!s.main) return nullptr;
    GetWindowThreadProcessId(s.main, &s.pid);
    EnumWindows(FindAbout, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::string TextOf(HWND hwnd) {
    char text[1024] = {};
    if (hwnd) SendMessageA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// Sets the helper DLL's hook on the tray program's thread, sends it one
// request and returns what it published.
bool HookRequest(HWND target, WPARAM request, LPARAM arg, std::string& result) {
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kResultSize, "TrayProbeResult");
    if (!mapping) return false;
    char* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kResultSize));
    view[0] = '\0';
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::strcpy(std::strrchr(self, '\\') + 1, "tray_probe_hook.dll");
    HMODULE dll = LoadLibraryA(self);
    auto proc = dll ? reinterpret_cast<HOOKPROC>(GetProcAddress(dll, "ProbeCallWndProc")) : nullptr;
    DWORD thread = GetWindowThreadProcessId(target, nullptr);
    HHOOK hook = proc ? SetWindowsHookExA(WH_CALLWNDPROC, proc, dll, thread) : nullptr;
    bool ok = false;
    if (hook) {
        DWORD_PTR r = 0;
        SendMessageTimeoutA(target, RegisterWindowMessageA("TrayProbeRequest"), request, arg, SMTO_BLOCK, 5000, &r);
        result = view;
        ok = !result.empty();
        UnhookWindowsHookEx(hook);
    }
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return ok;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: tray_probe <command>\n"
                 "  wait-pipe MS | uilang | wait-window MS | wait-hidden MS | wait-icon MS | wait-no-icon HWND MS | hwnd | pid\n"
                 "  menu MS [close]   read the tray menu from its popup (right-click on the icon)\n"
                 "  wait-menu MS | menu-rect | style | wait-no-tooltip MS | wait-no-menu MS | about MS | about-ok-rect | about-count | send-command ID | icon-click MSG | dialog-cancel | wait-no-about MS\n"
                 "  power-source 0|1|short | resume | suspend | endsession | exit | close\n"
                 "  delete-icon | taskbar-created | wait-exit PID MS\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string cmd = argv[1];
    auto arg = [&](int i) { return i < argc ? argv[i] : "0"; };
    DWORD ms = std::strtoul(arg(2), nullptr, 10);

    if (cmd == "wait-window") {
        return WaitFor(ms, [](void*) { return MainWindow() != nullptr; }, nullptr) ? 0 : 1;
    }
    if (cmd == "wait-pipe") {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < ms) {
            if (WaitNamedPipeA("\\\\.\\pipe\\simple", 100)) return 0;
            Sleep(20);
        }
        return 1;
    }
    if (cmd == "uilang") {
        std::printf("%u %u\n", GetUserDefaultUILanguage(), GetACP());
        return 0;
    }
    if (cmd == "hwnd") {
        HWND w = MainWindow();
        if (!w) return 1;
        std::printf("%llx\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(w)));
        return 0;
    }
    if (cmd == "pid") {
        DWORD pid = 0;
        if (!MainWindow()) return 1;
        GetWindowThreadProcessId(MainWindow(), &pid);
        std::printf("%lu\n", pid);
        return 0;
    }
    if (cmd == "wait-hidden") {
        // Half a second after start the main window hides: start-up is over.
        return WaitFor(ms, [](void*) { return MainWindow() && !IsWindowVisible(MainWindow()); }, nullptr) ? 0 : 1;
    }
    if (cmd == "wait-icon") {
        bool ok = WaitFor(ms, [](void*) { return IconPresent(MainWindow()); }, nullptr);
        std::printf(ok ? "icon present\n" : "no icon\n");
        return ok ? 0 : 1;
    }
    if (cmd == "wait-no-icon") {
        // By the window handle seen earlier: the window may be gone by now.
        static HWND owner;
        owner = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(arg(2), nullptr, 16)));
        bool ok = WaitFor(std::strtoul(arg(3), nullptr, 10), [](void*) { return !IconPresent(owner); }, nullptr);
        std::printf(ok ? "no icon\n" : "icon present\n");
        return ok ? 0 : 1;
    }
    if (cmd == "menu") {
        HWND main = MainWindow();
        if (!main) return 1;
        // A right click as the shell reports it to an icon of the newer version.
        PostIconEvent(main, WM_RBUTTONUP);
        PostIconEvent(main, WM_CONTEXTMENU);
        if (!WaitFor(ms, [](void*) { return VisiblePopupMenu() != nullptr; }, nullptr)) {
            std::printf("no popup menu\n");
            return 1;
        }
        std::string items;
        if (!HookRequest(VisiblePopupMenu(), 1, 0, items)) {
            std::printf("menu not readable\n");
            return 1;
        }
        std::fputs(items.c_str(), stdout);
        if (argc > 3 && std::strcmp(argv[3], "close") == 0) {
            PostMessageA(VisiblePopupMenu(), WM_KEYDOWN, VK_ESCAPE, 0);
            return WaitFor(ms, [](void*) { return VisiblePopupMenu() == nullptr; }, nullptr) ? 0 : 1;
        }
        return 0;
    }
    if (cmd == "wait-menu") {
        return WaitFor(ms, [](void*) { return VisiblePopupMenu() != nullptr; }, nullptr) ? 0 : 1;
    }
    if (cmd == "menu-rect") {
        HWND popup = VisiblePopupMenu();
        RECT r;
        if (!popup || !GetWindowRect(popup, &r)) return 1;
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        return 0;
    }
    if (cmd == "style") {
        HWND main = MainWindow();
        if (!main) return 1;
        std::printf("style=%lx exstyle=%lx visible=%d\n", GetWindowLongA(main, GWL_STYLE), GetWindowLongA(main, GWL_EXSTYLE),
                    IsWindowVisible(main) ? 1 : 0);
        return 0;
    }
    if (cmd == "wait-no-tooltip") {
        // A tooltip of the taskbar may cover the menu for a moment.
        return WaitFor(ms, [](void*) {
            HWND tip = FindWindowA("tooltips_class32", nullptr);
            return !tip || !IsWindowVisible(tip);
        }, nullptr) ? 0 : 1;
    }
    if (cmd == "wait-no-menu") {
        return WaitFor(ms, [](void*) { return VisiblePopupMenu() == nullptr; }, nullptr) ? 0 : 1;
    }
    if (cmd == "about") {
        if (!WaitFor(ms, [](void*) { return AboutBox() != nullptr; }, nullptr)) {
            std::printf("no about box\n");
            return 1;
        }
        HWND about = AboutBox();
        std::printf("caption=%s\n", TextOf(about).c_str());
        for (int id : {1, 1001, 1004, 1018, 1019, 1024})
            std::printf("%d=%s\n", id, TextOf(GetDlgItem(about, id)).c_str());
        return 0;
    }
    if (cmd == "about-count") {
        // Every about box of the tray program, shown or not.
        AboutCount c = {MainWindow(), 0, 0};
        if (!c.main) return 1;
        GetWindowThreadProcessId(c.main, &c.pid);
        EnumWindows(CountAbout, reinterpret_cast<LPARAM>(&c));
        std::printf("%d\n", c.n);
        return 0;
    }
    if (cmd == "send-command") {
        // Sent, not posted: returns once the handler has returned (within 3 s).
        DWORD_PTR r = 0;
        return MainWindow() && SendMessageTimeoutA(MainWindow(), WM_COMMAND, std::atoi(arg(2)), 0, SMTO_BLOCK, 3000, &r)
                   ? 0
                   : 1;
    }
    if (cmd == "icon-click") {
        // An event of the icon's callback (a mouse message, NIN_SELECT, NIN_KEYSELECT,
        // WM_CONTEXTMENU), as the shell sends it to an icon of the newer version.
        return MainWindow() && PostIconEvent(MainWindow(), static_cast<UINT>(std::strtol(arg(2), nullptr, 0))) ? 0 : 1;
    }
    if (cmd == "about-ok-rect") {
        RECT r;
        if (!AboutBox() || !GetWindowRect(GetDlgItem(AboutBox(), IDOK), &r)) return 1;
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        return 0;
    }
    if (cmd == "dialog-cancel") {
        // Cancel of the open dialog (about box or choice dialog), as Escape gives it.
        return AboutBox() && PostMessageA(AboutBox(), WM_COMMAND, IDCANCEL, 0) ? 0 : 1;
    }
    if (cmd == "wait-no-about") {
        return WaitFor(ms, [](void*) { return AboutBox() == nullptr; }, nullptr) ? 0 : 1;
    }
    if (cmd == "power-source") {
        std::string result;
        bool shortData = std::strcmp(arg(2), "short") == 0;
        if (!HookRequest(MainWindow(), shortData ? 3 : 2, shortData ? 0 : std::atoi(arg(2)), result)) return 1;
        std::fputs(result.c_str(), stdout);
        return result == "handled\n" ? 0 : 1;
    }
    if (cmd == "resume" || cmd == "suspend") {
        WPARAM event = cmd == "resume" ? PBT_APMRESUMEAUTOMATIC : PBT_APMSUSPEND;
        return SendMessageA(MainWindow(), WM_POWERBROADCAST, event, 0) == TRUE ? 0 : 1;
    }
    if (cmd == "exit") {
        // The tray menu's Exit command, as the menu sends it.
        return MainWindow() && PostMessageA(MainWindow(), WM_COMMAND, 336, 0) ? 0 : 1;
    }
    if (cmd == "close") {
        // A polite close request, as taskkill without /f or a log-off helper sends it.
        DWORD_PTR r = 0;
        return MainWindow() && SendMessageTimeoutA(MainWindow(), WM_CLOSE, 0, 0, SMTO_BLOCK, 3000, &r) ? 0 : 1;
    }
    if (cmd == "endsession") {
        SendMessageA(MainWindow(), WM_ENDSESSION, TRUE, 0);
        return 0;
    }
    if (cmd == "delete-icon") {
        NOTIFYICONDATAA data = {};
        data.cbSize = sizeof data;
        data.hWnd = MainWindow();
        data.uID = 1;
        return Shell_NotifyIconA(NIM_DELETE, &data) ? 0 : 1;
    }
    if (cmd == "taskbar-created") {
        SendMessageA(MainWindow(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        return 0;
    }
    if (cmd == "wait-exit") {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, std::strtoul(arg(2), nullptr, 10));
        if (!process) return 0;  // already gone
        DWORD r = WaitForSingleObject(process, std::strtoul(arg(3), nullptr, 10));
        CloseHandle(process);
        return r == WAIT_OBJECT_0 ? 0 : 1;
    }
    return Usage();
}
