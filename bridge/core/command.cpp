#include "command.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace brindle {
namespace {

constexpr auto npos = std::string_view::npos;

// Position of the first colon at or after `from`; npos when there is none or
// when `from` lies beyond the end (a field boundary that does not exist).
std::size_t NextColon(std::string_view text, std::size_t from) {
    if (from == npos || from > text.size()) return npos;
    return text.find(':', from);
}

std::size_t After(std::size_t colon) { return colon == npos ? npos : colon + 1; }

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads class and property, the fields every read and write starts with.
// Returns the position of the colon that ends the property, or npos.
std::size_t ReadTarget(std::string_view text, std::size_t second, Command& command) {
    std::size_t third = NextColon(text, After(second));
    if (third == npos) return npos;
    std::string_view className = text.substr(second + 1, third - second - 1);
    if (className.empty()) return npos;

    std::size_t fourth = NextColon(text, After(third));
    if (fourth == npos) return npos;
    std::string_view property = text.substr(third + 1, fourth - third - 1);
    if (property.empty()) return npos;

    command.className = className;
    command.property = property;
    return fourth;
}

void ParseRead(std::string_view text, std::size_t second, Command& command) {
    std::size_t fourth = ReadTarget(text, second, command);
    if (fourth == npos) return;
    if (NextColon(text, After(fourth)) != npos) return;  // a fifth field
    std::string_view instance = text.substr(fourth + 1);
    if (instance.empty()) return;
    command.instance = ReadLeadingNumber(instance);
    if (command.instance < 0) return;
    command.kind = CommandKind::Read;
}

void ParseWrite(std::string_view text, std::size_t second, Command& command) {
    std::size_t fourth = ReadTarget(text, second, command);
    if (fourth == npos) return;
    std::size_t fifth = NextColon(text, After(fourth));
    if (fifth == npos) return;
    std::string_view instance = text.substr(fourth + 1, fifth - fourth - 1);
    if (instance.empty()) return;
    command.instance = ReadLeadingNumber(instance);
    if (command.instance < 0) return;
    if (NextColon(text, After(fifth)) != npos) return;  // a sixth field
    std::string_view value = text.substr(fifth + 1);
    if (value.empty()) return;
    command.value = ReadLeadingNumber(value);
    command.kind = CommandKind::Write;
}

}  // namespace

Command ParseCommand(std::string_view request) {
    Command command;
    std::size_t first = NextColon(request, 0);
    if (first == npos) return command;  // no namespace, no operation
    command.nameSpace = request.substr(0, first);

    std::size_t second = NextColon(request, After(first));
    if (second == npos) return command;  // the operation is empty
    std::string_view operation = request.substr(first + 1, second - first - 1);

    if (operation == "Q") {
        ParseRead(request, second, command);
    } else if (operation == "S") {
        ParseWrite(request, second, command);
    } else if (operation == "M") {
        command.kind = CommandKind::NoAction;
    }
    if (command.kind == CommandKind::Malformed) {
        command = Command{};
    }
    return command;
}

std::int32_t ReadLeadingNumber(std::string_view text) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate the magnitude; once it passes the range it stays pinned just
    // beyond it, so arbitrarily long digit runs cannot overflow.
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kMax + 1) magnitude = kMax + 1;
    }
    std::int64_t value = negative ? -magnitude : magnitude;
    if (value > kMax) return static_cast<std::int32_t>(kMax);
    if (value < kMin) return static_cast<std::int32_t>(kMin);
    return static_cast<std::int32_t>(value);
}

bool IsDecimalNumber(std::string_view text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string DecimalText(std::int32_t value) {
    char buffer[16];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string QueryForClass(std::string_view className) {
    std::string query = "Select * from ";
    query += className;
    return query;
}

}  // namespace brindle
