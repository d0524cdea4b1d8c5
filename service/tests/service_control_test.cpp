// Harrowd's command line and its life as a service in the real service
// control manager: install, start, query, stop, remove, the console texts of
// each, and the pipe client against the installed service. Every test starts
// and ends with the service removed.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Brindle.h"
#include "failure_actions.h"
#include "service_core.h"
#include "service_test_support.h"

using namespace harrowd_test;

namespace {

constexpr char kMalformed[] = "Please input correct parameter !";
constexpr char kBiosRead[] = "root\\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0";

struct PipeCall {
    BOOL result = FALSE;
    DWORD error = 0;
    std::string text;
};

// The system's call: an 80-byte zero-padded request, an 800-byte reply area.
PipeCall CallService(const std::string& command) {
    char request[80] = {};
    std::memcpy(request, command.data(), std::min<std::size_t>(command.size(), 79));
    char reply[800] = {};
    PipeCall call;
    call.result = ZEL_CallNamePipe(request, sizeof request, reply, sizeof reply);
    call.error = call.result ? 0 : GetLastError();
    reply[sizeof reply - 1] = 0;
    call.text = reply;
    return call;
}

// A console failure line: the text, the system's message and the code.
void ExpectFailureLine(const std::string& output, const std::string& start, DWORD code) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " (0x%lx)\n", code);
    EXPECT_EQ(output.rfind(start, 0), 0u) << output;
    ASSERT_GE(output.size(), start.size() + std::strlen(suffix)) << output;
    EXPECT_EQ(output.substr(output.size() - std::strlen(suffix)), suffix) << output;
    EXPECT_EQ(output.find('\n'), output.size() - 1) << "one line expected: " << output;
}

class ServiceControl : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(RemoveServiceIfPresent()) << "a service from elsewhere could not be removed"; }
    void TearDown() override { EXPECT_TRUE(RemoveServiceIfPresent()); }

    static ProgramRun Harrowd(const std::string& arguments) {
        ProgramRun run = RunHarrowd(arguments);
        EXPECT_TRUE(run.finished) << arguments;
        EXPECT_EQ(run.exitCode, 0u) << arguments;
        return run;
    }
};

}  // namespace

TEST(ConsoleTexts, UsageBlockAndDispatcherStartWithoutACommand) {
    // Each run waits for the dispatcher to give up, so they run side by side.
    const char* arguments[] = {"", "-bogus", "install", "/pipe x"};
    ProgramRun runs[std::size(arguments)];
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < std::size(arguments); ++i)
        threads.emplace_back([&, i] { runs[i] = RunHarrowd(arguments[i], 60000); });
    for (auto& t : threads) t.join();
    for (std::size_t i = 0; i < std::size(arguments); ++i) {
        EXPECT_TRUE(runs[i].finished) << arguments[i];
        EXPECT_EQ(runs[i].exitCode, 0u) << arguments[i];
        EXPECT_EQ(runs[i].output, harrowd::UsageText("Zelmont CVN")) << arguments[i];
    }
}

TEST_F(ServiceControl, InstallStartQueryStopRemove) {
    EXPECT_EQ(Harrowd("/INSTALL").output, "Zelmont CVN installed.\nZelmont CVN started.\n");

    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_TRUE(manager);
    SC_HANDLE service = OpenServiceA(manager, "Zelmont CVN", SERVICE_QUERY_CONFIG);
    ASSERT_TRUE(service);
    std::vector<char> buffer(8192);
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceConfigA(service, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                                    static_cast<DWORD>(buffer.size()), &needed));
    const auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(config->dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(std::string(config->lpBinaryPathName), "\"" + HarrowdPath() + "\"");
    EXPECT_STREQ(config->lpServiceStartName, "LocalSystem");
    EXPECT_STREQ(config->lpDisplayName, "Zelmont CVN");
    EXPECT_EQ(config->lpDependencies[0], '\0');
    CloseServiceHandle(service);
    CloseServiceHandle(manager);

    SERVICE_STATUS status{};
    ASSERT_TRUE(WaitForServiceState(SERVICE_RUNNING, status));
    EXPECT_EQ(status.dwControlsAccepted, static_cast<DWORD>(SERVICE_ACCEPT_STOP));
    EXPECT_EQ(status.dwCheckPoint, 0u);

    // The pipe client against the running service.
    const PipeCall malformed = CallService("root\\WMI:q:ZEL_Device:Device:0");
    EXPECT_NE(malformed.result, FALSE) << malformed.error;
    EXPECT_EQ(malformed.text, kMalformed);
    char expected[1024] = {};
    {
        CBrindle bridge;
        bridge.CallBrindleParser(kBiosRead, expected);
    }
    const PipeCall read = CallService(kBiosRead);
    EXPECT_NE(read.result, FALSE) << read.error;
    EXPECT_EQ(read.text, expected);

    EXPECT_EQ(Harrowd("-stop").output, "Stopping Zelmont CVN.\nZelmont CVN stopped.\n");
    ASSERT_TRUE(QueryService(status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, 0u);

    // No service: the client fails at once, it does not wait for a busy pipe.
    const PipeCall none = CallService(kBiosRead);
    EXPECT_EQ(none.result, FALSE);
    EXPECT_EQ(none.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // Removing a stopped service prints no stopping lines.
    EXPECT_EQ(Harrowd("-remove").output, "Zelmont CVN removed.\n");
    EXPECT_FALSE(QueryService(status));
}

TEST_F(ServiceControl, StartAgainAndRemoveWhileRunning) {
    Harrowd("-install");
    SERVICE_STATUS status{};
    ASSERT_TRUE(WaitForServiceState(SERVICE_RUNNING, status));
    Harrowd("-stop");
    EXPECT_EQ(Harrowd("-Start").output, "Zelmont CVN started.\n");
    ASSERT_TRUE(WaitForServiceState(SERVICE_RUNNING, status));
    EXPECT_EQ(Harrowd("/remove").output, "Stopping Zelmont CVN.\nZelmont CVN stopped.\nZelmont CVN removed.\n");
    EXPECT_FALSE(QueryService(status));
}

TEST_F(ServiceControl, FailureTexts) {
    // Not installed.
    ExpectFailureLine(Harrowd("-start").output, "OpenService failed - ", ERROR_SERVICE_DOES_NOT_EXIST);
    ExpectFailureLine(Harrowd("-stop").output, "OpenService failed - ", ERROR_SERVICE_DOES_NOT_EXIST);
    ExpectFailureLine(Harrowd("-remove").output, "OpenService failed - ", ERROR_SERVICE_DOES_NOT_EXIST);
    // Installed and running.
    Harrowd("-install");
    SERVICE_STATUS status{};
    ASSERT_TRUE(WaitForServiceState(SERVICE_RUNNING, status));
    ExpectFailureLine(Harrowd("-install").output, "CreateService failed - ", ERROR_SERVICE_EXISTS);
    ExpectFailureLine(Harrowd("-start").output, "StartService failed - ", ERROR_SERVICE_ALREADY_RUNNING);
    // Installed and stopped.
    Harrowd("-stop");
    ExpectFailureLine(Harrowd("-stop").output, "StopService failed - ", ERROR_SERVICE_NOT_ACTIVE);
}

TEST_F(ServiceControl, StopsWhileServingAClient) {
    Harrowd("-install");
    SERVICE_STATUS status{};
    ASSERT_TRUE(WaitForServiceState(SERVICE_RUNNING, status));
    // A client in the middle of its exchange: connected, request not yet sent.
    RawClient client(harrowd::kDefaultPipeName);
    ASSERT_TRUE(client.Connected());
    EXPECT_EQ(Harrowd("-stop").output, "Stopping Zelmont CVN.\nZelmont CVN stopped.\n");
    ASSERT_TRUE(QueryService(status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServiceControl, APipeTakenByAnotherProgramStopsTheService) {
    // Someone else created the service's pipe first, with room for more instances.
    HANDLE squatter = CreateNamedPipeA(harrowd::kDefaultPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, 0, 0, 1000, nullptr);
    ASSERT_NE(squatter, INVALID_HANDLE_VALUE);
    Harrowd("-install");
    SERVICE_STATUS status{};
    EXPECT_TRUE(WaitForServiceState(SERVICE_STOPPED, status)) << "the service serves under someone else's pipe";
    // The failure was logged; its code is the service's exit code.
    EXPECT_NE(status.dwWin32ExitCode, 0u);
    CloseHandle(squatter);
}

namespace {

// What one configuration call was given, copied while it was made.
struct RecordedFailureActions {
    int calls = 0;
    SC_HANDLE service = nullptr;
    DWORD level = 0;
    DWORD resetPeriod = 0;
    bool rebootMessage = true;
    bool command = true;
    std::vector<SC_ACTION> actions;
};
RecordedFailureActions g_recorded;

BOOL WINAPI RecordFailureActions(SC_HANDLE service, DWORD level, LPVOID info) {
    ++g_recorded.calls;
    g_recorded.service = service;
    g_recorded.level = level;
    if (level == SERVICE_CONFIG_FAILURE_ACTIONS && info) {
        const auto* actions = static_cast<const SERVICE_FAILURE_ACTIONSA*>(info);
        g_recorded.resetPeriod = actions->dwResetPeriod;
        g_recorded.rebootMessage = actions->lpRebootMsg != nullptr;
        g_recorded.command = actions->lpCommand != nullptr;
        g_recorded.actions.assign(actions->lpsaActions, actions->lpsaActions + actions->cActions);
    }
    return TRUE;
}

}  // namespace

TEST_F(ServiceControl, FailureActionsRestartTheServiceAFewTimesADay) {
    Harrowd("-install");
    SERVICE_STATUS status{};
    ASSERT_TRUE(WaitForServiceState(SERVICE_RUNNING, status));

    // The call the install command and the starting service make, observed.
    g_recorded = {};
    ASSERT_TRUE(harrowd::SetOwnFailureActions(RecordFailureActions));
    EXPECT_EQ(g_recorded.calls, 1);
    EXPECT_NE(g_recorded.service, nullptr);
    EXPECT_EQ(g_recorded.level, static_cast<DWORD>(SERVICE_CONFIG_FAILURE_ACTIONS));
    EXPECT_EQ(g_recorded.resetPeriod, 86400u);
    EXPECT_FALSE(g_recorded.rebootMessage);
    EXPECT_FALSE(g_recorded.command);
    const std::vector<std::pair<SC_ACTION_TYPE, DWORD>> expected = {
        {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}, {SC_ACTION_NONE, 0}};
    ASSERT_EQ(g_recorded.actions.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(g_recorded.actions[i].Type, expected[i].first) << "action " << i;
        EXPECT_EQ(g_recorded.actions[i].Delay, expected[i].second) << "action " << i;
    }

    // The same call made for real on the installed service is accepted.
    ASSERT_TRUE(harrowd::SetOwnFailureActions()) << GetLastError();

    // What the service manager reports back (printed: not every manager keeps them).
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_TRUE(manager);
    SC_HANDLE service = OpenServiceA(manager, "Zelmont CVN", SERVICE_QUERY_CONFIG);
    ASSERT_TRUE(service);
    std::vector<char> buffer(8192);
    DWORD needed = 0;
    if (QueryServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, reinterpret_cast<BYTE*>(buffer.data()),
                             static_cast<DWORD>(buffer.size()), &needed)) {
        const auto* stored = reinterpret_cast<const SERVICE_FAILURE_ACTIONSA*>(buffer.data());
        std::printf("the service manager reports reset period %lu s, %lu actions\n", stored->dwResetPeriod,
                    stored->cActions);
    } else {
        std::printf("the service manager reports no failure actions (error %lu)\n", GetLastError());
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}
