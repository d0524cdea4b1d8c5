// The keyboard hook library that ships beside the tray program: "Hook"
// installs a low-level keyboard hook that reports the volume keys to the
// calling process's window with the given title, with the registered message
// "KB_HOOK_MESSAGE"; "UnHook" removes it. Every key is passed on.
#include "hook_rules.h"

#include <windows.h>

#include <cstring>

namespace {

HHOOK g_hook = nullptr;
char g_title[256] = {};
UINT g_message = 0;

struct WindowSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindTitled(HWND hwnd, LPARAM arg) {
    auto* s = reinterpret_cast<WindowSearch*>(arg);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char title[256] = {};
    if (pid == s->pid && GetWindowTextA(hwnd, title, sizeof title) && std::strcmp(title, g_title) == 0) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The window of this process with the title given to Hook.
HWND TargetWindow() {
    WindowSearch s = {GetCurrentProcessId(), nullptr};
    EnumWindows(FindTitled, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

LRESULT CALLBACK KeyboardProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && lParam) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool up = wParam == WM_KEYUP || wParam == WM_SYSKEYUP;
        if (auto report = vxkb::VolumeKeyLParam(key->vkCode, up)) {
            // Posted: the hook must return quickly, and the window handles it in turn.
            if (HWND target = TargetWindow()) PostMessageA(target, g_message, key->vkCode, static_cast<LPARAM>(*report));
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

extern "C" __declspec(dllexport) int __cdecl Hook(HMODULE module, DWORD thread, const char* title) {
    if (g_hook || !title) return 0;
    lstrcpynA(g_title, title, sizeof g_title);
    g_message = RegisterWindowMessageA("KB_HOOK_MESSAGE");
    g_hook = SetWindowsHookExA(WH_KEYBOARD_LL, KeyboardProc, module, thread);
    return g_hook ? 1 : 0;
}

extern "C" __declspec(dllexport) int __cdecl UnHook() {
    if (!g_hook) return 0;
    BOOL removed = UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
    return removed ? 1 : 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
