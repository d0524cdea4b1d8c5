// Platform-free decisions of the command service: the command line, the
// console texts, the guard in front of the parser (which requests are served
// at all and with whose rights), the reply bounds, the status checkpoints and
// the status record both service threads report, and the error text. No
// Windows header here, so all of it is tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "command.h"

namespace harrowd {

// Service name, display name and event-log source.
inline constexpr char kServiceName[] = "Zelmont CVN";
inline constexpr char kDefaultPipeName[] = "\\\\.\\pipe\\simple";

// Exchange format: one request message of at most 80 bytes holding a
// zero-terminated command string, one reply message of exactly 180 bytes.
inline constexpr std::size_t kRequestSize = 80;
inline constexpr std::size_t kReplySize = 180;

inline constexpr char kMalformedReply[] = "Please input correct parameter !";
inline constexpr char kDeniedReply[] = "WBEM_E_ACCESS_DENIED";

// ---- command line ---------------------------------------------------------

enum class ConsoleCommand { None, Install, Remove, Debug, Start, Stop };

// A switch is "-" or "/" followed by one of the command words in any letter
// case; anything else (including nullptr) is None.
ConsoleCommand MatchSwitch(const char* arg);

// The usage block printed before the dispatcher is started.
std::string UsageText(std::string_view serviceName);

// The pipe name: the default, or the name after the last "-pipe" switch
// ("-" or "/", any letter case) among argv[1..argc-2]; a switch in the last
// position has no name after it and is ignored.
std::string PipeNameFromArgs(int argc, const char* const* argv);

// Console texts of the service commands (printf formats, %s = service name
// or the system's error text).
namespace text {
inline constexpr char kUnableToInstall[] = "Unable to install %s - %s\n";
inline constexpr char kOpenScmFailed[] = "OpenSCManager failed - %s\n";
inline constexpr char kOpenServiceFailed[] = "OpenService failed - %s\n";
inline constexpr char kCreateServiceFailed[] = "CreateService failed - %s\n";
inline constexpr char kStartServiceFailed[] = "StartService failed - %s\n";
inline constexpr char kStopServiceFailed[] = "StopService failed - %s\n";
inline constexpr char kDeleteServiceFailed[] = "DeleteService failed - %s\n";
inline constexpr char kInstalled[] = "%s installed.\n";
inline constexpr char kStarted[] = "%s started.\n";
inline constexpr char kStopping[] = "Stopping %s.";
inline constexpr char kStoppingDot[] = ".";
inline constexpr char kStopped[] = "\n%s stopped.\n";
inline constexpr char kFailedToStop[] = "\n%s failed to stop.\n";
inline constexpr char kRemoved[] = "%s removed.\n";
inline constexpr char kDebugging[] = "Debugging %s.\n";
inline constexpr char kConsoleStop[] = "Stopping %s.\n";
}  // namespace text

// How long the stop and remove commands wait for the service to leave the
// stop-pending state before they report that it failed to stop.
inline constexpr unsigned kStopWaitLimitMs = 20000;

// ---- request guard --------------------------------------------------------

enum class Verdict {
    Malformed,  // answered with kMalformedReply, the parser is not run
    Denied,     // answered with kDeniedReply, WMI is not touched
    Execute,    // handed to the parser
};

struct RequestDecision {
    Verdict verdict = Verdict::Malformed;
    std::string command;  // the command string for Execute, without its terminator
};

// Reads the current value of the object a write is about to change: gets the
// read command of that object (see CurrentValueCommand) and returns the reply
// text the parser gives to it.
using CurrentValueReader = std::function<std::string(const std::string& readCommand)>;

// Decides what to do with one request message. `received` is the number of
// bytes the read actually delivered into `bytes`; `truncated` says the
// message was longer than the read. Only those bytes count: an empty message,
// one without a zero byte among them or one longer than kRequestSize is
// malformed, and so is a command string that breaks the command grammar.
// A well-formed read or write then has to pass the rights check (MayExecute);
// for a write whose check depends on the value it replaces
// (DependsOnCurrentValue), `readCurrent` is asked for that value first. Without
// a reader, or when the value cannot be read, the check goes without it.
RequestDecision DecideRequest(const unsigned char* bytes, std::size_t received, bool truncated,
                              const CurrentValueReader& readCurrent = {});

// The rights check of a parsed command: exactly the reads and writes the
// system itself sends, nothing wider.
// - reads: any property and instance of the firmware's classes in root\WMI,
//   and of Win32_BIOS in root\CIMV2;
// - writes: ZEL_System.System instance 1 with a value of flag bits only, or
//   one that changes only the flag bits of `current`, the value it replaces
//   (see MaySetSystemFlags), and ZEL_Software.Software instance 0 with 0 or 1.
// Namespace, class and property are compared without regard to letter case,
// as WMI compares them. Instance and value are the numbers ParseCommand read
// with brindle::ReadLeadingNumber, the numbers the parser then acts on, so the
// check and the action cannot disagree. "M" does nothing and passes; a
// malformed command never reaches WMI and passes too.
bool MayExecute(const brindle::Command& command, std::optional<std::int32_t> current = std::nullopt);

// True for the writes whose rights check takes the value they replace: flag
// register writes of more than the flag bits (a value of flag bits alone
// passes without it, so the register is not read for it).
bool DependsOnCurrentValue(const brindle::Command& command);

// The read command of the object a command names: same namespace, class,
// property and instance, operation "Q".
std::string CurrentValueCommand(const brindle::Command& command);

// The value a read reply holds: a whole decimal number (optional sign, digits,
// nothing else) within the 32-bit range; nothing for any other reply (error
// texts, empty values, numbers out of range).
std::optional<std::int32_t> ValueFromReply(std::string_view reply);

// The flag bits of ZEL_System.System instance 1 (ECO, touchpad, theater and
// the rest up to 0x10); the bits above them are the firmware's own.
inline constexpr std::uint32_t kSystemFlagBits = 0x1F;

// Whether `value` may be written over ZEL_System.System instance 1, whose
// value now is `current` (nothing when it could not be read). The system
// changes that register by read-modify-write: setting a flag keeps every bit
// above the flag bits as it found them, clearing one ANDs the value with a
// mask of flag bits only. So a write may differ from the current value in the
// flag bits only, or consist of flag bits only (0 to 31, the one rule left
// when the current value is unknown).
bool MaySetSystemFlags(std::int32_t value, std::optional<std::int32_t> current);

// The firmware's data classes in root\WMI.
bool IsFirmwareClass(std::string_view name);

// ---- reply ----------------------------------------------------------------

using LeadBytePredicate = bool (*)(unsigned char);

// Fills the 180-byte reply area from the parser's text: at most 179 bytes of
// text, never cutting a double-byte character in two (`isLeadByte` tells the
// lead bytes of the code page; nullptr means a single-byte code page), then
// zero bytes to the end of the area. `text` is read up to its terminator or
// `textCapacity` bytes, whichever comes first.
void FitReply(const char* text, std::size_t textCapacity, char (&reply)[kReplySize],
              LeadBytePredicate isLeadByte);

// ---- service status -------------------------------------------------------

// Service states and the stop control, with the service control manager's values.
enum class ServiceState : std::uint32_t {
    Stopped = 1,
    StartPending = 2,
    StopPending = 3,
    Running = 4,
};
inline constexpr std::uint32_t kAcceptStop = 1;

struct StatusReport {
    ServiceState state;
    std::uint32_t controlsAccepted;
    std::uint32_t exitCode;
    std::uint32_t checkpoint;
    std::uint32_t waitHint;
};

// Builds the successive status reports of one service run: pending states
// take the next checkpoint (starting at 1), running and stopped have
// checkpoint 0; nothing is accepted while starting, only stop otherwise.
class StatusSequence {
public:
    StatusReport Next(ServiceState state, std::uint32_t exitCode, std::uint32_t waitHint);

private:
    std::uint32_t m_nextCheckpoint = 1;
};

// The status record of one service run, shared by the serving thread (its
// state changes) and the control handler's thread (its repeats of the current
// state). Each report is built from the record and sent while one lock is
// held, so the reports reach the service control manager in the order the
// state changed: a repeat can never send a state older than one already sent.
// `Lock` is any type with lock() and unlock(); `send` takes the StatusReport
// and returns whether it was delivered.
template <class Lock>
class StatusKeeper {
public:
    // Makes `state` the current state and reports it.
    template <class Send>
    bool Report(ServiceState state, std::uint32_t exitCode, std::uint32_t waitHint, Send&& send) {
        const std::lock_guard<Lock> guard(m_lock);
        m_state = state;
        return send(m_sequence.Next(state, exitCode, waitHint));
    }

    // Reports the current state again, with exit code 0 and wait hint 0 (the
    // answer to every control but stop). Before the first report there is no
    // state yet and nothing is sent; that counts as success.
    template <class Send>
    bool Repeat(Send&& send) {
        const std::lock_guard<Lock> guard(m_lock);
        if (!m_state) return true;
        return send(m_sequence.Next(*m_state, 0, 0));
    }

private:
    Lock m_lock;
    StatusSequence m_sequence;
    std::optional<ServiceState> m_state;
};

// ---- recovery -------------------------------------------------------------

// What the service control manager does when the service ends without
// reporting that it stopped, with the manager's values.
enum class RecoveryAction : std::uint32_t { None = 0, Restart = 1 };

struct FailureStep {
    RecoveryAction action;
    std::uint32_t delayMs;  // after the failure, before the action is taken
};

// The service's failure actions: the manager takes step n for the n-th
// failure since the count was last reset, and the last step for every later
// one; the count is reset after `resetPeriodSeconds` without a failure.
struct FailurePolicy {
    std::uint32_t resetPeriodSeconds;
    FailureStep steps[4];
};

// Restarted a few seconds after each of its first three failures within a
// day, so a crash costs the tray program's commands only a short gap; a
// service that keeps failing after that is left stopped (its errors are in
// the event log) rather than restarted for ever.
inline constexpr FailurePolicy kFailurePolicy = {
    24 * 60 * 60,
    {{RecoveryAction::Restart, 5000},
     {RecoveryAction::Restart, 5000},
     {RecoveryAction::Restart, 5000},
     {RecoveryAction::None, 0}},
};

// ---- error text -----------------------------------------------------------

// The system's message for an error code as the console commands print it:
// the message without its line break, a blank and "(0x<code>)". Empty when
// there is no message or when it would not fit an area of `areaSize` bytes
// (the message must leave room for 14 more bytes).
std::string FormatErrorText(std::string_view message, std::uint32_t code, std::size_t areaSize);

// The first string of an event-log error entry: "<name> error: <code>",
// at most 115 characters.
std::string EventLogHeading(std::string_view serviceName, std::uint32_t code);

}  // namespace harrowd
