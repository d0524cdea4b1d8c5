// Platform-free decisions of the system information viewer: which
// inventory texts come from which class and property, their defaults and
// trimming, the EC firmware version text, the firmware method's object
// path and the debug notes of its instance walk.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quillon {

// The ten inventory texts, in the order they are read.
enum class InventoryText {
    BoardProduct,
    BiosCaption,
    BiosReleaseDate,
    BiosVersion,
    SmbiosBiosVersion,
    Model,
    Manufacturer,
    ProcessorName,
    SoundDeviceName,
    VideoControllerName,
};
inline constexpr int kInventoryTextCount = 10;

inline constexpr char kUnknown[] = "Unknown";

// Trailing spaces are cut from every text; the three names lose their
// leading spaces too. Only the space character counts.
enum class Trim { Trailing, TrailingThenLeading };
std::string TrimSpaces(std::string text, Trim trim);
Trim TrimFor(InventoryText text);

struct InventoryProperty {
    InventoryText text;
    const char* name;
};

// What happens to a class's enumerator and object after its properties
// are read.
enum class Keep {
    Release,    // released at once
    BaseBoard,  // held in the base-board slots until destruction
    Current,    // left in the current slots until destruction
};

struct InventoryClass {
    const char* name;
    std::span<const InventoryProperty> properties;
    bool unknownDefault;  // the texts read "Unknown" before the class is read
    Keep keep;
};

// Every class in the order the inventory reads them.
std::span<const InventoryClass> InventoryClasses();

// The EC version record: major, minor and test build. A firmware reading
// gives major (bits 0-7) and minor (bits 8-15); the rest is dropped.
struct EcVersionRecord {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint8_t testBuild = 0;
};
EcVersionRecord EcVersionFromULong(std::uint32_t value);
// "%02X.%02X", or "%02X.%02X T%02X" when the test-build byte is set.
std::string EcVersionText(const EcVersionRecord& record);
// The EC firmware field: the version text of a reading, empty when no
// value was obtained.
std::string EcFieldText(std::optional<std::uint32_t> reading);

// The object path of Method_ULong instance n, backslashes doubled as WMI
// object paths escape them. Formatted into 256 wide characters.
inline constexpr std::size_t kMethodPathSize = 256;
std::wstring MethodULongPath(int n);

// The instance walk tries CreateInstanceEnum up to kEnumTries times in a
// row. The debug note after failedTries failures (succeeded: a later try
// worked), or nullptr when there is none.
inline constexpr int kEnumTries = 30;
const char* EnumTriesNote(int failedTries, bool succeeded);

}  // namespace quillon
