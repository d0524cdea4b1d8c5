#include "service_core.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace harrowd;

TEST(Switches, CommandWordsAfterDashOrSlashInAnyCase) {
    const struct {
        const char* arg;
        ConsoleCommand expected;
    } cases[] = {
        {"-install", ConsoleCommand::Install}, {"/INSTALL", ConsoleCommand::Install},
        {"-InStAlL", ConsoleCommand::Install}, {"/remove", ConsoleCommand::Remove},
        {"-DEBUG", ConsoleCommand::Debug},     {"-start", ConsoleCommand::Start},
        {"/Stop", ConsoleCommand::Stop},       {"install", ConsoleCommand::None},
        {"-installs", ConsoleCommand::None},   {"--install", ConsoleCommand::None},
        {"-", ConsoleCommand::None},           {"", ConsoleCommand::None},
        {"-pipe", ConsoleCommand::None},       {nullptr, ConsoleCommand::None},
    };
    for (const auto& c : cases) EXPECT_EQ(MatchSwitch(c.arg), c.expected) << (c.arg ? c.arg : "(null)");
}

TEST(Switches, UsageBlock) {
    EXPECT_EQ(UsageText("Zelmont CVN"),
              "Zelmont CVN -install          to install the service\n"
              "Zelmont CVN -start          to start the service\n"
              "Zelmont CVN -stop          to stop the service\n"
              "Zelmont CVN -remove           to remove the service\n"
              "Zelmont CVN -debug <params>   to run as a console app for debugging\n"
              "\n"
              "StartServiceCtrlDispatcher being called.\n"
              "This may take several seconds.  Please wait.\n");
}

TEST(Switches, PipeNameArgument) {
    const struct {
        std::vector<const char*> args;
        std::string expected;
    } cases[] = {
        {{"h"}, "\\\\.\\pipe\\simple"},
        {{"h", "-debug", "-pipe", "\\\\.\\pipe\\a"}, "\\\\.\\pipe\\a"},
        {{"h", "/PIPE", "\\\\.\\pipe\\b"}, "\\\\.\\pipe\\b"},
        {{"h", "-debug", "-pipe"}, "\\\\.\\pipe\\simple"},  // no name after it
        {{"h", "-pipe", "\\\\.\\pipe\\a", "-Pipe", "\\\\.\\pipe\\b"}, "\\\\.\\pipe\\b"},
        {{"h", "-pipes", "\\\\.\\pipe\\a"}, "\\\\.\\pipe\\simple"},
        {{"h", "pipe", "\\\\.\\pipe\\a"}, "\\\\.\\pipe\\simple"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PipeNameFromArgs(static_cast<int>(c.args.size()), c.args.data()), c.expected)
            << c.args.size() << " arguments";
}

namespace {

// A request as the pipe delivers it: `text`, its terminator when asked for,
// then zero padding up to `received` bytes.
std::vector<unsigned char> Message(const std::string& text, std::size_t received, bool terminated = true) {
    std::vector<unsigned char> bytes(text.begin(), text.end());
    if (terminated) bytes.push_back(0);
    if (bytes.size() < received) bytes.resize(received, 0);
    return bytes;
}

}  // namespace

TEST(RequestGuard, CommandsTheSystemSendsAreExecuted) {
    for (const char* command : {
             "root\\WMI:Q:ZEL_Device:Device:0",
             "root\\WMI:Q:ZEL_System:System:0",
             "root\\WMI:Q:ZEL_System:System:1",
             "root\\WMI:Q:ZEL_AP:AP:1",
             "root\\WMI:S:ZEL_Software:Software:0:1",
             "root\\WMI:S:ZEL_Software:Software:0:0",
             "root\\WMI:S:ZEL_System:System:1:6",
             "root\\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0",
         }) {
        const auto bytes = Message(command, kRequestSize);
        const RequestDecision d = DecideRequest(bytes.data(), bytes.size(), false);
        EXPECT_EQ(d.verdict, Verdict::Execute) << command;
        EXPECT_EQ(d.command, command);
    }
}

TEST(RequestGuard, MessagesOutsideTheExchangeAreMalformed) {
    const std::string valid = "root\\WMI:Q:ZEL_Device:Device:0";
    const auto full = Message(valid, kRequestSize);
    const auto unterminated80 = std::vector<unsigned char>(kRequestSize, 'A');
    const auto oversize = Message(valid, kRequestSize + 1);
    const auto noZero = Message(valid, 0, false);
    const struct {
        const char* name;
        const unsigned char* bytes;
        std::size_t received;
        bool truncated;
    } cases[] = {
        {"empty message", full.data(), 0, false},
        {"80 bytes without a zero", unterminated80.data(), unterminated80.size(), false},
        {"longer than the read", full.data(), full.size(), true},
        {"more than 80 bytes delivered", oversize.data(), oversize.size(), false},
        {"short message without a zero", noZero.data(), noZero.size(), false},
        // The terminator lies beyond what was received: stale bytes never count.
        {"terminator not received", full.data(), valid.size(), false},
        {"no buffer", nullptr, 10, false},
    };
    for (const auto& c : cases) {
        const RequestDecision d = DecideRequest(c.bytes, c.received, c.truncated);
        EXPECT_EQ(d.verdict, Verdict::Malformed) << c.name;
        EXPECT_TRUE(d.command.empty()) << c.name;
    }
}

TEST(RequestGuard, ShortTerminatedMessageCounts) {
    const auto bytes = Message("root\\WMI:Q:ZEL_Device:Device:0", 0);
    EXPECT_EQ(DecideRequest(bytes.data(), bytes.size(), false).verdict, Verdict::Execute);
}

TEST(RequestGuard, RightsCheck) {
    const struct {
        const char* command;
        Verdict expected;
    } cases[] = {
        // Letter case of namespace, class and property does not matter to WMI, nor here.
        {"ROOT\\wmi:Q:zel_device:Device:0", Verdict::Execute},
        {"root\\wmi:S:zel_system:system:1:4", Verdict::Execute},
        {"root\\cimv2:Q:WIN32_BIOS:Manufacturer:0", Verdict::Execute},
        // Firmware state is no secret: any property and instance may be read,
        // and the parser's reply to a wrong one stays visible.
        {"root\\WMI:Q:ZEL_AP:Nothing:7", Verdict::Execute},
        {"root\\WMI:Q:ZEL_Software:Software:0", Verdict::Execute},
        {"root\\WMI:M:anything", Verdict::Execute},  // does nothing
        // Instance and value as the parser reads them: blanks, sign, leading
        // zeros and trailing text give the number the parser then writes.
        {"root\\WMI:S:ZEL_System:System: 1:+31", Verdict::Execute},
        {"root\\WMI:S:ZEL_System:System:01:007", Verdict::Execute},
        {"root\\WMI:S:ZEL_System:System:1x:4abc", Verdict::Execute},
        {"root\\WMI:S:ZEL_System:System:1:0", Verdict::Execute},
        {"root\\WMI:S:ZEL_Software:Software:0:0x5", Verdict::Execute},  // reads as 0
        // Values beyond the flag bits, other instances, other properties.
        {"root\\WMI:S:ZEL_System:System:1:32", Verdict::Denied},
        {"root\\WMI:S:ZEL_System:System:1:-1", Verdict::Denied},
        {"root\\WMI:S:ZEL_System:System:1:4294967300", Verdict::Denied},  // saturates, no wrap
        {"root\\WMI:S:ZEL_System:System:0:2", Verdict::Denied},
        {"root\\WMI:S:ZEL_System:InstanceName:1:1", Verdict::Denied},
        {"root\\WMI:S:ZEL_Software:Software:0:2", Verdict::Denied},
        {"root\\WMI:S:ZEL_Software:Software:1:1", Verdict::Denied},
        {"root\\WMI:S:ZEL_Device:Device:0:9", Verdict::Denied},
        {"root\\WMI:S:ZEL_AP:AP:1:99", Verdict::Denied},
        // Writes outside the firmware's classes.
        {"root\\CIMV2:S:Win32_BIOS:SMBIOSBIOSVersion:0:1", Verdict::Denied},
        {"root\\WMI:S:WmiMonitorBrightnessMethods:Active:0:1", Verdict::Denied},
        {"root\\WMI:S:ZEL_Event:ZELEvt:0:1", Verdict::Denied},
        {"root\\WMI:S:ZEL_System_Extra:System:1:1", Verdict::Denied},
        // Reads of anything else: other users' processes, huge classes,
        // other firmware-side classes, the BIOS class in the other namespace.
        {"root\\CIMV2:Q:Win32_Process:CommandLine:0", Verdict::Denied},
        {"root\\CIMV2:Q:CIM_DataFile:Name:0", Verdict::Denied},
        {"root\\CIMV2:Q:Win32_OperatingSystem:Caption:0", Verdict::Denied},
        {"root\\WMI:Q:WmiMonitorBrightness:CurrentBrightness:0", Verdict::Denied},
        {"root\\WMI:Q:ZEL_Event:ZELEvt:0", Verdict::Denied},
        {"root\\WMI:Q:Win32_BIOS:Name:0", Verdict::Denied},
        {"root\\CIMV2:Q:ZEL_Device:Device:0", Verdict::Denied},
        // Other namespaces, or the same ones spelt differently.
        {"root\\default:Q:StdRegProv:x:0", Verdict::Denied},
        {"root\\SECURITY:Q:__SystemSecurity:x:0", Verdict::Denied},
        {"\\\\server\\root\\WMI:Q:ZEL_Device:Device:0", Verdict::Denied},
        {"root\\WMI :Q:ZEL_Device:Device:0", Verdict::Denied},
        {":Q:ZEL_Device:Device:0", Verdict::Denied},
        // Query text smuggled in through the class field.
        {"root\\WMI:Q:ZEL_Device where Device=1:Device:0", Verdict::Denied},
        {"root\\CIMV2:Q:Win32_Process,Win32_BIOS:Name:0", Verdict::Denied},
        {"root\\CIMV2:Q:Win32_BIOS\t:Name:0", Verdict::Denied},
        {"root\\WMI:S:ZEL_System--:System:1:1", Verdict::Denied},
        // Grammar faults are answered as such, whatever the namespace.
        {"root\\default:Q:StdRegProv:x", Verdict::Malformed},
        {"root\\WMI:q:ZEL_Device:Device:0", Verdict::Malformed},
        {"root\\WMI:S:ZEL_System:System:1:", Verdict::Malformed},
        {"root\\CIMV2:Q:Win32_Process:CommandLine:-1", Verdict::Malformed},
        {"no colon at all", Verdict::Malformed},
    };
    for (const auto& c : cases) {
        const auto bytes = Message(c.command, kRequestSize);
        EXPECT_EQ(DecideRequest(bytes.data(), bytes.size(), false).verdict, c.expected) << c.command;
    }
}

TEST(RequestGuard, SystemFlagWritesChangeOnlyTheFlagBitsOfTheCurrentValue) {
    const struct {
        std::int32_t value;
        std::optional<std::int32_t> current;
        bool allowed;
    } cases[] = {
        // A register with a bit above the flags (0x25), written as the tray does:
        {37, 37, true},  // a flag set: the bits above the flags kept
        {4, 37, true},   // ECO cleared with the keep mask 0x1E, the bit above dropped
        {1, 37, true},   // theater cleared with the keep mask 0x1B
        // ... and as it might, changing only flag bits.
        {33, 37, true},
        {63, 37, true},
        // Bits above the flags other than the register's.
        {64, 37, false},
        {101, 37, false},
        {96, 37, false},
        {32, 4, false},
        {-1, 4, false},
        {-1, -1, true},  // nothing but what is there
        {0, 0, true},
        {31, 4, true},
        // Current value unknown: the flag bits only.
        {0, std::nullopt, true},
        {31, std::nullopt, true},
        {32, std::nullopt, false},
        {37, std::nullopt, false},
        {-1, std::nullopt, false},
        {INT32_MIN, std::nullopt, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MaySetSystemFlags(c.value, c.current), c.allowed)
            << c.value << " over " << (c.current ? std::to_string(*c.current) : "unknown");
}

TEST(RequestGuard, CurrentValueOnlyFromAWholeNumberReply) {
    const struct {
        const char* reply;
        std::optional<std::int32_t> value;
    } cases[] = {
        {"37", 37},
        {"0", 0},
        {"+5", 5},
        {"-3", -3},
        {"007", 7},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},  // out of range: no saturated stand-in
        {"4294967295", std::nullopt},
        {"00000000000000000001", 1},
        {"", std::nullopt},
        {"-", std::nullopt},
        {" 37", std::nullopt},
        {"37 ", std::nullopt},
        {"3x", std::nullopt},
        {"WBEM_E_NOT_FOUND", std::nullopt},
        {"Physical Instance = 0, Can't get any data.", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ValueFromReply(c.reply), c.value) << '"' << c.reply << '"';
}

TEST(RequestGuard, SystemFlagWriteIsCheckedAgainstTheValueItReplaces) {
    const struct {
        const char* command;
        const char* reply;  // the parser's reply to the read
        const char* read;  // the read command the guard runs first, or nullptr for none
        Verdict expected;
    } cases[] = {
        {"root\\WMI:S:ZEL_System:System:1:37", "37", "root\\WMI:Q:ZEL_System:System:1", Verdict::Execute},
        {"root\\WMI:S:ZEL_System:System:1:33", "37", "root\\WMI:Q:ZEL_System:System:1", Verdict::Execute},
        {"root\\WMI:S:ZEL_System:System:1:64", "37", "root\\WMI:Q:ZEL_System:System:1", Verdict::Denied},
        {"root\\WMI:S:ZEL_System:System:1:100", "37", "root\\WMI:Q:ZEL_System:System:1", Verdict::Denied},
        // Spelt as the parser reads it; the read names the same object.
        {"ROOT\\wmi:S:zel_system:SYSTEM:01:+33", "37", "ROOT\\wmi:Q:zel_system:SYSTEM:1", Verdict::Execute},
        // The current value cannot be read: 0 to 31.
        {"root\\WMI:S:ZEL_System:System:1:37", "WBEM_E_NOT_FOUND", "root\\WMI:Q:ZEL_System:System:1",
         Verdict::Denied},
        // Flag bits alone pass whatever the register holds: nothing is read.
        {"root\\WMI:S:ZEL_System:System:1:5", "", nullptr, Verdict::Execute},
        {"root\\WMI:S:ZEL_System:System:1:4", "37", nullptr, Verdict::Execute},
        // Other requests read nothing first, whatever the reader would say.
        {"root\\WMI:S:ZEL_Software:Software:0:1", "37", nullptr, Verdict::Execute},
        {"root\\WMI:S:ZEL_System:System:0:37", "37", nullptr, Verdict::Denied},
        {"root\\CIMV2:S:ZEL_System:System:1:37", "37", nullptr, Verdict::Denied},
        {"root\\WMI:Q:ZEL_System:System:1", "37", nullptr, Verdict::Execute},
        {"root\\WMI:M:ZEL_System:System:1:37", "37", nullptr, Verdict::Execute},
    };
    for (const auto& c : cases) {
        std::vector<std::string> asked;
        const auto bytes = Message(c.command, kRequestSize);
        const RequestDecision d =
            DecideRequest(bytes.data(), bytes.size(), false, [&](const std::string& readCommand) {
                asked.push_back(readCommand);
                return std::string(c.reply);
            });
        EXPECT_EQ(d.verdict, c.expected) << c.command;
        EXPECT_EQ(asked, c.read ? std::vector<std::string>{c.read} : std::vector<std::string>{}) << c.command;
    }
}

namespace {

// A double-byte code page in the manner of the East Asian ones.
bool LeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

std::string ReplyText(const char (&reply)[kReplySize]) { return std::string(reply, strnlen(reply, kReplySize)); }

}  // namespace

TEST(Reply, AlwaysTerminatedWithinTheAreaAndZeroFilled) {
    const struct {
        std::string text;
        std::size_t capacity;
        LeadBytePredicate lead;
        std::string expected;
    } cases[] = {
        {"7", 260, nullptr, "7"},
        {std::string(179, 'a'), 260, nullptr, std::string(179, 'a')},
        {std::string(259, 'a'), 260, nullptr, std::string(179, 'a')},
        // A double-byte character that would straddle the limit is dropped whole.
        {std::string(178, 'a') + "\x88\x41tail", 260, LeadByte, std::string(178, 'a')},
        {std::string(177, 'a') + "\x88\x41tail", 260, LeadByte, std::string(177, 'a') + "\x88\x41"},
        // Single-byte code page: the same bytes are plain characters.
        {std::string(178, 'a') + "\x88\x41tail", 260, nullptr, std::string(178, 'a') + "\x88"},
        // A lone lead byte before the terminator is one character.
        {"ab\x88", 260, LeadByte, "ab\x88"},
        // Text without a terminator within its area stops at the area's end.
        {"abcdef", 3, nullptr, "abc"},
    };
    for (const auto& c : cases) {
        std::vector<char> source(c.text.begin(), c.text.end());
        source.push_back(0);
        char reply[kReplySize];
        std::memset(reply, 'x', sizeof reply);
        FitReply(source.data(), std::min(c.capacity, source.size()), reply, c.lead);
        EXPECT_EQ(ReplyText(reply), c.expected) << c.text.size() << " bytes";
        for (std::size_t i = c.expected.size(); i < kReplySize; ++i) ASSERT_EQ(reply[i], 0) << "byte " << i;
    }
}

TEST(Status, CheckpointsAndAcceptedControlsOfOneRun) {
    StatusSequence sequence;
    const struct {
        ServiceState state;
        std::uint32_t checkpoint;
        std::uint32_t accepted;
    } run[] = {
        {ServiceState::StartPending, 1, 0}, {ServiceState::StartPending, 2, 0}, {ServiceState::StartPending, 3, 0},
        {ServiceState::StartPending, 4, 0}, {ServiceState::StartPending, 5, 0}, {ServiceState::Running, 0, kAcceptStop},
        {ServiceState::Running, 0, kAcceptStop}, {ServiceState::StopPending, 6, kAcceptStop},
        {ServiceState::Stopped, 0, kAcceptStop},
    };
    for (const auto& step : run) {
        const StatusReport r = sequence.Next(step.state, 5, 3000);
        EXPECT_EQ(r.state, step.state);
        EXPECT_EQ(r.checkpoint, step.checkpoint);
        EXPECT_EQ(r.controlsAccepted, step.accepted);
        EXPECT_EQ(r.exitCode, 5u);
        EXPECT_EQ(r.waitHint, 3000u);
    }
}

namespace {

// What the service control manager receives, in order. It takes reports from
// any thread, so it keeps its own lock.
class ReportLog {
public:
    bool Send(const StatusReport& report) {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_reports.push_back(report);
        return true;
    }
    auto Sender() {
        return [this](const StatusReport& report) { return Send(report); };
    }
    std::vector<StatusReport> Reports() {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_reports;
    }

private:
    std::mutex m_lock;
    std::vector<StatusReport> m_reports;
};

// Position of a state in the life of one run.
int Stage(ServiceState state) {
    switch (state) {
    case ServiceState::StartPending: return 1;
    case ServiceState::Running: return 2;
    case ServiceState::StopPending: return 3;
    case ServiceState::Stopped: return 4;
    }
    return 0;  // no state the manager knows
}

}  // namespace

TEST(Status, RepeatsTheCurrentStateAndNothingBeforeTheFirst) {
    StatusKeeper<std::mutex> keeper;
    ReportLog log;
    EXPECT_TRUE(keeper.Repeat(log.Sender()));
    EXPECT_TRUE(log.Reports().empty());

    keeper.Report(ServiceState::StartPending, 0, 3000, log.Sender());
    keeper.Repeat(log.Sender());
    keeper.Report(ServiceState::Running, 0, 1000, log.Sender());
    keeper.Repeat(log.Sender());
    keeper.Report(ServiceState::Stopped, 7, 0, log.Sender());
    const struct {
        ServiceState state;
        std::uint32_t checkpoint, exitCode, waitHint;
    } expected[] = {
        {ServiceState::StartPending, 1, 0, 3000}, {ServiceState::StartPending, 2, 0, 0},
        {ServiceState::Running, 0, 0, 1000},      {ServiceState::Running, 0, 0, 0},
        {ServiceState::Stopped, 0, 7, 0},
    };
    const auto reports = log.Reports();
    ASSERT_EQ(reports.size(), std::size(expected));
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].state, expected[i].state) << "report " << i;
        EXPECT_EQ(reports[i].checkpoint, expected[i].checkpoint) << "report " << i;
        EXPECT_EQ(reports[i].exitCode, expected[i].exitCode) << "report " << i;
        EXPECT_EQ(reports[i].waitHint, expected[i].waitHint) << "report " << i;
    }
    EXPECT_FALSE(keeper.Repeat([](const StatusReport&) { return false; })) << "an undelivered report counts";
}

TEST(Status, RepeatsRacingTheStateChangesNeverGoBack) {
    // The serving thread runs through the states of a run while the control
    // handler's thread repeats the current state as fast as it can.
    constexpr int kRuns = 100;
    for (int run = 0; run < kRuns; ++run) {
        StatusKeeper<std::mutex> keeper;
        ReportLog log;
        std::atomic<bool> started{false}, finished{false};
        std::thread handler([&] {
            started = true;
            while (!finished) keeper.Repeat(log.Sender());
        });
        while (!started) std::this_thread::yield();
        for (ServiceState state : {ServiceState::StartPending, ServiceState::StartPending, ServiceState::Running,
                                   ServiceState::StopPending, ServiceState::Stopped}) {
            keeper.Report(state, 0, 0, log.Sender());
            std::this_thread::yield();
        }
        finished = true;
        handler.join();
        const auto reports = log.Reports();
        ASSERT_FALSE(reports.empty());
        ASSERT_EQ(reports.front().state, ServiceState::StartPending) << "run " << run;
        for (std::size_t i = 1; i < reports.size(); ++i)
            ASSERT_GE(Stage(reports[i].state), Stage(reports[i - 1].state)) << "run " << run << ", report " << i;
    }
}

TEST(ErrorText, SystemMessageWithCode) {
    const struct {
        std::string message;
        std::uint32_t code;
        std::string expected;
    } cases[] = {
        {"Access denied.\r\n", 5, "Access denied. (0x5)"},
        {"The specified service does not exist as an installed service.\r\n", 1060,
         "The specified service does not exist as an installed service. (0x424)"},
        {"No line break", 2, "No line break (0x2)"},
        {"", 1060, ""},
        {std::string(240, 'm') + "\r\n", 1, std::string(240, 'm') + " (0x1)"},  // 242 characters fit
        {std::string(241, 'm') + "\r\n", 1, ""},                                // 243 do not
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatErrorText(c.message, c.code, 256), c.expected) << c.message.size() << " characters";
}

TEST(ErrorText, EventLogHeadingIsBounded) {
    EXPECT_EQ(EventLogHeading("Zelmont CVN", 5), "Zelmont CVN error: 5");
    EXPECT_EQ(EventLogHeading(std::string(300, 'n'), 5).size(), 115u);
}

// The step the service control manager takes for the n-th failure within the
// reset period: step n, the last step for any later failure.
static harrowd::FailureStep StepForFailure(const harrowd::FailurePolicy& policy, std::size_t n) {
    const std::size_t count = std::size(policy.steps);
    return policy.steps[(n < count ? n : count) - 1];
}

TEST(Recovery, RestartedAfterAFewSecondsAFewTimesADay) {
    using harrowd::RecoveryAction;
    const harrowd::FailurePolicy& policy = harrowd::kFailurePolicy;
    EXPECT_EQ(policy.resetPeriodSeconds, 86400u);
    const struct {
        std::size_t failure;
        RecoveryAction action;
    } cases[] = {
        {1, RecoveryAction::Restart}, {2, RecoveryAction::Restart}, {3, RecoveryAction::Restart},
        {4, RecoveryAction::None},    {5, RecoveryAction::None},    {100, RecoveryAction::None},
    };
    for (const auto& c : cases) {
        const harrowd::FailureStep step = StepForFailure(policy, c.failure);
        EXPECT_EQ(step.action, c.action) << "failure " << c.failure;
        if (step.action == RecoveryAction::Restart) {
            // Long enough for a crashed process to be gone and its pipe freed,
            // short enough that the tray program's next command finds it back.
            EXPECT_GE(step.delayMs, 1000u) << "failure " << c.failure;
            EXPECT_LE(step.delayMs, 10000u) << "failure " << c.failure;
        }
    }
}
