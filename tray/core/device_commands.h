// The tray program's device command set: the command strings it sends to the
// command service and how each reply becomes a device state or a new flag
// value. The pipe exchange itself lives in the Windows part.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "command.h"

namespace vx {

// Every exchange sends an 80-byte request (the command, zero-padded) and
// offers an 800-byte reply area.
inline constexpr std::size_t kRequestSize = 80;
inline constexpr std::size_t kReplySize = 800;
using RequestArea = std::array<char, kRequestSize>;

inline constexpr char kCmdSoftwareStart[] = "root\\WMI:S:ZEL_Software:Software:0:1";
inline constexpr char kCmdSoftwareExit[] = "root\\WMI:S:ZEL_Software:Software:0:0";
inline constexpr char kCmdQueryDevice[] = "root\\WMI:Q:ZEL_Device:Device:0";
inline constexpr char kCmdQuerySystem0[] = "root\\WMI:Q:ZEL_System:System:0";
inline constexpr char kCmdQuerySystem1[] = "root\\WMI:Q:ZEL_System:System:1";
inline constexpr char kCmdWriteSystem1Prefix[] = "root\\WMI:S:ZEL_System:System:1:";
inline constexpr char kCmdQueryAslVersion[] = "root\\WMI:Q:ZEL_AP:AP:1";
inline constexpr char kCmdQueryBiosVersion[] = "root\\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0";

// A device state read: which command to send and which bit of the reply
// means "on".
struct BitQuery {
    const char* command;
    std::uint32_t bit;
};

inline constexpr BitQuery kWirelessOn{kCmdQueryDevice, 0x08};
inline constexpr BitQuery kBluetoothOn{kCmdQueryDevice, 0x01};
inline constexpr BitQuery kWebcamOn{kCmdQueryDevice, 0x02};
inline constexpr BitQuery k3GOn{kCmdQueryDevice, 0x10};
inline constexpr BitQuery kTouchpadFlag{kCmdQuerySystem1, 0x02};
inline constexpr BitQuery kEcoOn{kCmdQuerySystem1, 0x01};
inline constexpr BitQuery kTurboOn{kCmdQuerySystem0, 0x02};

// A flag of System instance 1 changed by read, modify, write: the bit that
// turning it on sets, and the mask that turning it off keeps.
struct FlagWrite {
    std::uint32_t bit;
    std::uint32_t keepMask;
};

inline constexpr FlagWrite kEcoFlag{0x01, 0x1E};
inline constexpr FlagWrite kTheaterFlag{0x04, 0x1B};

// Reads a reply the way every caller does, with the command grammar's own
// leading-number rule: optional blanks and sign, then decimal digits up to
// the first non-digit; no digits gives 0; saturates at the 32-bit range.
inline std::int32_t LeadingNumber(std::string_view text) { return brindle::ReadLeadingNumber(text); }

// True when the text is wholly a decimal number: an optional sign, then at
// least one digit, nothing else (no blanks, no trailing text); the grammar's
// own rule, which the service's checks use too.
inline bool IsDecimalNumber(std::string_view text) { return brindle::IsDecimalNumber(text); }

// A display brightness read as text (the value of CurrentBrightness): a
// whole decimal number from 0 to 100, or nothing when the text is anything
// else (an empty or null value, words, out of range), which callers take as
// "leave brightness alone".
std::optional<int> BrightnessFromText(std::string_view text);

// A bit test is true only when the exchange succeeded and the number read
// from its reply has the bit set.
bool BitIsSet(bool exchangeOk, std::string_view reply, std::uint32_t bit);

// The value to write for a flag change, or nothing when the write must be
// skipped. The write is skipped when the read failed or its reply is not
// wholly a decimal number: an error text, even one that starts with a digit
// such as the status code "0x80070005", would read as a value and a write
// built from it would switch the register's other flags off. wanted 1 sets the bit, 0 keeps only the
// keep mask, any other value writes the read value back unchanged.
std::optional<std::int32_t> NewFlagValue(bool readOk, std::string_view reply, int wanted, FlagWrite flag);

// "root\WMI:S:ZEL_System:System:1:" followed by the value in decimal.
std::string SystemFlagWriteCommand(std::int32_t value);

// The firmware reports device states in its events from interface version 17
// on; no reply means the states are read through commands.
bool FirmwareReportsStates(const std::optional<std::string>& aslVersionReply);

// Copies a command into a zero-filled request area. A command that does not
// fit with its terminator is refused rather than cut.
bool FillRequest(std::string_view command, RequestArea& area);

// The reply text of an exchange: the bytes up to the first zero, never past
// the area.
std::string ReplyText(const char* area, std::size_t size);

}  // namespace vx
