// The device command set against the command service and the emulated EC.
#include "child_process.h"
#include "device_commands_win.h"

#include <gtest/gtest.h>

namespace {

class DeviceCommands : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(vxtest::Run("emuctl.exe", "reset"), 0); }
    void TearDown() override { vxtest::Run("emuctl.exe", "reset"); }
};

TEST_F(DeviceCommands, DeviceStatesOfValue9) {
    vxtest::ServiceRun service;
    ASSERT_TRUE(service.Serving());
    vxtest::EcSet("Device", 9);
    EXPECT_TRUE(vx::IsWirelessOn());
    EXPECT_TRUE(vx::IsBluetoothOn());
    EXPECT_FALSE(vx::IsWebcamOn());
    EXPECT_FALSE(vx::Is3GOn());
    vxtest::EcSet("Device", 0x12);
    EXPECT_FALSE(vx::IsWirelessOn());
    EXPECT_TRUE(vx::IsWebcamOn());
    EXPECT_TRUE(vx::Is3GOn());
}

TEST_F(DeviceCommands, SystemFlagsReadAndChanged) {
    vxtest::ServiceRun service;
    ASSERT_TRUE(service.Serving());
    struct Case { unsigned before; void (*change)(int); int wanted; unsigned after; };
    const Case cases[] = {
        {7, vx::SetEcoFlag, 0, 6},
        {7, vx::SetTheaterFlag, 0, 3},
        {0, vx::SetTheaterFlag, 1, 4},
        {2, vx::SetEcoFlag, 1, 3},
        // A firmware bit above the flags (0x25): setting the theater bit (already
        // set) keeps it, clearing ECO with the keep mask drops it.
        {0x25, vx::SetTheaterFlag, 1, 0x25},
        {0x25, vx::SetEcoFlag, 0, 0x04},
    };
    for (const auto& c : cases) {
        vxtest::EcSet("System1", c.before);
        c.change(c.wanted);
        EXPECT_EQ(vxtest::EcGet("System1"), c.after) << "from " << c.before << " wanted " << c.wanted;
    }
    vxtest::EcSet("System1", 3);
    EXPECT_TRUE(vx::IsEcoOn());
    EXPECT_TRUE(vx::IsTouchpadFlagSet());
    vxtest::EcSet("System0", 2);
    EXPECT_TRUE(vx::IsTurboOn());
}

TEST_F(DeviceCommands, SoftwareAnnouncementAndVersion) {
    vxtest::ServiceRun service;
    ASSERT_TRUE(service.Serving());
    vx::NotifySoftwareStart();
    EXPECT_EQ(vxtest::EcGet("Software"), 1u);
    vx::NotifySoftwareExit();
    EXPECT_EQ(vxtest::EcGet("Software"), 0u);
    vxtest::EcSet("AP1", 16);
    EXPECT_EQ(vx::ReadAslVersion(), std::optional<std::string>("16"));
    EXPECT_TRUE(vx::ReadBiosVersion().has_value());
}

TEST_F(DeviceCommands, ServiceStopped) {
    vxtest::EcSet("Device", 0x1F);
    vxtest::EcSet("System1", 7);
    vxtest::EcSet("System0", 2);
    EXPECT_FALSE(vx::IsWirelessOn());
    EXPECT_FALSE(vx::IsBluetoothOn());
    EXPECT_FALSE(vx::IsWebcamOn());
    EXPECT_FALSE(vx::Is3GOn());
    EXPECT_FALSE(vx::IsTouchpadFlagSet());
    EXPECT_FALSE(vx::IsEcoOn());
    EXPECT_FALSE(vx::IsTurboOn());
    EXPECT_FALSE(vx::ReadAslVersion().has_value());
    vx::SetEcoFlag(0);
    vx::SetTheaterFlag(1);
    EXPECT_EQ(vxtest::EcGet("System1"), 7u);
}

}  // namespace
