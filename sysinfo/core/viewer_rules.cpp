#include "viewer_rules.h"

#include <cstdio>
#include <cwchar>

namespace quillon {
namespace {

using T = InventoryText;

constexpr InventoryProperty kBoard[] = {{T::BoardProduct, "Product"}};
constexpr InventoryProperty kBios[] = {{T::BiosCaption, "Caption"},
                                       {T::BiosReleaseDate, "ReleaseDate"},
                                       {T::BiosVersion, "Version"},
                                       {T::SmbiosBiosVersion, "SMBIOSBIOSVersion"}};
constexpr InventoryProperty kSystem[] = {{T::Model, "Model"}, {T::Manufacturer, "Manufacturer"}};
constexpr InventoryProperty kProcessor[] = {{T::ProcessorName, "Name"}};
constexpr InventoryProperty kSound[] = {{T::SoundDeviceName, "Name"}};
constexpr InventoryProperty kVideo[] = {{T::VideoControllerName, "Name"}};

constexpr InventoryClass kClasses[] = {
    {"Win32_BaseBoard", kBoard, false, Keep::BaseBoard},
    {"Win32_BIOS", kBios, false, Keep::Release},
    {"Win32_ComputerSystem", kSystem, false, Keep::Release},
    {"Win32_Processor", kProcessor, true, Keep::Release},
    {"Win32_SoundDevice", kSound, true, Keep::Release},
    {"Win32_VideoController", kVideo, true, Keep::Current},
};

}  // namespace

std::string TrimSpaces(std::string text, Trim trim) {
    text.erase(text.find_last_not_of(' ') + 1);
    if (trim == Trim::TrailingThenLeading) text.erase(0, text.find_first_not_of(' '));
    return text;
}

Trim TrimFor(InventoryText text) {
    switch (text) {
        case T::ProcessorName:
        case T::SoundDeviceName:
        case T::VideoControllerName: return Trim::TrailingThenLeading;
        default: return Trim::Trailing;
    }
}

std::span<const InventoryClass> InventoryClasses() { return kClasses; }

EcVersionRecord EcVersionFromULong(std::uint32_t value) {
    EcVersionRecord record;
    record.major = static_cast<std::uint8_t>(value & 0xFF);
    record.minor = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    return record;
}

std::string EcVersionText(const EcVersionRecord& record) {
    char text[16];
    const unsigned major = record.major, minor = record.minor, test = record.testBuild;
    if (test == 0)
        std::snprintf(text, sizeof text, "%02X.%02X", major, minor);
    else
        std::snprintf(text, sizeof text, "%02X.%02X T%02X", major, minor, test);
    return text;
}

std::string EcFieldText(std::optional<std::uint32_t> reading) {
    return reading ? EcVersionText(EcVersionFromULong(*reading)) : std::string();
}

std::wstring MethodULongPath(int n) {
    wchar_t path[kMethodPathSize];
    int length = std::swprintf(path, kMethodPathSize,
                               L"Method_ULong.InstanceName=\"ACPI\\\\PNP0C14\\\\0_%d\"", n);
    return length > 0 ? std::wstring(path, static_cast<std::size_t>(length)) : std::wstring();
}

const char* EnumTriesNote(int failedTries, bool succeeded) {
    if (!succeeded) return "CreateInstanceEnum is failed\n";
    if (failedTries >= 2) return "CreateInstanceEnum has problem more than once\n";
    return nullptr;
}

}  // namespace quillon
