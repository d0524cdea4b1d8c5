// ECO power modes through the program's own main window and the functions
// the hotkey dispatch calls, against the emulated power schemes, EC and
// command service.
#include "child_process.h"
#include "eco_dlg.h"
#include "resource.h"
#include "vorlix_dlg.h"

#include <powrprof.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kEcoText[] = "{EED382F9-0245-44EA-B77F-A0EA5ECB19C1}";
const char kSaverText[] = "{A1841308-3541-4FAB-BC81-F71556F20B4A}";
const char kHighText[] = "{8C5E7FDA-E8BF-4A96-9A85-A6E23A8C635C}";
const char kBalancedText[] = "{381B4222-F694-41F0-9685-FF5BB260DF2E}";
const char kGamingText[] = "{98B32AC9-6345-4AB9-A981-0F0E39C08578}";
const char kOfficeText[] = "{DF8734A4-F9A5-49CF-A336-B8F6E6207807}";

std::string Power(const std::string& args) {
    std::string out;
    EXPECT_EQ(vxtest::Run("emuctl.exe", "power " + args, &out), 0) << args << ": " << out;
    return out;
}
// The active scheme's GUID text, as emuctl shows it.
std::string ActiveScheme() {
    std::string out = Power("active");
    auto at = out.find('{');
    return at == std::string::npos ? out : out.substr(at, 38);
}
bool SchemeExists(const char* guidText) { return Power("list").find(guidText) != std::string::npos; }

// The program's main window, created as the program creates it, destroyed
// (with its clean-up) at the end of the scope.
class MainWindow {
public:
    MainWindow() { m_dlg.Create(IDD_VORLIX_DIALOG, nullptr); }
    ~MainWindow() {
        if (m_dlg.Hwnd()) DestroyWindow(m_dlg.Hwnd());
    }
    HWND Hwnd() const { return m_dlg.Hwnd(); }
    void PowerSource(DWORD data) {
        alignas(POWERBROADCAST_SETTING) BYTE buffer[sizeof(POWERBROADCAST_SETTING) + sizeof(DWORD)] = {};
        auto* setting = reinterpret_cast<POWERBROADCAST_SETTING*>(buffer);
        setting->PowerSetting = {0x5D3E9A59, 0xE9D5, 0x4B00, {0xA6, 0xBD, 0xFF, 0x34, 0xFF, 0x51, 0x65, 0x48}};
        setting->DataLength = sizeof data;
        memcpy(setting->Data, &data, sizeof data);
        SendMessageA(Hwnd(), WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(setting));
    }
    void Resume() { SendMessageA(Hwnd(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0); }

private:
    vx::CVorlixDlg m_dlg;
};

class Eco : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(vxtest::Run("emuctl.exe", "reset"), 0); }
    void TearDown() override { vxtest::Run("emuctl.exe", "reset"); }  // settings too
};

TEST_F(Eco, OnThenOffReturnsToTheSchemeActiveBeforeAndLeavesNoEcoScheme) {
    Power("activate high");
    vx::EnableEcoScheme();
    EXPECT_EQ(ActiveScheme(), kEcoText);
    // The scheme comes from the file that ships with the system.
    EXPECT_NE(Power("active").find(" ECO"), std::string::npos);
    vx::DisableEcoScheme(vx::kRestoreSavedScheme);
    EXPECT_EQ(ActiveScheme(), kHighText);
    EXPECT_FALSE(SchemeExists(kEcoText));
}

// The ECO key reads "off" when the firmware's bit was set before the program
// started: without an ECO scheme the user's plan stays active.
// Whatever scheme the process saved earlier (none in a fresh process) is not
// made active then either.
TEST_F(Eco, OffWithoutAnEcoSchemeKeepsTheActivePlan) {
    Power("activate high");
    vx::DisableEcoScheme(vx::kRestoreSavedScheme);
    EXPECT_EQ(ActiveScheme(), kHighText);
    vx::EnableEcoScheme();  // saves High
    ASSERT_EQ(ActiveScheme(), kEcoText);
    Power("activate balanced");
    Power(std::string("remove ") + kEcoText);
    vx::DisableEcoScheme(vx::kRestoreSavedScheme);
    EXPECT_EQ(ActiveScheme(), kBalancedText);
}

TEST_F(Eco, StartUpWithALeftoverEcoSchemeMakesPowerSaverActiveAndDeletesIt) {
    Power(std::string("add ") + kEcoText + " ECO");
    Power(std::string("activate ") + kEcoText);
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    EXPECT_EQ(ActiveScheme(), kSaverText);
    EXPECT_FALSE(SchemeExists(kEcoText));
}

TEST_F(Eco, StartAndExitEachDeleteTheFirstModeSchemeFoundAndClearTheFirmwareBit) {
    vxtest::ServiceRun service;
    ASSERT_TRUE(service.Serving());
    Power("add office");
    Power("add gaming");  // enumerated before Office
    vxtest::EcSet("System1", 0x03);
    {
        MainWindow main;
        ASSERT_TRUE(main.Hwnd());
        EXPECT_FALSE(SchemeExists(kGamingText));
        EXPECT_TRUE(SchemeExists(kOfficeText));
        EXPECT_EQ(ActiveScheme(), kSaverText);
        EXPECT_EQ(vxtest::EcGet("System1"), 0x02u);
        vxtest::EcSet("System1", 0x01);
    }
    EXPECT_FALSE(SchemeExists(kOfficeText));
    EXPECT_EQ(vxtest::EcGet("System1"), 0x00u);
}

TEST_F(Eco, ResumeRemovesAnActiveEcoSchemeOnBatteryOnly) {
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    Power("activate high");
    vx::EnableEcoScheme();
    ASSERT_EQ(ActiveScheme(), kEcoText);
    main.PowerSource(0);  // mains
    main.Resume();
    EXPECT_EQ(ActiveScheme(), kEcoText);
    main.PowerSource(1);  // battery
    main.Resume();
    EXPECT_EQ(ActiveScheme(), kHighText);
    EXPECT_FALSE(SchemeExists(kEcoText));
}

TEST_F(Eco, AMissingSchemeFileNeitherHangsNorLeavesState) {
    const char* file = vx::kEcoSchemeFile;
    const std::string aside = std::string(file) + ".test-aside";
    ASSERT_TRUE(MoveFileExA(file, aside.c_str(), MOVEFILE_REPLACE_EXISTING)) << GetLastError();
    vx::EnableEcoScheme();
    std::string active = ActiveScheme();
    bool exists = SchemeExists(kEcoText);
    vx::DisableEcoScheme(vx::kRestoreSavedScheme);
    std::string afterOff = ActiveScheme();
    MoveFileExA(aside.c_str(), file, MOVEFILE_REPLACE_EXISTING);
    EXPECT_EQ(active, kBalancedText);
    EXPECT_FALSE(exists);
    EXPECT_EQ(afterOff, kBalancedText);
}

// The ECO key while the power-scheme calls fail (the emulated power
// management refuses the next N calls of any process): a few failures in a
// row are tried past, more leave the schemes as they were without a hang,
// and once the calls work the next press does what it says.
TEST_F(Eco, TheEcoKeyWithFailingPowerCallsLeavesNoWrongStateAndWorksOnceTheyWork) {
    vxtest::ServiceRun service;  // the firmware's interface version: states come in the events
    ASSERT_TRUE(service.Serving());
    MainWindow main;
    ASSERT_TRUE(main.Hwnd());
    auto ecoKey = [&](bool on) { SendMessageA(main.Hwnd(), WM_FIRMWARE_EVENT, 0x79, on ? 0x01 : 0x00); };
    auto failNext = [](int n) {
        ASSERT_EQ(vxtest::Run("emuctl.exe", "setting PowerFailCalls " + std::to_string(n)), 0);
    };
    Power("activate high");
    ecoKey(true);
    ASSERT_EQ(ActiveScheme(), kEcoText);

    // Fewer failures than a call is tried: each press still does its work.
    for (int n = 1; n < vx::kPowerCallTries; ++n) {
        SCOPED_TRACE(testing::Message() << n << " failing calls");
        failNext(n);
        ecoKey(false);
        EXPECT_EQ(ActiveScheme(), kHighText);
        EXPECT_FALSE(SchemeExists(kEcoText));
        failNext(n);
        ecoKey(true);
        EXPECT_EQ(ActiveScheme(), kEcoText);
    }

    // Every call failing: presses change nothing and return.
    failNext(1000);
    for (bool on : {false, true, false}) ecoKey(on);
    failNext(0);
    EXPECT_EQ(ActiveScheme(), kEcoText);
    // Working again: the next presses leave ECO for the saved plan and enter it again.
    ecoKey(false);
    EXPECT_EQ(ActiveScheme(), kHighText);
    EXPECT_FALSE(SchemeExists(kEcoText));
    ecoKey(true);
    EXPECT_EQ(ActiveScheme(), kEcoText);
    ecoKey(false);
    EXPECT_EQ(ActiveScheme(), kHighText);
}

}  // namespace
