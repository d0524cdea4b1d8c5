#include "device_commands.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vx {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Position of the first digit after blanks and an optional sign, and the sign.
std::size_t NumberStart(std::string_view text, bool& negative) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

}  // namespace

std::int32_t LeadingNumber(std::string_view text) {
    bool negative = false;
    std::size_t i = NumberStart(text, negative);
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    std::int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kMax + 1) value = kMax + 1;  // enough to saturate either sign
    }
    if (negative) value = -value;
    return static_cast<std::int32_t>(std::clamp(value, kMin, kMax));
}

bool IsDecimalNumber(std::string_view text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
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
