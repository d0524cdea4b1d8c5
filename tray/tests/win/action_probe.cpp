// Drives action_host.exe from outside, as a person would: asks it for the
// hotkey actions, finds the user-defined key dialog and chooses a program in
// it through its controls and the open-file dialog. Test build only.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

HWND MainWindow() { return FindWindowA("#32770", "Corvane"); }

struct Search {
    DWORD pid;
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[32] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (pid != s->pid || std::strcmp(cls, "#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    bool choice = GetDlgItem(hwnd, 1023) && GetDlgItem(hwnd, 1010);
    if ((s->owner && GetWindow(hwnd, GW_OWNER) == s->owner) || (!s->owner && choice)) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The host's choice dialog (owner null) or a dialog owned by owner, within a deadline.
HWND WaitDialog(HWND owner, DWORD ms) {
    HWND main = MainWindow();
    if (!main) return nullptr;
    Search s{0, owner, nullptr};
    GetWindowThreadProcessId(main, &s.pid);
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(50)) {
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&s));
        if (s.found) return s.found;
    }
    return nullptr;
}

std::string Text(HWND dialog, int id) {
    char text[512] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

int Action(WPARAM which) {
    HWND main = MainWindow();
    return main && PostMessageA(main, RegisterWindowMessageA("VorlixHostAction"), which, 0) ? 0 : 1;
}

int Choose(const char* path) {
    HWND dialog = WaitDialog(nullptr, 10000);
    if (!dialog) return 1;
    PostMessageA(GetDlgItem(dialog, 1010), BM_CLICK, 0, 0);
    HWND files = WaitDialog(dialog, 10000);
    if (!files) return 1;
    HWND name = GetDlgItem(files, 0x47C);
    if (!name) name = GetDlgItem(files, 0x480);
    DWORD_PTR r = 0;
    SendMessageTimeoutA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path), SMTO_BLOCK, 5000, &r);
    PostMessageA(GetDlgItem(files, IDOK), BM_CLICK, 0, 0);
    const char* cut = std::strrchr(path, '\\');
    std::string wanted = cut ? cut + 1 : path;
    for (DWORD start = GetTickCount(); Text(dialog, 1012) != wanted; Sleep(50))
        if (GetTickCount() - start > 10000) return 1;
    std::printf("%s\n", wanted.c_str());
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "eco-on") return Action(1);
    if (cmd == "eco-off") return Action(2);
    if (cmd == "user-key") return Action(3);
    if (cmd == "wait-dialog") {
        HWND d = WaitDialog(nullptr, argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 10000);
        if (!d) return 1;
        RECT r;
        GetWindowRect(d, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (cmd == "choose" && argc == 3) return Choose(argv[2]);
    std::fprintf(stderr,
                 "usage: action_probe eco-on | eco-off | user-key | wait-dialog [ms] | choose <path>\n");
    return 2;
}
