// The service load driver against the installed service: a short mixed run
// and a short contention run, each printing its keys and nothing else.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "service_core.h"
#include "service_test_support.h"

using namespace harrowd_test;

namespace {

constexpr DWORD kRunLimitMs = 120000;

// The "key=value" lines of a run; false when any line is something else.
bool ParseKeys(const std::string& output, std::map<std::string, std::string>& keys) {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0) return false;
        keys[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return !keys.empty();
}

class ServiceLoad : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RemoveServiceIfPresent()) << "a service from elsewhere could not be removed";
        const ProgramRun install = RunHarrowd("-install");
        ASSERT_TRUE(install.finished);
        SERVICE_STATUS status{};
        ASSERT_TRUE(WaitForServiceState(SERVICE_RUNNING, status)) << install.output;
    }
    void TearDown() override { EXPECT_TRUE(RemoveServiceIfPresent()); }

    static std::map<std::string, std::string> Run(const std::string& arguments, DWORD expectedExit) {
        const ProgramRun run = RunBeside("service_load.exe", arguments, kRunLimitMs);
        std::printf("service_load %s:\n%s", arguments.c_str(), run.output.c_str());
        std::map<std::string, std::string> keys;
        EXPECT_TRUE(run.finished) << arguments;
        EXPECT_EQ(run.exitCode, expectedExit) << arguments;
        EXPECT_TRUE(ParseKeys(run.output, keys)) << "not only key=value lines:\n" << run.output;
        return keys;
    }
};

}  // namespace

TEST_F(ServiceLoad, MixedRequestsAllServedWellFormed) {
    auto keys = Run("--requests 200", 0);
    const std::map<std::string, std::string> exact = {
        {"requests", "200"}, {"served", "200"}, {"busy", "0"},  {"failed", "0"},
        {"first_error", "0"}, {"malformed", "0"}, {"wrong", "0"},
    };
    for (const auto& [key, value] : exact) EXPECT_EQ(keys[key], value) << key;
    for (const char* key : {"p50_ms", "p99_ms", "max_ms"}) EXPECT_FALSE(keys[key].empty()) << key;
}

TEST_F(ServiceLoad, OneShotAgainstClientUnderContention) {
    auto keys = Run("--one-shot-contention --calls 200", 0);
    EXPECT_EQ(keys["malformed"], "0");
    EXPECT_EQ(keys["oneshot_calls"], "200");
    EXPECT_EQ(keys["client_calls"], "200");
    // The system's client keeps trying while its wait lasts: every call served.
    EXPECT_EQ(keys["client_served_share"], "1.0000");
    for (const char* key : {"oneshot_served_share", "oneshot_p99_ms", "client_p99_wait_ms"})
        EXPECT_FALSE(keys[key].empty()) << key;
}

TEST(ServiceLoadUsage, WrongArgumentsPrintNothingOnStandardOutput) {
    // Standard error is captured with standard output here: only the usage text may appear.
    for (const char* arguments : {"", "--requests", "--requests 0", "--requests x", "--calls 5", "--bogus"}) {
        const ProgramRun run = RunBeside("service_load.exe", arguments);
        EXPECT_TRUE(run.finished) << arguments;
        EXPECT_EQ(run.exitCode, 2u) << arguments;
        EXPECT_EQ(run.output.rfind("usage: ", 0), 0u) << arguments << ": " << run.output;
    }
}

namespace {

// The service's pipe served by a thread of the test with replies of a chosen
// shape, one client after another, until destroyed.
class ShapedReplyServer {
public:
    ShapedReplyServer(std::size_t size, bool zeroLast)
        : m_pipe(CreateNamedPipeA(harrowd::kDefaultPipeName, PIPE_ACCESS_DUPLEX,
                                  PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 1024, 1024, 1000, nullptr)) {
        if (m_pipe == INVALID_HANDLE_VALUE) return;
        m_thread = std::thread([this, size, zeroLast] {
            std::vector<char> reply(size, 'r');
            if (zeroLast) reply.back() = 0;
            while (!m_stopping) {
                if (ConnectNamedPipe(m_pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
                    char request[512];
                    DWORD bytes = 0;
                    if ((ReadFile(m_pipe, request, sizeof request, &bytes, nullptr) || GetLastError() == ERROR_MORE_DATA) &&
                        !m_stopping) {
                        WriteFile(m_pipe, reply.data(), static_cast<DWORD>(reply.size()), &bytes, nullptr);
                        FlushFileBuffers(m_pipe);
                    }
                }
                DisconnectNamedPipe(m_pipe);
            }
        });
    }
    ~ShapedReplyServer() {
        if (m_thread.joinable()) {
            m_stopping = true;
            for (int i = 0; i < 100; ++i) {  // a client that connects and leaves wakes the thread
                HANDLE client = CreateFileA(harrowd::kDefaultPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
                if (client != INVALID_HANDLE_VALUE) {
                    CloseHandle(client);
                    break;
                }
                WaitNamedPipeA(harrowd::kDefaultPipeName, 100);
            }
            m_thread.join();
        }
        if (m_pipe != INVALID_HANDLE_VALUE) CloseHandle(m_pipe);
    }
    bool Created() const { return m_pipe != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_pipe;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

}  // namespace

TEST(ServiceLoadChecks, RepliesOfAnyOtherShapeCountAsMalformed) {
    ASSERT_TRUE(RemoveServiceIfPresent());
    const struct {
        const char* name;
        std::size_t size;
        bool zeroLast;
        bool malformed;
    } cases[] = {
        {"180 bytes ending in a zero", 180, true, false},
        {"179 bytes", 179, true, true},
        {"181 bytes", 181, true, true},
        {"180 bytes, no zero", 180, false, true},
    };
    for (const auto& c : cases) {
        ShapedReplyServer server(c.size, c.zeroLast);
        ASSERT_TRUE(server.Created()) << "another program serves the command pipe";
        const ProgramRun run = RunBeside("service_load.exe", "--requests 40 --clients 2", kRunLimitMs);
        std::map<std::string, std::string> keys;
        ASSERT_TRUE(run.finished) << c.name;
        ASSERT_TRUE(ParseKeys(run.output, keys)) << c.name << ":\n" << run.output;
        EXPECT_EQ(keys["failed"], "0") << c.name << ":\n" << run.output;
        EXPECT_EQ(keys["busy"], "0") << c.name;
        EXPECT_EQ(keys["malformed"] != "0", c.malformed) << c.name << ":\n" << run.output;
        EXPECT_EQ(run.exitCode, 1u) << c.name;  // the replies' texts are wrong in every case
    }
}
