// Firmware event subscription against the emulated firmware: hotkeys pressed
// and raw events raised by another process (emuctl) reach the window of a
// subscribed bridge object as WM_FIRMWARE_EVENT messages.
//
// Subscriptions are never cancelled (the bridge offers no way to), so the
// windows of earlier tests keep receiving events. Windows are therefore
// never destroyed here: a new window can never take over an old handle and
// with it an old subscription.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>
#include <vector>

#include "Brindle.h"
#include "test_support.h"

namespace {

using Message = std::pair<WPARAM, LPARAM>;

std::string Emuctl(const std::string& arguments) {
    return RunTool("emuctl.exe", arguments);
}

unsigned long Register(const std::string& name) {
    std::string line = Emuctl("get " + name);
    std::string prefix = name + "=";
    EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
    return std::stoul(line.substr(prefix.size()));
}

HWND NewWindow() {
    static const ATOM windowClass = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "BridgeEventTestWindow";
        return RegisterClassA(&wc);
    }();
    return CreateWindowExA(0, MAKEINTATOM(windowClass), "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// Firmware-event messages already queued for the window, taken off the queue.
std::vector<Message> Queued(HWND window) {
    std::vector<Message> got;
    MSG msg;
    while (PeekMessageA(&msg, window, WM_FIRMWARE_EVENT, WM_FIRMWARE_EVENT, PM_REMOVE))
        got.emplace_back(msg.wParam, msg.lParam);
    return got;
}

// Waits (at most ten seconds) for firmware-event messages to the window
// until one with the given code arrives; returns every one received.
std::vector<Message> ReceiveUntil(HWND window, WPARAM lastCode) {
    std::vector<Message> got;
    const ULONGLONG deadline = GetTickCount64() + 10000;
    for (;;) {
        for (const Message& m : Queued(window)) got.push_back(m);
        if (!got.empty() && got.back().first == lastCode) return got;
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return got;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_POSTMESSAGE);
    }
}

// A bridge object of this thread subscribed for its window.
bool Subscribe(CBrindle& bridge, char* errorText, const wchar_t* nameSpace = L"root\\wmi",
               const wchar_t* query = L"Select * from ZEL_Event") {
    Wide q(query), ns(nameSpace), wql(L"WQL");
    return bridge.ZELWMIEvent(q, errorText, ns, wql) != FALSE;
}

class Events : public testing::Test {
protected:
    void SetUp() override {
        Emuctl("reset");
        ASSERT_EQ(Register("AP1"), 17u) << "the emulated notebook is not installed in this prefix";
        window = NewWindow();
        ASSERT_TRUE(window);
        bridge.AddHWND(window);
        char error[260] = {};
        ASSERT_TRUE(Subscribe(bridge, error)) << error;
        EXPECT_STREQ(error, "");
    }

    CBrindle bridge;
    HWND window = nullptr;
};

TEST_F(Events, AHotkeyPressedElsewhereArrivesWithTheStateOfTheEc) {
    struct Case { const char* key; WPARAM code; const char* reg; LPARAM bit; };
    const Case cases[] = {
        {"wireless", 0x5F, "Device", 0x08}, {"bluetooth", 0x56, "Device", 0x01},
        {"webcam", 0x57, "Device", 0x02},   {"3g", 0x84, "Device", 0x10},
        {"turbo", 0x60, "System0", 0x02},   {"eco", 0x79, "System1", 0x01},
        {"touchpad", 0x08, "System1", 0x02}, {"wireless", 0x5F, "Device", 0x08},
    };
    for (const Case& c : cases) {
        const unsigned long before = Register(c.reg);
        Emuctl(std::string("press ") + c.key);
        const unsigned long now = Register(c.reg);
        EXPECT_EQ(now, before ^ c.bit) << c.key;
        auto got = ReceiveUntil(window, c.code);
        ASSERT_EQ(got.size(), 1u) << c.key;
        EXPECT_EQ(got[0].first, c.code) << c.key;
        EXPECT_EQ(static_cast<unsigned long>(got[0].second), now & 0xFF) << c.key;
    }
}

TEST_F(Events, TheMessageCarriesCodeAndFlagByteOfTheLowSixteenBits) {
    Emuctl("raise 0x0156 0xABCD0156 0x1FF 0x10000 0x25");
    auto got = ReceiveUntil(window, 0x25);
    EXPECT_EQ(got, (std::vector<Message>{{0x56, 0x01}, {0x56, 0x01}, {0xFF, 0x01}, {0x00, 0x00}, {0x25, 0x00}}));
}

TEST_F(Events, ABatchOfThreePostsOneMessageForTheFirst) {
    Emuctl("raise --batch 0x0156 0x0257 0x035F");
    Emuctl("raise 0x25");  // raised after the batch, so it arrives after anything the batch posted
    auto got = ReceiveUntil(window, 0x25);
    EXPECT_EQ(got, (std::vector<Message>{{0x56, 0x01}, {0x25, 0x00}}));
}

TEST_F(Events, TheWindowIsFixedWhenTheSubscriptionIsMade) {
    HWND late = NewWindow();
    CBrindle early;  // subscribed before any AddHWND: posts to an empty handle
    char error[260] = {};
    ASSERT_TRUE(Subscribe(early, error)) << error;
    early.AddHWND(late);
    CBrindle moved;  // subscribed for its own window, then given another one
    HWND first = NewWindow();
    moved.AddHWND(first);
    ASSERT_TRUE(Subscribe(moved, error)) << error;
    moved.AddHWND(late);

    Emuctl("press webcam");
    // Subscriptions of one process are served in the order they were made,
    // so once the last one has posted, the earlier ones have too.
    EXPECT_EQ(ReceiveUntil(first, 0x57).size(), 1u);
    EXPECT_EQ(ReceiveUntil(window, 0x57).size(), 1u);
    EXPECT_TRUE(Queued(late).empty());
    MSG msg;  // nothing was posted to this thread instead
    EXPECT_FALSE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), WM_FIRMWARE_EVENT, WM_FIRMWARE_EVENT, PM_NOREMOVE));
}

TEST(Subscription, AFailedSubscriptionReportsItsStatus) {
    struct Case { const wchar_t* nameSpace; const wchar_t* query; const char* text; };
    const Case cases[] = {
        {L"root\\nothing", L"Select * from ZEL_Event", "WBEM_E_INVALID_NAMESPACE"},
        {L"root\\wmi", L"Select * from ZEL_Nothing", "WBEM_E_INVALID_CLASS"},
        {L"root\\wmi", L"Select * from ZEL_Device", "WBEM_E_NOT_EVENT_CLASS"},
    };
    for (const Case& c : cases) {
        CBrindle bridge;
        char error[260] = {};
        EXPECT_FALSE(Subscribe(bridge, error, c.nameSpace, c.query));
        EXPECT_STREQ(error, c.text);
    }
}

}  // namespace
