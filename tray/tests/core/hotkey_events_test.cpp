#include "hotkey_events.h"

#include "osd_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vx::HotkeyAction;
using vx::StateSource;

std::string Text(const char* s) { return s ? s : "(none)"; }

TEST(HotkeyEvents, EveryRow) {
    struct Case {
        unsigned code;
        const char* name;
        StateSource withStates, withoutStates;
        std::uint32_t flagBit;
        const char* command;  // the device read, nullptr when none
        const char* setLine;
        const char* clearLine;
        HotkeyAction action;
        vx::OsdShow osdSet, osdClear;
    };
    const char* device = vx::kCmdQueryDevice;
    const char* system0 = vx::kCmdQuerySystem0;
    const char* system1 = vx::kCmdQuerySystem1;
    const Case cases[] = {
        {0x5F, "It's Wirelees's WMIevent", StateSource::EventFlags, StateSource::DeviceRead, 0x08, device,
         "Get Wireless's Flag in EC's rom : Enable", "Get Wireless's Flag in EC's rom : Disable",
         HotkeyAction::MarkWirelessOsd, {1, 1}, {1, 2}},
        {0x56, "It's BlueTooth's WMIevent", StateSource::EventFlags, StateSource::DeviceRead, 0x01, device,
         "Get BlueTooth's Flag in EC's rom : Enable", "Get BlueTooth's Flag in EC's rom : Disable",
         HotkeyAction::None, {1, 3}, {1, 4}},
        {0x57, "It's WebCam's WMIevent", StateSource::EventFlags, StateSource::DeviceRead, 0x02, device,
         "Get WebCam's Flag in EC's rom : Enable", "Get WebCam's Flag in EC's rom : Disable", HotkeyAction::None,
         {1, 7}, {1, 8}},
        // The touchpad bit set means the touchpad is switched off.
        {0x08, "It's TouchPad's WMIevent", StateSource::EventFlags, StateSource::DeviceRead, 0x02, system1,
         "Get TouchPad's Flag in EC's rom : Disable", "Get TouchPad's Flag in EC's rom : Enable",
         HotkeyAction::None, {1, 6}, {1, 5}},
        {0x60, "It's Turbo's WMIevent", StateSource::EventFlags, StateSource::DeviceRead, 0x02, system0,
         "Get Turbo's Flag in EC's rom : Enable", "Get Turbo's Flag in EC's rom : Disable", HotkeyAction::None,
         {3, 7}, {3, 8}},
        {0x79, "It's ECO's WMIevent", StateSource::EventFlags, StateSource::DeviceRead, 0x01, system1, nullptr,
         nullptr, HotkeyAction::EcoScheme, {1, 11}, {1, 12}},
        // 3G is read through the command whatever the firmware reports.
        {0x84, nullptr, StateSource::DeviceRead, StateSource::DeviceRead, 0x10, device, nullptr, nullptr,
         HotkeyAction::None, {1, 15}, {1, 16}},
        {0x6F, "It's UserDfine's WMIevent", StateSource::None, StateSource::None, 0, nullptr, nullptr, nullptr,
         HotkeyAction::UserDefineKey, {}, {}},
        {0x73, nullptr, StateSource::None, StateSource::None, 0, nullptr, nullptr, nullptr, HotkeyAction::TheaterMode,
         {}, {}},
        // Codes outside the table, the highest one included.
        {0x25, "This WMIevent don't work in CVN.", StateSource::None, StateSource::None, 0, nullptr, nullptr, nullptr,
         HotkeyAction::None, {}, {}},
        {0x00, "This WMIevent don't work in CVN.", StateSource::None, StateSource::None, 0, nullptr, nullptr, nullptr,
         HotkeyAction::None, {}, {}},
        {0xFF, "This WMIevent don't work in CVN.", StateSource::None, StateSource::None, 0, nullptr, nullptr, nullptr,
         HotkeyAction::None, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << c.code);
        const vx::HotkeyEvent& row = vx::HotkeyEventFor(c.code);
        EXPECT_EQ(Text(row.nameLine), Text(c.name));
        EXPECT_EQ(vx::StateSourceOf(row, true), c.withStates);
        EXPECT_EQ(vx::StateSourceOf(row, false), c.withoutStates);
        EXPECT_EQ(Text(row.read.command), Text(c.command));
        if (c.command) {
            EXPECT_EQ(row.read.bit, c.flagBit);
        }
        EXPECT_EQ(vx::StateFromFlags(row, c.flagBit), c.flagBit != 0);
        EXPECT_FALSE(vx::StateFromFlags(row, 0xFF & ~c.flagBit));
        EXPECT_EQ(Text(vx::StateLine(row, true)), Text(c.setLine));
        EXPECT_EQ(Text(vx::StateLine(row, false)), Text(c.clearLine));
        EXPECT_EQ(row.action, c.action);
        EXPECT_EQ(vx::DeviceOsd(row, true, false), c.osdSet);
        EXPECT_EQ(vx::DeviceOsd(row, false, false), c.osdClear);
    }
}

TEST(HotkeyEvents, CodeIsTheLowByteAndTheHeaderTheWholeValue) {
    struct Case { std::uintptr_t wParam; unsigned code; const char* header; };
    const Case cases[] = {
        {0x5F, 0x5F, "5f"}, {0x15F, 0x5F, "15f"}, {0x1FF, 0xFF, "1ff"},
        {0xFF, 0xFF, "ff"}, {0x08, 0x08, "8"},    {0x84, 0x84, "84"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vx::HotkeyEventCode(c.wParam), c.code) << c.header;
        EXPECT_EQ(vx::HotkeyHeaderText(c.wParam), c.header);
    }
    EXPECT_EQ(vx::HotkeyEventFor(vx::HotkeyEventCode(0x15F)).code, vx::kEventWireless);
}

TEST(HotkeyEvents, BluetoothGoesBesideTheWirelessPicture) {
    const auto& bluetooth = vx::HotkeyEventFor(vx::kEventBluetooth);
    EXPECT_EQ(vx::DeviceOsd(bluetooth, true, true), (vx::OsdShow{vx::kOsdSecondDevice, 3}));
    EXPECT_EQ(vx::DeviceOsd(bluetooth, false, true), (vx::OsdShow{vx::kOsdSecondDevice, 4}));
    // Only Bluetooth moves; the other device pictures keep their window.
    for (unsigned code : {vx::kEventWireless, vx::kEventWebcam, vx::kEventTouchpad, vx::kEventEco, vx::kEvent3G,
                          vx::kEventTurbo}) {
        const auto& row = vx::HotkeyEventFor(code);
        EXPECT_EQ(vx::DeviceOsd(row, true, true), vx::DeviceOsd(row, true, false)) << code;
    }
}

// Whatever sense a bit has, the state line and the picture say the same.
TEST(HotkeyEvents, StateLineAndPictureAgree) {
    for (unsigned code = 0; code <= 0xFF; ++code) {
        const auto& row = vx::HotkeyEventFor(code);
        for (bool bitSet : {true, false}) {
            const char* line = vx::StateLine(row, bitSet);
            vx::OsdShow osd = vx::DeviceOsd(row, bitSet, false);
            if (!line || osd.kind == 0) continue;
            std::string picture(vx::SingleImageFile(osd.kind, osd.code));
            ASSERT_FALSE(picture.empty()) << code;
            bool lineEnabled = std::string(line).ends_with(": Enable");
            EXPECT_EQ(picture.find("_Enable") != std::string::npos, lineEnabled) << line << " / " << picture;
        }
    }
}

TEST(HotkeyEvents, TheaterLevels) {
    struct Case { int volume, brightness; vx::TheaterLevels on; };
    const Case cases[] = {
        {65, 90, {95, 100}}, {69, 79, {99, 99}}, {70, 80, {100, 100}},
        {0, 0, {30, 20}},    {100, 100, {100, 100}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vx::TheaterOnLevels(c.volume, c.brightness), c.on) << c.volume << " " << c.brightness;
    EXPECT_EQ(vx::TheaterOsd(true), (vx::OsdShow{vx::kOsdCentre, 9}));
    EXPECT_EQ(vx::TheaterOsd(false), (vx::OsdShow{vx::kOsdCentre, 10}));
    EXPECT_EQ(vx::SingleImageFile(vx::kOsdCentre, 9), "Center\\TheaterMode_Enable.png");
}

}  // namespace
