// Platform-free decisions of the viewer's start-up and information dialog:
// the brand chosen by the command line, the processor text, the disk and
// memory usage figures and the texts of the usage bars.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// 0: no brand option, the viewer shows nothing. 1: QN (the EC firmware
// version is read and shown). 2: ZEL (no EC firmware field).
enum class Brand : int { None = 0, QN = 1, ZEL = 2 };

inline constexpr char kOptionQN[] = "/COMP_QN";
inline constexpr char kOptionZEL[] = "/COMP_ZEL";

// Tells whether a byte opens a two-byte character of the text's code page.
using LeadBytePredicate = bool (*)(unsigned char);
bool NoLeadBytes(unsigned char);

// Case-sensitive search that only starts a match on a character boundary,
// so the trail byte of a two-byte character never begins one.
bool ContainsOption(std::string_view text, std::string_view option, LeadBytePredicate isLead);

// The brand of a whole command line (program path included): "/COMP_QN"
// anywhere wins over "/COMP_ZEL"; either may sit inside a longer argument.
Brand BrandFromCommandLine(std::string_view commandLine, LeadBytePredicate isLead = NoLeadBytes);

// What creating the instance mutex gave: made by this copy; found, made by
// another copy; refused, because a copy of another user or an elevated copy
// made it and this process may not open it; or failed otherwise (the shared
// counter then decides alone).
enum class InstanceMutex { Created, Exists, AccessDenied, Failed };
// Another copy runs when the mutex exists, whether this process may open it
// or not.
bool AnotherCopyRuns(InstanceMutex mutex);

// How long start-up waits for the firmware's answer (the EC firmware
// version) before it shows the dialog without it.
inline constexpr std::uint32_t kFirmwareAnswerWaitMs = 5000;

// What is left of a wait of waitMs that began elapsedMs ago (the readings
// started before the dialog count their bound from their own start): 0 once
// it has passed; a wait without end stays without end.
inline constexpr std::uint32_t kWaitWithoutEnd = 0xFFFFFFFF;
std::uint32_t RemainingWaitMs(std::uint32_t waitMs, std::uint64_t elapsedMs);

// The processor field: the registry's processor name when it could be read,
// otherwise the inventory's name (itself "Unknown" when WMI had none).
std::string ProcessorText(const std::optional<std::string>& registryName, const std::string& inventoryName);

// Used disk space in percent, 0 to 100: 100 - free x 100 / total, truncated.
// No figure (nullopt) when the size query failed or reported no bytes.
struct DiskSpace {
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;
};
std::optional<int> DiskUsedPercent(const std::optional<DiskSpace>& space);

// Memory load in percent: the extended status's load when that call worked
// and gave at most 100, otherwise the basic status's load (capped at 100).
int MemoryLoadPercent(std::optional<std::uint32_t> extendedLoad, std::uint32_t basicLoad);

// A usage bar: its position and its text ("%d%%"). Without a figure the bar
// is empty and reads `unknownText`.
struct BarState {
    int position = 0;
    std::string text;
};
BarState UsageBar(std::optional<int> percent, const std::string& unknownText);

// Charging from the power status's battery flag: bit 3 (8). The flag 255
// means the status could not be read, which is not charging.
inline constexpr std::uint8_t kBatteryFlagCharging = 8;
inline constexpr std::uint8_t kBatteryFlagUnknown = 255;
bool ChargingFromBatteryFlag(std::uint8_t flag);

}  // namespace quillon
