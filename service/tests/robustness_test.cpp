// A bounded robustness run of the command pipe server: several clients at
// once send thousands of random requests (random bytes of any length up to
// 200, with and without zero bytes, valid, mutated and denied commands).
// Afterwards the server must still answer correctly, every reply must have
// been 180 bytes with a terminated text, and its private memory must not
// have grown beyond a small bound.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "service_test_support.h"

using namespace harrowd_test;

namespace {

constexpr int kClients = 4;
constexpr int kRequestsPerClient = 800;
constexpr DWORD kRunLimitMs = 150000;
constexpr int kWarmUpRequests = 300;
// Allowed growth of the server's private memory over the whole run.
constexpr SIZE_T kMemoryBound = 2 * 1024 * 1024;

const std::vector<std::string> kReads = {
    "root\\WMI:Q:ZEL_Device:Device:0",   "root\\WMI:Q:ZEL_System:System:0",
    "root\\WMI:Q:ZEL_System:System:1",   "root\\WMI:Q:ZEL_AP:AP:1",
    "root\\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0",
};
const std::vector<std::string> kDenied = {
    "root\\CIMV2:S:Win32_BIOS:SMBIOSBIOSVersion:0:1",
    "root\\WMI:S:ZEL_Event:ZELEvt:0:1",
    "root\\default:Q:__NAMESPACE:Name:0",
    "root\\CIMV2:Q:Win32_BIOS where Version<>'':Version:0",
};
// The announcement the tray program makes; writing it again changes nothing.
const std::string kWrite = "root\\WMI:S:ZEL_Software:Software:0:1";

struct Request {
    std::vector<char> bytes;
    std::string expected;  // empty: any well-formed reply will do
};

class RequestMaker {
public:
    RequestMaker(unsigned seed, const std::map<std::string, std::string>& reference)
        : m_random(seed), m_reference(reference) {}

    Request Next() {
        switch (m_random() % 8) {
        case 0:
        case 1: return RandomBytes();
        case 2:
        case 3: {
            const std::string& command = kReads[m_random() % kReads.size()];
            return {Padded(command), m_reference.at(command)};
        }
        case 4: return {Padded(kWrite), "1"};
        case 5: return Mutated();
        case 6: return {Padded(kDenied[m_random() % kDenied.size()]), "WBEM_E_ACCESS_DENIED"};
        default: return {Padded("root\\WMI:M:x"), ""};  // the previous reply, whichever it was
        }
    }

private:
    char RandomByte(bool allowZero) {
        char c = static_cast<char>(m_random() & 0xFF);
        return (!allowZero && c == 0) ? 1 : c;
    }

    Request RandomBytes() {
        const std::size_t length = m_random() % 201;
        const bool zeros = m_random() % 2 == 0;
        Request r;
        for (std::size_t i = 0; i < length; ++i) r.bytes.push_back(RandomByte(zeros));
        return r;
    }

    Request Mutated() {
        std::string command = kReads[m_random() % kReads.size()];
        for (int edits = 1 + static_cast<int>(m_random() % 3); edits > 0 && !command.empty(); --edits) {
            const std::size_t at = m_random() % command.size();
            switch (m_random() % 3) {
            case 0: command[at] = RandomByte(false); break;
            case 1: command.erase(at, 1); break;
            default: command.insert(command.begin() + at, m_random() % 2 ? ':' : RandomByte(false)); break;
            }
        }
        Request r;
        r.bytes.assign(command.begin(), command.end());
        if (m_random() % 4 != 0) r.bytes.resize(command.size() + 1 + m_random() % (200 - command.size()), 0);
        return r;
    }

    std::mt19937 m_random;
    const std::map<std::string, std::string>& m_reference;
};

struct Tally {
    std::mutex lock;
    int sent = 0;
    int replies = 0;
    int busy = 0;  // attempts that found the pipe busy and were repeated
    int failures = 0;
    int badReplies = 0;
    int wrongAnswers = 0;
    std::string firstProblem;

    void Problem(int& counter, const std::string& what) {
        std::lock_guard<std::mutex> guard(lock);
        ++counter;
        if (firstProblem.empty()) firstProblem = what;
    }
};

// Sends one request, again and again while the pipe is busy (CallNamedPipe
// gives up when another waiting client takes the instance first).
void Send(const std::string& pipe, const Request& request, Tally& tally, ULONGLONG deadline) {
    {
        std::lock_guard<std::mutex> guard(tally.lock);
        ++tally.sent;
    }
    Exchange exchange;
    for (;;) {
        exchange = Call(pipe, request.bytes.data(), static_cast<DWORD>(request.bytes.size()));
        if (exchange.ok || (exchange.error != ERROR_SEM_TIMEOUT && exchange.error != ERROR_PIPE_BUSY)) break;
        {
            std::lock_guard<std::mutex> guard(tally.lock);
            ++tally.busy;
        }
        if (GetTickCount64() >= deadline) break;
    }
    if (!exchange.ok) {
        tally.Problem(tally.failures, "exchange failed with error " + std::to_string(exchange.error));
        return;
    }
    {
        std::lock_guard<std::mutex> guard(tally.lock);
        ++tally.replies;
    }
    if (!exchange.WellFormedReply())
        tally.Problem(tally.badReplies, "reply of " + std::to_string(exchange.reply.size()) + " bytes");
    else if (!request.expected.empty() && exchange.Text() != request.expected)
        tally.Problem(tally.wrongAnswers, "'" + exchange.Text() + "' instead of '" + request.expected + "'");
}

}  // namespace

TEST(Robustness, ConcurrentRandomRequests) {
    DebugServer server(UniquePipeName("robust"));
    ASSERT_TRUE(server.WaitReady()) << server.Output();

    std::map<std::string, std::string> reference;
    for (const std::string& command : kReads) {
        const Exchange reply = CallCommandUntilServed(server.PipeName(), command);
        ASSERT_TRUE(reply.WellFormedReply()) << command;
        reference[command] = reply.Text();
    }

    // Warm up, so that what the server allocates once is in place before measuring.
    Tally warmUp;
    RequestMaker warmUpMaker(1, reference);
    const ULONGLONG warmUpDeadline = GetTickCount64() + kRunLimitMs;
    for (int i = 0; i < kWarmUpRequests; ++i) Send(server.PipeName(), warmUpMaker.Next(), warmUp, warmUpDeadline);
    const SIZE_T before = PrivateBytes(server.Process());
    ASSERT_GT(before, 0u);

    Tally tally;
    const ULONGLONG deadline = GetTickCount64() + kRunLimitMs;
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            RequestMaker maker(1000 + c, reference);
            for (int i = 0; i < kRequestsPerClient && GetTickCount64() < deadline; ++i)
                Send(server.PipeName(), maker.Next(), tally, deadline);
        });
    }
    for (auto& t : clients) t.join();
    const SIZE_T after = PrivateBytes(server.Process());

    std::printf("%d replies (%d busy attempts repeated), %d failures; private memory %zu KiB before, %zu KiB after\n",
                tally.replies, tally.busy, tally.failures, static_cast<std::size_t>(before / 1024),
                static_cast<std::size_t>(after / 1024));
    EXPECT_EQ(tally.failures, 0) << tally.firstProblem;
    EXPECT_EQ(tally.badReplies, 0) << tally.firstProblem;
    EXPECT_EQ(tally.wrongAnswers, 0) << tally.firstProblem;
    // Every request was answered; thousands of them, unless the time limit came first.
    EXPECT_EQ(tally.replies, tally.sent);
    EXPECT_GE(tally.sent, 1000);
    EXPECT_LE(after, before + kMemoryBound);

    // Still answering correctly, one client at a time.
    for (const std::string& command : kReads) {
        const Exchange reply = CallCommandUntilServed(server.PipeName(), command);
        EXPECT_TRUE(reply.WellFormedReply()) << command;
        EXPECT_EQ(reply.Text(), reference[command]) << command;
    }
    ASSERT_EQ(WaitForSingleObject(server.Process(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the server ended";
}
