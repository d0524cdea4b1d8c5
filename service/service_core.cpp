#include "service_core.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

namespace harrowd {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

// The word after a leading "-" or "/", or nothing when the argument is no switch.
bool SwitchWord(const char* arg, std::string_view& word) {
    if (arg == nullptr || (arg[0] != '-' && arg[0] != '/')) return false;
    word = std::string_view(arg + 1);
    return true;
}

}  // namespace

// ---- command line ---------------------------------------------------------

ConsoleCommand MatchSwitch(const char* arg) {
    std::string_view word;
    if (!SwitchWord(arg, word)) return ConsoleCommand::None;
    static constexpr struct {
        const char* word;
        ConsoleCommand command;
    } kCommands[] = {
        {"install", ConsoleCommand::Install}, {"remove", ConsoleCommand::Remove}, {"debug", ConsoleCommand::Debug},
        {"start", ConsoleCommand::Start},     {"stop", ConsoleCommand::Stop},
    };
    for (const auto& entry : kCommands)
        if (EqualsNoCase(word, entry.word)) return entry.command;
    return ConsoleCommand::None;
}

std::string UsageText(std::string_view serviceName) {
    const std::string name(serviceName);
    std::string out;
    out += name + " -install          to install the service\n";
    out += name + " -start          to start the service\n";
    out += name + " -stop          to stop the service\n";
    out += name + " -remove           to remove the service\n";
    out += name + " -debug <params>   to run as a console app for debugging\n";
    out += "\nStartServiceCtrlDispatcher being called.\n";
    out += "This may take several seconds.  Please wait.\n";
    return out;
}

std::string PipeNameFromArgs(int argc, const char* const* argv) {
    std::string name = kDefaultPipeName;
    for (int i = 1; i < argc - 1; ++i) {
        std::string_view word;
        if (SwitchWord(argv[i], word) && EqualsNoCase(word, "pipe")) {
            name = argv[i + 1] ? argv[i + 1] : "";
            ++i;
        }
    }
    return name;
}

// ---- request guard --------------------------------------------------------

bool IsFirmwareClass(std::string_view name) {
    static constexpr const char* kClasses[] = {"ZEL_Device", "ZEL_System", "ZEL_Software", "ZEL_AP"};
    return std::any_of(std::begin(kClasses), std::end(kClasses),
                       [name](const char* cls) { return EqualsNoCase(name, cls); });
}

namespace {

bool MayRead(const brindle::Command& command) {
    if (EqualsNoCase(command.nameSpace, "root\\WMI")) return IsFirmwareClass(command.className);
    return EqualsNoCase(command.nameSpace, "root\\CIMV2") && EqualsNoCase(command.className, "Win32_BIOS");
}

// The firmware writes the system makes: one property of one instance each,
// with the values it can mean.
struct WriteRule {
    const char* className;
    const char* property;
    std::int32_t instance;
    std::int32_t lowest;   // range of values, for a rule that takes no current value
    std::int32_t highest;
    bool flagRegister;     // checked with MaySetSystemFlags instead of the range
};

constexpr WriteRule kWrites[] = {
    {"ZEL_System", "System", 1, 0, 0, true},        // ECO, touchpad and theater flags
    {"ZEL_Software", "Software", 0, 0, 1, false},  // the tray program runs or not
};

const WriteRule* RuleFor(const brindle::Command& command) {
    if (command.kind != brindle::CommandKind::Write || !EqualsNoCase(command.nameSpace, "root\\WMI")) return nullptr;
    for (const auto& w : kWrites)
        if (EqualsNoCase(command.className, w.className) && EqualsNoCase(command.property, w.property) &&
            command.instance == w.instance)
            return &w;
    return nullptr;
}

bool MayWrite(const brindle::Command& command, std::optional<std::int32_t> current) {
    const WriteRule* rule = RuleFor(command);
    if (rule == nullptr) return false;
    if (rule->flagRegister) return MaySetSystemFlags(command.value, current);
    return command.value >= rule->lowest && command.value <= rule->highest;
}

}  // namespace

bool MaySetSystemFlags(std::int32_t value, std::optional<std::int32_t> current) {
    if (value >= 0 && static_cast<std::uint32_t>(value) <= kSystemFlagBits) return true;
    if (!current) return false;
    const std::uint32_t changed = static_cast<std::uint32_t>(value) ^ static_cast<std::uint32_t>(*current);
    return (changed & ~kSystemFlagBits) == 0;
}

bool DependsOnCurrentValue(const brindle::Command& command) {
    const WriteRule* rule = RuleFor(command);
    // A value of flag bits alone passes whatever the register holds.
    return rule != nullptr && rule->flagRegister && !MaySetSystemFlags(command.value, std::nullopt);
}

std::string CurrentValueCommand(const brindle::Command& command) {
    return command.nameSpace + ":Q:" + command.className + ":" + command.property + ":" +
           brindle::DecimalText(command.instance);
}

std::optional<std::int32_t> ValueFromReply(std::string_view reply) {
    if (!brindle::IsDecimalNumber(reply)) return std::nullopt;
    std::string_view digits = reply;
    if (digits.front() == '+' || digits.front() == '-') digits.remove_prefix(1);
    // Leading zeros aside, more than ten digits is out of range for certain.
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    if (digits.size() > 10) return std::nullopt;
    std::int64_t magnitude = 0;
    for (char c : digits) magnitude = magnitude * 10 + (c - '0');
    const std::int64_t value = reply.front() == '-' ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

bool MayExecute(const brindle::Command& command, std::optional<std::int32_t> current) {
    switch (command.kind) {
    case brindle::CommandKind::Read: return MayRead(command);
    case brindle::CommandKind::Write: return MayWrite(command, current);
    case brindle::CommandKind::NoAction:
    case brindle::CommandKind::Malformed: return true;
    }
    return false;
}

RequestDecision DecideRequest(const unsigned char* bytes, std::size_t received, bool truncated,
                              const CurrentValueReader& readCurrent) {
    RequestDecision decision;
    if (bytes == nullptr || truncated || received == 0 || received > kRequestSize) return decision;
    const void* zero = std::memchr(bytes, 0, received);
    if (zero == nullptr) return decision;
    std::string command(reinterpret_cast<const char*>(bytes), static_cast<const unsigned char*>(zero) - bytes);
    const brindle::Command parsed = brindle::ParseCommand(command);
    if (parsed.kind == brindle::CommandKind::Malformed) return decision;
    std::optional<std::int32_t> current;
    if (readCurrent && DependsOnCurrentValue(parsed))
        current = ValueFromReply(readCurrent(CurrentValueCommand(parsed)));
    decision.verdict = MayExecute(parsed, current) ? Verdict::Execute : Verdict::Denied;
    decision.command = std::move(command);
    return decision;
}

// ---- reply ----------------------------------------------------------------

void FitReply(const char* text, std::size_t textCapacity, char (&reply)[kReplySize], LeadBytePredicate isLeadByte) {
    const std::size_t available = text ? strnlen(text, textCapacity) : 0;
    const std::size_t limit = std::min(available, kReplySize - 1);
    std::size_t length = 0;
    while (length < limit) {
        const auto c = static_cast<unsigned char>(text[length]);
        const std::size_t width = (isLeadByte && isLeadByte(c) && length + 1 < available) ? 2 : 1;
        if (length + width > limit) break;
        length += width;
    }
    if (length > 0) std::memcpy(reply, text, length);
    std::memset(reply + length, 0, kReplySize - length);
}

// ---- service status -------------------------------------------------------

StatusReport StatusSequence::Next(ServiceState state, std::uint32_t exitCode, std::uint32_t waitHint) {
    StatusReport report{};
    report.state = state;
    report.controlsAccepted = state == ServiceState::StartPending ? 0 : kAcceptStop;
    report.exitCode = exitCode;
    report.waitHint = waitHint;
    report.checkpoint =
        (state == ServiceState::Running || state == ServiceState::Stopped) ? 0 : m_nextCheckpoint++;
    return report;
}

// ---- error text -----------------------------------------------------------

std::string FormatErrorText(std::string_view message, std::uint32_t code, std::size_t areaSize) {
    if (message.empty() || areaSize < message.size() + 14) return {};
    // System messages end with a line break; drop it (at most two characters).
    for (int i = 0; i < 2 && !message.empty() && (message.back() == '\n' || message.back() == '\r'); ++i)
        message.remove_suffix(1);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, " (0x%x)", static_cast<unsigned>(code));
    return std::string(message) + suffix;
}

std::string EventLogHeading(std::string_view serviceName, std::uint32_t code) {
    char heading[128];
    std::snprintf(heading, 116, "%.*s error: %d", static_cast<int>(serviceName.size()), serviceName.data(),
                  static_cast<int>(code));
    return heading;
}

}  // namespace harrowd
