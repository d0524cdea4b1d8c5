// VXKBHook.dll loaded by name as the tray program loads it: keys injected
// into this session reach the window of this process with the given title.
#include <windows.h>

#include "child_process.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr char kTitle[] = "kbhook test target";
std::vector<LPARAM> g_reports;
UINT g_message = 0;

LRESULT CALLBACK Receiver(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (g_message && msg == g_message) {
        g_reports.push_back(lParam);
        return 1;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void Press(WORD vk) {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

void PumpFor(std::size_t count, DWORD deadlineMs, DWORD settleMs = 300) {
    vxtest::PumpFor([] { return g_reports.size(); }, count, deadlineMs, settleMs);
}

TEST(KbHook, VolumeKeysReachTheTitledWindowUntilUnhooked) {
    g_message = RegisterWindowMessageA("KB_HOOK_MESSAGE");
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Receiver;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KbHookTestTarget";
    ASSERT_TRUE(RegisterClassA(&wc));
    HWND target = CreateWindowA(wc.lpszClassName, kTitle, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(target, nullptr);

    HMODULE library = LoadLibraryA("VXKBHook.dll");
    ASSERT_NE(library, nullptr);
    using HookEntry = int(__cdecl*)(HMODULE, DWORD, const char*);
    using UnHookEntry = int(__cdecl*)();
    auto hook = reinterpret_cast<HookEntry>(GetProcAddress(library, "Hook"));
    auto unhook = reinterpret_cast<UnHookEntry>(GetProcAddress(library, "UnHook"));
    ASSERT_NE(hook, nullptr);
    ASSERT_NE(unhook, nullptr);
    ASSERT_EQ(hook(library, 0, kTitle), 1);

    Press(VK_VOLUME_UP);
    Press('B');  // scan code 0x30 too, but not a volume key
    Press(VK_VOLUME_DOWN);
    PumpFor(2, 10000);
    ASSERT_EQ(g_reports.size(), 2u);
    EXPECT_EQ((g_reports[0] >> 16) & 0xFF, 0x30);
    EXPECT_EQ((g_reports[1] >> 16) & 0xFF, 0x2E);

    EXPECT_EQ(unhook(), 1);
    g_reports.clear();
    Press(VK_VOLUME_UP);
    PumpFor(1, 1000);
    EXPECT_TRUE(g_reports.empty());

    FreeLibrary(library);
    DestroyWindow(target);
}

}  // namespace
