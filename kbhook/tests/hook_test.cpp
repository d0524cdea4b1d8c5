// VXKBHook.dll loaded by name as the tray program loads it: keys injected
// into this session reach the window of this process with the given title.
#include <windows.h>

#include "child_process.h"

#include <gtest/gtest.h>

#include <thread>
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

using vxtest::Press;

void PumpFor(std::size_t count, DWORD deadlineMs, DWORD settleMs = 300) {
    vxtest::PumpFor([] { return g_reports.size(); }, count, deadlineMs, settleMs);
}

// The receiving window on this thread, with the title the hook looks for.
HWND CreateTarget() {
    g_message = RegisterWindowMessageA("KB_HOOK_MESSAGE");
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Receiver;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KbHookTestTarget";
    RegisterClassA(&wc);  // once per process; a later call finds it registered
    return CreateWindowA(wc.lpszClassName, kTitle, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

using HookEntry = int(__cdecl*)(HMODULE, DWORD, const char*);
using UnHookEntry = int(__cdecl*)();

struct Library {
    HMODULE module = LoadLibraryA("VXKBHook.dll");
    HookEntry hook = module ? reinterpret_cast<HookEntry>(GetProcAddress(module, "Hook")) : nullptr;
    UnHookEntry unhook = module ? reinterpret_cast<UnHookEntry>(GetProcAddress(module, "UnHook")) : nullptr;
    ~Library() {
        if (module) FreeLibrary(module);
    }
    bool Usable() const { return hook && unhook; }
};

TEST(KbHook, VolumeKeysReachTheTitledWindowUntilUnhooked) {
    HWND target = CreateTarget();
    ASSERT_NE(target, nullptr);

    Library lib;
    ASSERT_TRUE(lib.Usable());
    HMODULE library = lib.module;
    auto hook = lib.hook;
    auto unhook = lib.unhook;
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

    DestroyWindow(target);
    g_reports.clear();
}

// Hooked on a thread of its own that only pumps messages, as the tray
// program hooks it, while the window's thread is busy: it waits for a posted
// message and answers nothing else (no message sent to it is handled). The
// volume key is still reported, so the hook procedure did not wait for the
// window's thread; with the window made before "Hook" and after it.
TEST(KbHook, ReportsWithoutWaitingForTheWindowsBusyThread) {
    for (const bool windowFirst : {true, false}) {
        SCOPED_TRACE(windowFirst ? "window made before Hook" : "window made after Hook");
        Library lib;
        ASSERT_TRUE(lib.Usable());
        HWND target = windowFirst ? CreateTarget() : nullptr;

        HANDLE hooked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        int hookResult = 0, unhookResult = 0;
        DWORD hookThreadId = 0;
        std::thread hookThread([&] {
            hookThreadId = GetCurrentThreadId();
            MSG msg;
            PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
            hookResult = lib.hook(lib.module, 0, kTitle);
            SetEvent(hooked);
            while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
            unhookResult = lib.unhook();
        });
        WaitForSingleObject(hooked, 10000);
        CloseHandle(hooked);
        if (!target) target = CreateTarget();
        ASSERT_NE(target, nullptr);
        EXPECT_EQ(hookResult, 1);

        // Nothing posted is pending, so the wait below ends only on a new post.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        std::thread sender([] { Press(VK_VOLUME_UP); });
        const DWORD woke = MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_POSTMESSAGE);
        EXPECT_EQ(woke, WAIT_OBJECT_0) << "no report while the window's thread answered nothing";

        PumpFor(1, 5000);  // lets a hook stuck on this thread go, too
        sender.join();
        ASSERT_EQ(g_reports.size(), 1u);
        EXPECT_EQ((g_reports[0] >> 16) & 0xFF, 0x30);

        PostThreadMessageA(hookThreadId, WM_QUIT, 0, 0);
        hookThread.join();
        EXPECT_EQ(unhookResult, 1);
        DestroyWindow(target);
        g_reports.clear();
    }
}

}  // namespace
