// Display brightness against the emulated display: the subscription's sink
// hands each batch's first brightness to a window, reading goes through the
// bridge, setting reaches every monitor.
#include "brightness.h"
#include "child_process.h"
#include "vorlix_dlg.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<WPARAM> g_received;

LRESULT CALLBACK Receiver(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == vx::WM_BRIGHTNESS_NOTIFY) {
        g_received.push_back(lParam == 0 ? wParam : 0xFFFF);
        return 1;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void PumpFor(std::size_t count, DWORD deadlineMs, DWORD settleMs = 300) {
    vxtest::PumpFor([] { return g_received.size(); }, count, deadlineMs, settleMs);
}

class Brightness : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Receiver;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "BrightnessTestReceiver";
        RegisterClassA(&wc);
    }
    void SetUp() override {
        ASSERT_EQ(vxtest::Run("emuctl.exe", "reset"), 0);
        m_window = CreateWindowA("BrightnessTestReceiver", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(m_window, nullptr);
        g_received.clear();
    }
    void TearDown() override {
        DestroyWindow(m_window);
        vxtest::Run("emuctl.exe", "reset");
    }
    HWND m_window = nullptr;
    CBrindle m_bridge;  // COM for this thread, as the main window has it
};

// One subscription per process: it lasts until the process ends, as the
// program's does, so the cases share it.
TEST_F(Brightness, ChangesArriveAsOneMessagePerBatchWithTheFirstValue) {
    ASSERT_EQ(vx::SubscribeBrightness(m_window), 0);
    ASSERT_EQ(vxtest::Run("emuctl.exe", "brightness 55"), 0);
    PumpFor(1, 10000);
    EXPECT_EQ(g_received, (std::vector<WPARAM>{55}));

    g_received.clear();
    ASSERT_EQ(vxtest::Run("emuctl.exe", "brightness --batch 30 40 50"), 0);
    PumpFor(1, 10000);
    EXPECT_EQ(g_received, (std::vector<WPARAM>{30}));

    // Setting reaches both monitors; the panel's change raises its event.
    g_received.clear();
    vx::SetBrightness(100);
    EXPECT_EQ(vxtest::EcGet("Brightness0"), 100u);
    EXPECT_EQ(vxtest::EcGet("Brightness1"), 100u);
    PumpFor(2, 10000);
    EXPECT_EQ(g_received, (std::vector<WPARAM>{100, 100}));

    // Setting what the panels already show raises nothing.
    g_received.clear();
    vx::SetBrightness(100);
    PumpFor(1, 1500, 0);
    EXPECT_TRUE(g_received.empty());
}

TEST_F(Brightness, ReadTakesTheFirstMonitor) {
    vxtest::EcSet("Brightness0", 37);
    vxtest::EcSet("Brightness1", 80);
    EXPECT_EQ(vx::ReadBrightness(m_bridge, -5), 37);
    vx::SetBrightness(64);
    EXPECT_EQ(vx::ReadBrightness(m_bridge, -5), 64);
    EXPECT_EQ(vxtest::EcGet("Brightness1"), 64u);
}

}  // namespace
