// The firmware hotkey events as data: for each event code the activity-log
// name line, where the device's new state comes from, the state lines, the
// Windows-side action and the OSD picture. The main window's handler walks
// a row; every decision that needs no Windows is made here.
#pragma once

#include "device_commands.h"

#include <cstdint>
#include <string>

namespace vx {

// Event codes the firmware raises.
inline constexpr unsigned kEventTouchpad = 0x08;
inline constexpr unsigned kEventBluetooth = 0x56;
inline constexpr unsigned kEventWebcam = 0x57;
inline constexpr unsigned kEventWireless = 0x5F;
inline constexpr unsigned kEventTurbo = 0x60;
inline constexpr unsigned kEventUserDefine = 0x6F;
inline constexpr unsigned kEventTheater = 0x73;
inline constexpr unsigned kEventEco = 0x79;
inline constexpr unsigned kEvent3G = 0x84;

enum class HotkeyAction {
    None,
    MarkWirelessOsd,  // the wireless OSD is up: a Bluetooth OSD goes beside it
    EcoScheme,        // on: the ECO scheme; off: back to the saved scheme
    UserDefineKey,    // the chosen program, or the choice dialog
    TheaterMode,      // louder and brighter, or back
};

// Where a row's state comes from.
enum class StateSource {
    None,        // the row has no device state
    EventFlags,  // the given bit of the event's flag byte (lParam)
    DeviceRead,  // a device command through the service
};

struct HotkeyEvent {
    unsigned code;
    const char* nameLine;   // log kind 1; nullptr: none
    std::uint32_t flagBit;  // 0: the row has no device state
    BitQuery read;          // the device read when the flag byte carries no state
    bool alwaysRead;        // read through the command even when the event carries states
    const char* setLine;    // log kind 2 when the state bit is set; nullptr: no state line
    const char* clearLine;  // log kind 2 when the state bit is clear
    HotkeyAction action;
    int osdKind;            // 0: no OSD request
    int osdCodeSet;         // picture when the state bit is set
    int osdCodeClear;       // picture when it is clear
};

// The code the table is keyed by: the low byte of the message's wParam.
unsigned HotkeyEventCode(std::uintptr_t wParam);

// The row of a code; the "not handled" row (a name line, nothing else) for
// any code outside the table.
const HotkeyEvent& HotkeyEventFor(unsigned code);

// The event header's text: wParam in lower-case hexadecimal, no leading zeros.
std::string HotkeyHeaderText(std::uintptr_t wParam);

StateSource StateSourceOf(const HotkeyEvent& row, bool firmwareReportsStates);

// The state carried in the event's flag byte.
bool StateFromFlags(const HotkeyEvent& row, std::uintptr_t lParam);

// The state line of a row for its state bit; nullptr when the row writes none.
const char* StateLine(const HotkeyEvent& row, bool bitSet);

struct OsdShow {
    int kind = 0;  // 0: nothing to show
    int code = 0;
    bool operator==(const OsdShow&) const = default;
};

// The OSD of a device row for its state bit. A Bluetooth picture goes to the
// second device window while the wireless picture is still up.
OsdShow DeviceOsd(const HotkeyEvent& row, bool bitSet, bool wirelessOsdShown);

// ---- Theater mode: louder and brighter while on ----

struct TheaterLevels {
    int volume = 0;
    int brightness = 0;
    bool operator==(const TheaterLevels&) const = default;
};

// The levels theater mode switches to from the current ones: volume + 30
// below 70, else 100; brightness + 20 below 80, else 100.
TheaterLevels TheaterOnLevels(int volume, int brightness);

// The centre picture of theater mode switched on or off.
OsdShow TheaterOsd(bool switchedOn);

}  // namespace vx
