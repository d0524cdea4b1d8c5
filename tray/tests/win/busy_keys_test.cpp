// What a user feels while the tray program's main thread is busy: Vorlix.exe
// is started with the command pipe served by this test, which holds the
// program's first request (the start notice, sent from the main thread
// after the keyboard hook is in place) unanswered. Meanwhile a letter typed
// into this test's own window must arrive, and a volume key pressed at 100 %
// must still show the volume bar once the reply lets the main thread go.
#include "child_process.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr char kPipeName[] = "\\\\.\\pipe\\simple";
constexpr DWORD kReplySize = 800;
constexpr WORD kLetter = 'K';
constexpr DWORD kHoldAfterTypingMs = 1500;

// Serves the command pipe one client at a time with empty replies; the first
// request is held until Release(). Holding() tells whether that request is
// still held, HeldReplyTaken() whether its client was still waiting when the
// reply was written.
class HoldingServer {
public:
    HoldingServer()
        : m_pipe(CreateNamedPipeA(kPipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                  1, 1024, 1024, 1000, nullptr)),
          m_held(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          m_release(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          m_answered(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        if (Created()) m_thread = std::thread([this] { Serve(); });
    }
    ~HoldingServer() {
        Release();
        if (m_thread.joinable()) {
            m_stopping = true;
            // A client that connects and leaves wakes a server waiting for one.
            HANDLE client = CreateFileA(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (client != INVALID_HANDLE_VALUE) CloseHandle(client);
            m_thread.join();
        }
        if (Created()) CloseHandle(m_pipe);
        CloseHandle(m_held);
        CloseHandle(m_release);
        CloseHandle(m_answered);
    }
    bool Created() const { return m_pipe != INVALID_HANDLE_VALUE; }
    bool WaitHeld(DWORD ms) const { return WaitForSingleObject(m_held, ms) == WAIT_OBJECT_0; }
    bool Holding() const { return m_holding; }
    void Release() { SetEvent(m_release); }
    // Waits (bounded) for the held request's answer after Release().
    bool HeldReplyTaken() const { return WaitForSingleObject(m_answered, 10000) == WAIT_OBJECT_0 && m_heldReplyTaken; }

private:
    void Serve() {
        bool first = true;
        while (!m_stopping && (ConnectNamedPipe(m_pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED)) {
            char request[200];
            DWORD got = 0;
            if (!m_stopping && (ReadFile(m_pipe, request, sizeof request, &got, nullptr) || GetLastError() == ERROR_MORE_DATA)) {
                if (first) {
                    m_holding = true;
                    SetEvent(m_held);
                    WaitForSingleObject(m_release, 60000);
                    m_holding = false;
                }
                std::vector<char> reply(kReplySize, '\0');
                DWORD written = 0;
                // Written only while the client is still connected.
                const bool taken = WriteFile(m_pipe, reply.data(), kReplySize, &written, nullptr) && written == kReplySize;
                if (first) {
                    m_heldReplyTaken = taken;
                    SetEvent(m_answered);
                }
                // The reply is read before the instance is made free for the next client.
                FlushFileBuffers(m_pipe);
                first = false;
            }
            DisconnectNamedPipe(m_pipe);
        }
    }

    HANDLE m_pipe;
    HANDLE m_held;
    HANDLE m_release;
    HANDLE m_answered;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_holding{false};
    std::atomic<bool> m_heldReplyTaken{false};
    std::thread m_thread;
};

// This test's window, where the user types.
const HoldingServer* g_server = nullptr;
std::atomic<bool> g_letterArrived{false};
bool g_arrivedWhileHeld = false;
DWORD g_arrivedAt = 0;

LRESULT CALLBACK TypingWindow(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYDOWN && wParam == kLetter && !g_letterArrived) {
        g_arrivedWhileHeld = g_server && g_server->Holding();
        g_arrivedAt = GetTickCount();
        g_letterArrived = true;
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Pumps this thread's messages until done() or `ms` passed.
template <typename Done>
bool PumpUntil(Done done, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        Pump();
        if (done()) return true;
        if (GetTickCount() - start >= ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

using vxtest::Press;

struct ProcessWindows {
    DWORD pid;
    bool osdShown;
};

// A visible layered window of the program: an OSD picture on the screen.
BOOL CALLBACK FindShownOsd(HWND hwnd, LPARAM arg) {
    auto* w = reinterpret_cast<ProcessWindows*>(arg);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == w->pid && IsWindowVisible(hwnd) && (GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED)) {
        w->osdShown = true;
        return FALSE;
    }
    return TRUE;
}

bool OsdShown(DWORD pid) {
    ProcessWindows w = {pid, false};
    EnumWindows(FindShownOsd, reinterpret_cast<LPARAM>(&w));
    return w.osdShown;
}

TEST(BusyMainThread, KeysArriveMeanwhileAndTheVolumeKeyShowsTheBarAfterwards) {
    ASSERT_FALSE(WaitNamedPipeA(kPipeName, 1) || GetLastError() != ERROR_FILE_NOT_FOUND)
        << "another program serves the command pipe in this prefix";
    // At 100 % a volume key shows the bar; the emulated default comes back at the end.
    struct Restore {
        ~Restore() {
            g_server = nullptr;
            vxtest::Run("emuctl.exe", "volume 0.5");
        }
    } restore;
    ASSERT_EQ(vxtest::Run("emuctl.exe", "volume 1"), 0);
    HoldingServer server;
    ASSERT_TRUE(server.Created());
    g_server = &server;

    vxtest::ChildRun vorlix("Vorlix.exe", "");
    ASSERT_TRUE(vorlix.Started());
    ASSERT_TRUE(server.WaitHeld(60000)) << "the program sent no request";
    const DWORD heldAt = GetTickCount();

    WNDCLASSA wc = {};
    wc.lpfnWndProc = TypingWindow;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "BusyKeysTypingWindow";
    RegisterClassA(&wc);
    HWND window = CreateWindowA(wc.lpszClassName, "typing", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200,
                                nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    SetForegroundWindow(window);
    SetFocus(window);
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == window && GetFocus() == window; }, 10000));

    // Typed from another thread: under Wine the typing thread itself waits
    // while a hook holds the key. The volume key first: a hook procedure
    // that waited for the main thread on it would hold the letter behind it.
    const DWORD typedAt = GetTickCount();
    std::thread typist([] {
        Press(VK_VOLUME_UP);
        Press(kLetter);
    });
    // The main thread stays held 1.5 s after the typing. Wine passes a key on
    // without the hook's answer after 2 s: the release comes before that, so
    // a key that waits for the main thread arrives only after the release.
    PumpUntil([&] { return GetTickCount() - typedAt >= kHoldAfterTypingMs; }, kHoldAfterTypingMs);
    server.Release();
    const DWORD releasedAt = GetTickCount();
    // The bar shows for two seconds: it is looked for while the letter is
    // still awaited, too.
    bool barShown = false;
    PumpUntil([&] { return (barShown = barShown || OsdShown(vorlix.Pid())) && g_letterArrived; }, 10000);
    typist.join();

    if (g_letterArrived)
        std::printf("the letter reached the other window %lu ms after it was typed; the main thread was held %lu ms\n",
                    g_arrivedAt - typedAt, releasedAt - heldAt);
    EXPECT_TRUE(g_letterArrived);
    EXPECT_TRUE(g_arrivedWhileHeld) << "the letter waited for the program's main thread";
    EXPECT_TRUE(server.HeldReplyTaken()) << "the program stopped waiting for the held request";

    // The volume key pressed meanwhile reaches the program once it is free.
    EXPECT_TRUE(barShown) << "no volume bar";

    // A polite end: the program ends on its own, the hook's thread too.
    HWND main = nullptr;
    while ((main = FindWindowExA(nullptr, main, "#32770", "Corvane"))) {
        DWORD pid = 0;
        GetWindowThreadProcessId(main, &pid);
        if (pid == vorlix.Pid()) break;
    }
    ASSERT_NE(main, nullptr);
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_NE(vorlix.WaitExit(20000), -1) << "the program did not end";

    DestroyWindow(window);
}

}  // namespace
