#include "hotkey_events.h"

#include "log_format.h"
#include "osd_layout.h"

namespace vx {

namespace {

constexpr BitQuery kNoRead{nullptr, 0};

// The touchpad bit of System instance 1 is set while the touchpad is
// switched off: the firmware starts with the register clear and a notebook
// starts with its touchpad working.
constexpr HotkeyEvent kEvents[] = {
    {kEventWireless, "It's Wirelees's WMIevent", 0x08, kWirelessOn, false, "Get Wireless's Flag in EC's rom : Enable",
     "Get Wireless's Flag in EC's rom : Disable", HotkeyAction::MarkWirelessOsd, kOsdDevice, 1, 2},
    {kEventBluetooth, "It's BlueTooth's WMIevent", 0x01, kBluetoothOn, false,
     "Get BlueTooth's Flag in EC's rom : Enable", "Get BlueTooth's Flag in EC's rom : Disable", HotkeyAction::None,
     kOsdDevice, 3, 4},
    {kEventWebcam, "It's WebCam's WMIevent", 0x02, kWebcamOn, false, "Get WebCam's Flag in EC's rom : Enable",
     "Get WebCam's Flag in EC's rom : Disable", HotkeyAction::None, kOsdDevice, 7, 8},
    {kEventTouchpad, "It's TouchPad's WMIevent", 0x02, kTouchpadFlag, false,
     "Get TouchPad's Flag in EC's rom : Disable", "Get TouchPad's Flag in EC's rom : Enable", HotkeyAction::None,
     kOsdDevice, 6, 5},
    {kEventTurbo, "It's Turbo's WMIevent", 0x02, kTurboOn, false, "Get Turbo's Flag in EC's rom : Enable",
     "Get Turbo's Flag in EC's rom : Disable", HotkeyAction::None, kOsdCentre, 7, 8},
    {kEventEco, "It's ECO's WMIevent", 0x01, kEcoOn, false, nullptr, nullptr, HotkeyAction::EcoScheme, kOsdDevice, 11,
     12},
    // The 3G state is not in the event's flag byte on any firmware.
    {kEvent3G, nullptr, 0x10, k3GOn, true, nullptr, nullptr, HotkeyAction::None, kOsdDevice, 15, 16},
    {kEventUserDefine, "It's UserDfine's WMIevent", 0, kNoRead, false, nullptr, nullptr, HotkeyAction::UserDefineKey,
     0, 0, 0},
    // Its OSD depends on the tray program's own state, not on a bit.
    {kEventTheater, nullptr, 0, kNoRead, false, nullptr, nullptr, HotkeyAction::TheaterMode, 0, 0, 0},
};

constexpr HotkeyEvent kNotHandled{0, "This WMIevent don't work in CVN.", 0, kNoRead, false, nullptr, nullptr,
                                  HotkeyAction::None, 0, 0, 0};

}  // namespace

unsigned HotkeyEventCode(std::uintptr_t wParam) { return static_cast<unsigned>(wParam & 0xFF); }

const HotkeyEvent& HotkeyEventFor(unsigned code) {
    for (const auto& row : kEvents)
        if (row.code == code) return row;
    return kNotHandled;
}

std::string HotkeyHeaderText(std::uintptr_t wParam) {
    // Event values never use more than 32 bits.
    return FormatEventCode(static_cast<unsigned>(wParam));
}

StateSource StateSourceOf(const HotkeyEvent& row, bool firmwareReportsStates) {
    if (row.flagBit == 0) return StateSource::None;
    if (row.alwaysRead || !firmwareReportsStates) return StateSource::DeviceRead;
    return StateSource::EventFlags;
}

bool StateFromFlags(const HotkeyEvent& row, std::uintptr_t lParam) { return (lParam & row.flagBit) != 0; }

const char* StateLine(const HotkeyEvent& row, bool bitSet) { return bitSet ? row.setLine : row.clearLine; }

OsdShow DeviceOsd(const HotkeyEvent& row, bool bitSet, bool wirelessOsdShown) {
    if (row.osdKind == 0) return {};
    int kind = row.osdKind;
    if (row.code == kEventBluetooth && wirelessOsdShown) kind = kOsdSecondDevice;
    return {kind, bitSet ? row.osdCodeSet : row.osdCodeClear};
}

TheaterLevels TheaterOnLevels(int volume, int brightness) {
    return {volume < 70 ? volume + 30 : 100, brightness < 80 ? brightness + 20 : 100};
}

OsdShow TheaterOsd(bool switchedOn) { return {kOsdCentre, switchedOn ? 9 : 10}; }

}  // namespace vx
