// The keyboard hook library that ships beside the tray program: "Hook"
// installs a low-level keyboard hook that reports the volume keys to the
// calling process's window with the given title, with the registered message
// "KB_HOOK_MESSAGE"; "UnHook" removes it. Every key is passed on.
//
// The system calls a low-level hook on the thread that installed it before
// any program sees the key, so the hook procedure never waits for another
// thread: the window is found when "Hook" is called, and looked up again only
// when it was not there yet or has gone since, with a search that sends no
// message (GetWindowText would send WM_GETTEXT to the window's own, possibly
// busy, thread).
#include "hook_rules.h"

#include <windows.h>

#include <cwchar>
#include <iterator>

namespace {

HHOOK g_hook = nullptr;
wchar_t g_title[256] = {};
UINT g_message = 0;
// Used on the hooking thread only: by Hook and by the hook procedure.
HWND g_target = nullptr;

struct WindowSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindTitled(HWND hwnd, LPARAM arg) {
    auto* s = reinterpret_cast<WindowSearch*>(arg);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid) return TRUE;
    // Reads the stored title without a message to the window's thread.
    wchar_t title[256] = {};
    if (InternalGetWindowText(hwnd, title, static_cast<int>(std::size(title))) && std::wcscmp(title, g_title) == 0) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The window of this process with the title given to Hook, or null.
HWND FindTargetWindow() {
    WindowSearch s = {GetCurrentProcessId(), nullptr};
    EnumWindows(FindTitled, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND TargetWindow() {
    if (!g_target || !IsWindow(g_target)) g_target = FindTargetWindow();
    return g_target;
}

LRESULT CALLBACK KeyboardProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && lParam) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool up = wParam == WM_KEYUP || wParam == WM_SYSKEYUP;
        if (auto report = vxkb::VolumeKeyLParam(key->vkCode, up)) {
            // Posted: the hook must return at once, and the window handles it in turn.
            if (HWND target = TargetWindow()) PostMessageA(target, g_message, key->vkCode, static_cast<LPARAM>(*report));
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

extern "C" __declspec(dllexport) int __cdecl Hook(HMODULE module, DWORD thread, const char* title) {
    if (g_hook || !title) return 0;
    // The title as the window stores it: the caller's ANSI text (at most 255
    // bytes, which never make more than 255 UTF-16 units) in UTF-16.
    char ansi[256] = {};
    lstrcpynA(ansi, title, sizeof ansi);
    if (!MultiByteToWideChar(CP_ACP, 0, ansi, -1, g_title, static_cast<int>(std::size(g_title)))) g_title[0] = L'\0';
    g_message = RegisterWindowMessageA("KB_HOOK_MESSAGE");
    g_target = FindTargetWindow();
    g_hook = SetWindowsHookExA(WH_KEYBOARD_LL, KeyboardProc, module, thread);
    return g_hook ? 1 : 0;
}

extern "C" __declspec(dllexport) int __cdecl UnHook() {
    if (!g_hook) return 0;
    BOOL removed = UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
    g_target = nullptr;
    return removed ? 1 : 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
