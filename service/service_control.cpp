// Service control of Harrowd: the command line (install, remove, start,
// stop, debug), the service entry with its status reports, the control
// handlers and the error reporting.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "failure_actions.h"
#include "service_control.h"
#include "service_core.h"
#include "win_handles.h"

namespace harrowd {
namespace {

static_assert(static_cast<DWORD>(ServiceState::Stopped) == SERVICE_STOPPED);
static_assert(static_cast<DWORD>(ServiceState::StartPending) == SERVICE_START_PENDING);
static_assert(static_cast<DWORD>(ServiceState::StopPending) == SERVICE_STOP_PENDING);
static_assert(static_cast<DWORD>(ServiceState::Running) == SERVICE_RUNNING);
static_assert(kAcceptStop == SERVICE_ACCEPT_STOP);

constexpr DWORD kStartWaitHintMs = 3000;
// How often the stop and remove commands look at a stopping service.
constexpr DWORD kStopPollMs = 50;
constexpr DWORD kStopDotMs = 1000;

bool g_debug = false;
std::atomic<DWORD> g_lastError{0};
char g_errorText[256];

// An exclusive slim reader/writer lock with the lock()/unlock() pair StatusKeeper uses.
class SlimLock {
public:
    SlimLock() = default;
    SlimLock(const SlimLock&) = delete;
    SlimLock& operator=(const SlimLock&) = delete;
    void lock() { AcquireSRWLockExclusive(&m_lock); }
    void unlock() { ReleaseSRWLockExclusive(&m_lock); }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
};

// The status record is reported from the serving thread and from the control
// handler's thread; the keeper builds and sends each report under one lock.
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
StatusKeeper<SlimLock> g_status;

const char* ErrorText() { return FormatSystemError(g_errorText, sizeof g_errorText); }

// Sends one report to the service control manager. On failure the last error
// is the one SetServiceStatus left.
bool SendStatus(const StatusReport& report) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = static_cast<DWORD>(report.state);
    status.dwControlsAccepted = report.controlsAccepted;
    status.dwWin32ExitCode = report.exitCode;
    status.dwServiceSpecificExitCode = 0;
    status.dwCheckPoint = report.checkpoint;
    status.dwWaitHint = report.waitHint;
    return SetServiceStatus(g_statusHandle, &status) != FALSE;
}

// Runs one report of the keeper and logs a failure to send it.
template <class Reporting>
BOOL ReportStatus(Reporting&& reporting) {
    DWORD error = ERROR_SUCCESS;
    const bool sent = reporting([&error](const StatusReport& report) {
        const bool ok = SendStatus(report);
        if (!ok) error = GetLastError();
        return ok;
    });
    if (!sent) {
        SetLastError(error);
        LogServiceError("SetServiceStatus");
    }
    return sent ? TRUE : FALSE;
}

void WINAPI ControlHandler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP) {
        SetServiceState(SERVICE_STOP_PENDING, NO_ERROR, 0);
        SignalStop();
        return;
    }
    ReportStatus([](auto send) { return g_status.Repeat(send); });
}

BOOL WINAPI ConsoleHandler(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    std::printf(text::kConsoleStop, kServiceName);
    SignalStop();
    return TRUE;
}

void WINAPI ServiceEntry(DWORD argc, LPSTR* argv) {
    g_statusHandle = RegisterServiceCtrlHandlerA(kServiceName, ControlHandler);
    if (!g_statusHandle) return;
    if (SetServiceState(SERVICE_START_PENDING, NO_ERROR, kStartWaitHintMs)) {
        // Installed by this program's install command or by the installer
        // package, the service makes sure the manager restarts it after a
        // crash. Without them it still serves, so a failure here is not one
        // of its own and is not reported as such.
        SetOwnFailureActions();
        ServePipe(argc, argv);
    }
    SetServiceState(SERVICE_STOPPED, g_lastError.load(), 0);
}

// After a successful stop control: prints the stopping line, a dot for every
// second the service stays stop pending (at most kStopWaitLimitMs), and the outcome.
void WaitUntilStopped(SC_HANDLE service, SERVICE_STATUS& status) {
    std::printf(text::kStopping, kServiceName);
    const ULONGLONG start = GetTickCount64();
    ULONGLONG nextDot = start + kStopDotMs;
    for (;;) {
        Sleep(kStopPollMs);
        if (!QueryServiceStatus(service, &status) || status.dwCurrentState != SERVICE_STOP_PENDING) break;
        const ULONGLONG now = GetTickCount64();
        if (now - start >= kStopWaitLimitMs) break;
        if (now >= nextDot) {
            std::printf(text::kStoppingDot);
            nextDot += kStopDotMs;
        }
    }
    std::printf(status.dwCurrentState == SERVICE_STOPPED ? text::kStopped : text::kFailedToStop, kServiceName);
}

void InstallService() {
    char path[512];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        if (length != 0) SetLastError(ERROR_INSUFFICIENT_BUFFER);
        std::printf(text::kUnableToInstall, kServiceName, ErrorText());
        return;
    }
    // Quoted, so that a path with blanks can never be read as a shorter
    // program path followed by arguments.
    const std::string command = std::string("\"") + path + "\"";

    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        std::printf(text::kOpenScmFailed, ErrorText());
        return;
    }
    ServiceHandle service(CreateServiceA(manager.Get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                         command.c_str(), nullptr, nullptr, "\0", nullptr, nullptr));
    if (!service) {
        std::printf(text::kCreateServiceFailed, ErrorText());
        return;
    }
    std::printf(text::kInstalled, kServiceName);
    // Also set by the service when it starts; set here so that a service
    // installed and not started yet is restarted after a crash all the same.
    SetFailureActions(service.Get());
    if (StartServiceA(service.Get(), 0, nullptr))
        std::printf(text::kStarted, kServiceName);
    else
        std::printf(text::kStartServiceFailed, ErrorText());
}

// Opens the service for a console command; prints the failure and returns
// an empty handle when the manager or the service cannot be opened.
ServiceHandle OpenOurService(ServiceHandle& manager, DWORD access) {
    manager.Reset(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        std::printf(text::kOpenScmFailed, ErrorText());
        return ServiceHandle();
    }
    ServiceHandle service(OpenServiceA(manager.Get(), kServiceName, access));
    if (!service) std::printf(text::kOpenServiceFailed, ErrorText());
    return service;
}

void StartOurService() {
    ServiceHandle manager;
    ServiceHandle service = OpenOurService(manager, SERVICE_ALL_ACCESS);
    if (!service) return;
    if (StartServiceA(service.Get(), 0, nullptr))
        std::printf(text::kStarted, kServiceName);
    else
        std::printf(text::kStartServiceFailed, ErrorText());
}

void StopOurService() {
    ServiceHandle manager;
    ServiceHandle service = OpenOurService(manager, SERVICE_ALL_ACCESS);
    if (!service) return;
    SERVICE_STATUS status{};
    if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &status))
        WaitUntilStopped(service.Get(), status);
    else
        std::printf(text::kStopServiceFailed, ErrorText());
}

void RemoveOurService() {
    ServiceHandle manager;
    ServiceHandle service = OpenOurService(manager, DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!service) return;
    SERVICE_STATUS status{};
    if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) WaitUntilStopped(service.Get(), status);
    if (DeleteService(service.Get()))
        std::printf(text::kRemoved, kServiceName);
    else
        std::printf(text::kDeleteServiceFailed, ErrorText());
}

void DebugService(int argc, char** argv) {
    g_debug = true;
    std::printf(text::kDebugging, kServiceName);
    // Ctrl+C must reach the handler even when this program was started by a
    // parent that ignores it (children inherit that).
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(ConsoleHandler, TRUE);
    ServePipe(static_cast<DWORD>(argc), argv);
}

}  // namespace

BOOL SetServiceState(DWORD state, DWORD exitCode, DWORD waitHint) {
    if (g_debug) return TRUE;
    return ReportStatus([&](auto send) {
        return g_status.Report(static_cast<ServiceState>(state), exitCode, waitHint, send);
    });
}

void LogServiceError(const char* message) {
    if (g_debug) return;
    const DWORD code = GetLastError();
    g_lastError = code;
    HANDLE source = RegisterEventSourceA(nullptr, kServiceName);
    if (!source) return;
    const std::string heading = EventLogHeading(kServiceName, code);
    const char* strings[2] = {heading.c_str(), message};
    ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 2, 0, strings, nullptr);
    DeregisterEventSource(source);
}

const char* FormatSystemError(char* area, DWORD size) {
    const DWORD code = GetLastError();
    if (size == 0) return area;
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        LANG_NEUTRAL, reinterpret_cast<LPSTR>(&message), 0, nullptr);
    LocalMemory messageOwner(message);
    const std::string text = FormatErrorText(length ? std::string_view(message, length) : std::string_view(),
                                             code, size);
    std::snprintf(area, size, "%s", text.c_str());
    return area;
}

int RunProgram(int argc, char** argv) {
    // Console texts appear as they are printed, also through a pipe.
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    SERVICE_TABLE_ENTRYA table[] = {
        {const_cast<char*>(kServiceName), ServiceEntry},
        {nullptr, nullptr},
    };
    if (argc > 1) {
        switch (MatchSwitch(argv[1])) {
        case ConsoleCommand::Install: InstallService(); return 0;
        case ConsoleCommand::Remove: RemoveOurService(); return 0;
        case ConsoleCommand::Debug: DebugService(argc, argv); return 0;
        case ConsoleCommand::Start: StartOurService(); return 0;
        case ConsoleCommand::Stop: StopOurService(); return 0;
        case ConsoleCommand::None: break;
        }
    }
    std::fputs(UsageText(kServiceName).c_str(), stdout);
    if (!StartServiceCtrlDispatcherA(table)) LogServiceError("StartServiceCtrlDispatcher failed.");
    return 0;
}

}  // namespace harrowd
