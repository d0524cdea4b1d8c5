#include "device_commands.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(DeviceCommands, LeadingNumberRule) {
    struct Case { const char* text; std::int32_t value; bool wholeNumber; };
    const Case cases[] = {
        {"9", 9, true},
        {"+12", 12, true},
        {"-7", -7, true},
        {"  +12abc", 12, false},
        {"\t-7", -7, false},
        {"0x80070005", 0, false},
        {"17 ", 17, false},
        {"", 0, false},
        {"Please input correct parameter !", 0, false},
        {"WBEM_E_NOT_FOUND", 0, false},
        {"-", 0, false},
        {"99999999999", INT_MAX, true},
        {"-99999999999", INT_MIN, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vx::LeadingNumber(c.text), c.value) << c.text;
        EXPECT_EQ(vx::IsDecimalNumber(c.text), c.wholeNumber) << c.text;
    }
}

// An unreadable brightness must not read as 0: theater mode would restore a
// black screen on its way out.
TEST(DeviceCommands, BrightnessIsReadOnlyFromAWholePercent) {
    struct Case { const char* text; std::optional<int> percent; };
    const Case cases[] = {
        {"60", 60}, {"0", 0}, {"100", 100}, {"+5", 5},
        {"", std::nullopt}, {"WBEM_E_NOT_FOUND", std::nullopt}, {"7 ", std::nullopt},
        {"101", std::nullopt}, {"-1", std::nullopt}, {"99999999999", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(vx::BrightnessFromText(c.text), c.percent) << '"' << c.text << '"';
}

TEST(DeviceCommands, DeviceStatesFromReplies) {
    struct Case { vx::BitQuery query; const char* reply; bool ok; bool on; };
    const Case cases[] = {
        // Device value 9: wireless and Bluetooth on, webcam and 3G off.
        {vx::kWirelessOn, "9", true, true},
        {vx::kBluetoothOn, "9", true, true},
        {vx::kWebcamOn, "9", true, false},
        {vx::k3GOn, "9", true, false},
        {vx::k3GOn, "16", true, true},
        {vx::kTouchpadFlag, "2", true, true},
        {vx::kEcoOn, "7", true, true},
        {vx::kTurboOn, "2", true, true},
        // An error text reads as 0; a failed exchange is off whatever the area holds.
        {vx::kWirelessOn, "CPtrArray size is over than spec.", true, false},
        {vx::kWirelessOn, "255", false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vx::BitIsSet(c.ok, c.reply, c.query.bit), c.on) << c.query.command << " " << c.reply;
}

TEST(DeviceCommands, FlagWritesKeepTheOtherFlags) {
    struct Case { vx::FlagWrite flag; const char* reply; int wanted; std::int32_t written; };
    const Case cases[] = {
        {vx::kEcoFlag, "7", 0, 6},
        {vx::kTheaterFlag, "7", 0, 3},
        {vx::kTheaterFlag, "37", 1, 37},
        {vx::kEcoFlag, "37", 0, 4},
        {vx::kTheaterFlag, "1", 1, 5},
        {vx::kEcoFlag, "6", 1, 7},
        {vx::kEcoFlag, "5", 2, 5},
    };
    for (const auto& c : cases) {
        auto value = vx::NewFlagValue(true, c.reply, c.wanted, c.flag);
        ASSERT_TRUE(value) << c.reply;
        EXPECT_EQ(*value, c.written) << c.reply << " wanted " << c.wanted;
    }
    EXPECT_EQ(vx::SystemFlagWriteCommand(6), "root\\WMI:S:ZEL_System:System:1:6");
}

TEST(DeviceCommands, FlagWriteIsSkippedWithoutAReadValue) {
    // A failed read or an error text must not turn into a write of 0 or of the
    // bare flag bit, which would switch the register's other flags off.
    struct Case { bool readOk; const char* reply; int wanted; vx::FlagWrite flag; bool writes; };
    const Case cases[] = {
        {false, "7", 0, vx::kEcoFlag, false},
        {false, "", 1, vx::kTheaterFlag, false},
        {true, "WBEM_E_ACCESS_DENIED", 1, vx::kTheaterFlag, false},
        // Error texts that start with a digit are no value either.
        {true, "0x80070005", 1, vx::kTheaterFlag, false},
        {true, "0x80070005", 0, vx::kEcoFlag, false},
        {true, "7 (cached)", 0, vx::kEcoFlag, false},
        {true, " 7", 0, vx::kEcoFlag, false},
        {true, "0", 1, vx::kTheaterFlag, true},
        {true, "+7", 0, vx::kEcoFlag, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vx::NewFlagValue(c.readOk, c.reply, c.wanted, c.flag).has_value(), c.writes)
            << c.reply << " read " << c.readOk;
}

TEST(DeviceCommands, FirmwareReportsStatesFromVersion17) {
    EXPECT_FALSE(vx::FirmwareReportsStates(std::nullopt));
    EXPECT_FALSE(vx::FirmwareReportsStates(std::string("16")));
    EXPECT_TRUE(vx::FirmwareReportsStates(std::string("17")));
    EXPECT_FALSE(vx::FirmwareReportsStates(std::string("WBEM_E_NOT_FOUND")));
}

TEST(DeviceCommands, RequestAreaIsZeroPaddedAndNeverCut) {
    vx::RequestArea area;
    area.fill('x');
    ASSERT_TRUE(vx::FillRequest(vx::kCmdQueryDevice, area));
    std::string cmd = vx::kCmdQueryDevice;
    EXPECT_EQ(std::string(area.data(), cmd.size()), cmd);
    for (std::size_t i = cmd.size(); i < area.size(); ++i) ASSERT_EQ(area[i], '\0') << i;

    EXPECT_TRUE(vx::FillRequest(std::string(79, 'a'), area));
    EXPECT_FALSE(vx::FillRequest(std::string(80, 'a'), area));
    EXPECT_FALSE(vx::FillRequest(std::string("ab\0c", 4), area));
}

TEST(DeviceCommands, ReplyTextStopsAtTheAreaEnd) {
    const char terminated[] = {'1', '7', '\0', 'x'};
    EXPECT_EQ(vx::ReplyText(terminated, sizeof terminated), "17");
    const char unterminated[] = {'4', '2'};
    EXPECT_EQ(vx::ReplyText(unterminated, sizeof unterminated), "42");
}

}  // namespace
