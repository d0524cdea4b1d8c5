#include "device_commands.h"

#include <cstring>

namespace vx {

std::optional<int> BrightnessFromText(std::string_view text) {
    if (!IsDecimalNumber(text)) return std::nullopt;
    std::int32_t percent = LeadingNumber(text);
    if (percent < 0 || percent > 100) return std::nullopt;
    return percent;
}

bool BitIsSet(bool exchangeOk, std::string_view reply, std::uint32_t bit) {
    if (!exchangeOk) return false;
    return (static_cast<std::uint32_t>(LeadingNumber(reply)) & bit) != 0;
}

std::optional<std::int32_t> NewFlagValue(bool readOk, std::string_view reply, int wanted, FlagWrite flag) {
    if (!readOk || !IsDecimalNumber(reply)) return std::nullopt;
    auto n = static_cast<std::uint32_t>(LeadingNumber(reply));
    if (wanted == 1) {
        n |= flag.bit;
    } else if (wanted == 0) {
        n &= flag.keepMask;
    }
    return static_cast<std::int32_t>(n);
}

std::string SystemFlagWriteCommand(std::int32_t value) {
    return kCmdWriteSystem1Prefix + std::to_string(value);
}

bool FirmwareReportsStates(const std::optional<std::string>& aslVersionReply) {
    return aslVersionReply && LeadingNumber(*aslVersionReply) > 16;
}

bool FillRequest(std::string_view command, RequestArea& area) {
    area.fill('\0');
    if (command.size() >= area.size() || command.find('\0') != std::string_view::npos) return false;
    std::memcpy(area.data(), command.data(), command.size());
    return true;
}

std::string ReplyText(const char* area, std::size_t size) {
    const void* zero = std::memchr(area, '\0', size);
    std::size_t len = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - area) : size;
    return std::string(area, len);
}

}  // namespace vx
