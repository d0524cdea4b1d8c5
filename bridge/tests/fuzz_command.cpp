// Fuzz target of the command grammar. Every input is parsed and the result is
// checked against a second, independent reading of the same text: split at
// every colon, numbers read with strtoll. Any disagreement aborts.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

std::vector<std::string> SplitAtColons(const std::string& text) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == ':') fields.emplace_back();
        else fields.back() += c;
    }
    return fields;
}

std::int32_t ReferenceNumber(const std::string& text) {
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A command string ends at its first zero byte.
    std::string request(reinterpret_cast<const char*>(data), size);
    request.resize(std::strlen(request.c_str()));

    brindle::Command command = brindle::ParseCommand(request);

    std::vector<std::string> f = SplitAtColons(request);
    // With fewer than two colons the operation field is empty.
    std::string operation = f.size() >= 3 ? f[1] : std::string();
    brindle::CommandKind expected = brindle::CommandKind::Malformed;
    if (operation == "Q" && f.size() == 5 && !f[2].empty() && !f[3].empty() && !f[4].empty() &&
        ReferenceNumber(f[4]) >= 0) {
        expected = brindle::CommandKind::Read;
    } else if (operation == "S" && f.size() == 6 && !f[2].empty() && !f[3].empty() && !f[4].empty() &&
               !f[5].empty() && ReferenceNumber(f[4]) >= 0) {
        expected = brindle::CommandKind::Write;
    } else if (operation == "M") {
        expected = brindle::CommandKind::NoAction;
    }
    Require(command.kind == expected);

    if (expected == brindle::CommandKind::Read || expected == brindle::CommandKind::Write) {
        Require(command.nameSpace == f[0]);
        Require(command.className == f[2]);
        Require(command.property == f[3]);
        Require(command.instance == ReferenceNumber(f[4]));
    }
    if (expected == brindle::CommandKind::Write) {
        Require(command.value == ReferenceNumber(f[5]));
        // The written text reads back as the same number and is canonical.
        std::string text = brindle::DecimalText(command.value);
        Require(text == std::to_string(command.value));
        Require(brindle::ReadLeadingNumber(text) == command.value);
    }
    return 0;
}
