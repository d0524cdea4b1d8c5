// The command pipe server over a real pipe: Harrowd.exe runs "-debug" on a
// pipe of its own per test and is stopped by Ctrl+C on its console.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Brindle.h"
#include "service_test_support.h"

using namespace harrowd_test;

namespace {

std::string Emuctl(const std::string& arguments) {
    const ProgramRun run = RunBeside("emuctl.exe", arguments);
    EXPECT_TRUE(run.finished && run.exitCode == 0) << "emuctl " << arguments << ": " << run.output;
    return run.output;
}

constexpr char kMalformed[] = "Please input correct parameter !";
constexpr char kDenied[] = "WBEM_E_ACCESS_DENIED";
// A read that any Windows answers from its own inventory.
constexpr char kBiosRead[] = "root\\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0";

// The reply the bridge's parser gives in this process: what the service must relay.
std::string ParserReply(const std::string& command) {
    char reply[1024] = {};
    CBrindle bridge;
    bridge.CallBrindleParser(command.c_str(), reply);
    return reply;
}

class PipeServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.WaitReady()) << server.Output(); }
    DebugServer server{UniquePipeName("pipe")};
};

}  // namespace

TEST(DebugRun, CtrlCStopsTheServerWhileItWaitsForAClient) {
    DebugServer server(UniquePipeName("idle"));
    ASSERT_TRUE(server.WaitReady()) << server.Output();
    ASSERT_TRUE(server.SendCtrlC());
    ASSERT_TRUE(server.WaitExit());
    EXPECT_EQ(server.ExitCode(), 0u);
    EXPECT_EQ(server.Output(), "Debugging Zelmont CVN.\nStopping Zelmont CVN.\n");
    EXPECT_FALSE(WaitNamedPipeA(server.PipeName().c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "the pipe outlived the server";
}

TEST(DebugRun, CtrlCStopsTheServerWhileAClientIsConnected) {
    DebugServer server(UniquePipeName("busy"));
    ASSERT_TRUE(server.WaitReady()) << server.Output();
    RawClient client(server.PipeName());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(server.SendCtrlC());
    ASSERT_TRUE(server.WaitExit());
    EXPECT_EQ(server.ExitCode(), 0u);
}

TEST_F(PipeServerTest, RelaysTheParsersReplyAndMRepeatsThePreviousReply) {
    const std::string expected = ParserReply(kBiosRead);
    ASSERT_NE(expected, kMalformed);

    const Exchange read = CallCommand(server.PipeName(), kBiosRead);
    ASSERT_TRUE(read.WellFormedReply()) << read.error << " / " << read.reply.size();
    EXPECT_EQ(read.Text(), expected);

    const Exchange repeat = CallCommand(server.PipeName(), "root\\WMI:M:ZEL_Device:Device:0");
    ASSERT_TRUE(repeat.WellFormedReply());
    EXPECT_EQ(repeat.Text(), expected);

    // Replies the guard gives count as previous replies too.
    ASSERT_EQ(CallCommand(server.PipeName(), "root\\CIMV2:S:Win32_BIOS:SMBIOSBIOSVersion:0:1").Text(), kDenied);
    EXPECT_EQ(CallCommand(server.PipeName(), "root\\WMI:M:x").Text(), kDenied);
}

TEST_F(PipeServerTest, MalformedMessagesGetTheMalformedReply) {
    const std::string valid = kBiosRead;
    std::vector<char> unterminatedTail(valid.begin(), valid.end() - 1);  // the instance digit is missing
    const struct {
        const char* name;
        std::vector<char> message;
    } cases[] = {
        {"empty message", {}},
        {"80 bytes without a zero", std::vector<char>(80, 'A')},
        // Together with the previous request's "0\0" it would be a valid read.
        {"short message without a zero", unterminatedTail},
        {"81 bytes", Padded(valid, 81)},
        {"200 bytes in one message", Padded(valid, 200)},
        {"lower-case operation", Padded("root\\CIMV2:q:Win32_BIOS:SMBIOSBIOSVersion:0")},
        {"write without value", Padded("root\\WMI:S:ZEL_System:System:1:")},
        {"no colon", Padded("root\\WMI")},
    };
    for (const auto& c : cases) {
        // A well-formed request first, so that stale bytes lie in the server's area.
        ASSERT_EQ(CallCommand(server.PipeName(), valid).Text(), ParserReply(valid)) << c.name;
        const Exchange reply = Call(server.PipeName(), c.message.data(), static_cast<DWORD>(c.message.size()));
        ASSERT_TRUE(reply.WellFormedReply()) << c.name << ": error " << reply.error << ", " << reply.reply.size();
        EXPECT_EQ(reply.Text(), kMalformed) << c.name;
    }
}

TEST_F(PipeServerTest, RequestsBeyondTheSystemsRightsAreDenied) {
    for (const char* command : {
             "root\\CIMV2:S:Win32_BIOS:SMBIOSBIOSVersion:0:1",        // write outside the firmware
             "root\\WMI:S:ZEL_Event:ZELEvt:0:1",                      // an event class is no state
             "root\\default:Q:__NAMESPACE:Name:0",                    // another namespace
             "root\\CIMV2:Q:Win32_BIOS where Version<>'':Version:0",  // query text in the class field
             "root\\CIMV2:Q:Win32_Process,Win32_BIOS:Name:0",
             "root\\CIMV2:Q:Win32_Process:CommandLine:0",           // other users' command lines
             "root\\WMI:S:ZEL_AP:AP:1:99",                          // the firmware's version
             "root\\WMI:S:ZEL_System:System:1:32",                  // beyond the flag bits
         }) {
        const Exchange reply = CallCommand(server.PipeName(), command);
        ASSERT_TRUE(reply.WellFormedReply()) << command;
        EXPECT_EQ(reply.Text(), kDenied) << command;
    }
}

TEST_F(PipeServerTest, ReplyLongerThanTheAreaIsCutAndTerminated) {
    // The emulated firmware's label is a text as long as the test likes.
    std::string label;
    for (int i = 0; label.size() < 240; ++i) label += std::to_string(i) + "-";
    ASSERT_EQ(Emuctl("label " + label), "Label=" + label + "\n");
    const Exchange reply = CallCommand(server.PipeName(), "root\\WMI:Q:ZEL_Software:Label:0");
    Emuctl("label");
    ASSERT_TRUE(reply.WellFormedReply());
    EXPECT_EQ(reply.Text(), label.substr(0, 179));

    // A shorter reply after it carries nothing of the longer one behind its text.
    const Exchange shorter = CallCommand(server.PipeName(), "root\\WMI:q:x");
    ASSERT_TRUE(shorter.WellFormedReply());
    EXPECT_EQ(shorter.Text(), kMalformed);
    EXPECT_EQ(std::count(shorter.reply.begin() + shorter.Text().size(), shorter.reply.end(), '\0'),
              static_cast<std::ptrdiff_t>(180 - shorter.Text().size()));
}

TEST_F(PipeServerTest, OneInstanceASecondClientWaitsAndIsServedNext) {
    const std::string expected = ParserReply(kBiosRead);
    RawClient first(server.PipeName());
    ASSERT_TRUE(first.Connected());

    // While the first client holds the only instance, nobody else gets in.
    EXPECT_EQ(CreateFileA(server.PipeName().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY));
    // Brief: the server gives an idle client only a fifth of a second.
    EXPECT_FALSE(WaitNamedPipeA(server.PipeName().c_str(), 20));

    Exchange second;
    std::thread waiter([&] { second = CallCommand(server.PipeName(), kBiosRead); });
    std::vector<char> reply;
    ASSERT_TRUE(first.StartWrite(Padded(kBiosRead)));
    ASSERT_TRUE(first.ReadReply(reply));
    waiter.join();
    EXPECT_EQ(std::string(reply.data()), expected);
    // Served next, or (on a slow machine) gave up after the pipe's default wait.
    if (second.ok)
        EXPECT_EQ(second.Text(), expected);
    else
        EXPECT_TRUE(second.error == ERROR_SEM_TIMEOUT || second.error == ERROR_PIPE_BUSY) << second.error;
}

TEST_F(PipeServerTest, NoClientCanHoldThePipe) {
    const std::string expected = ParserReply(kBiosRead);
    const struct {
        const char* name;
        std::vector<char> message;  // empty: the client writes nothing
        bool leaves;                // closes its end right after writing
    } cases[] = {
        {"connects and sends nothing", {}, false},
        {"sends 200 bytes in one message and never reads", Padded(kBiosRead, 200), false},
        {"sends a request and never reads the reply", Padded(kBiosRead), false},
        {"sends a request and leaves", Padded(kBiosRead), true},
    };
    for (const auto& c : cases) {
        auto stalling = std::make_unique<RawClient>(server.PipeName());
        ASSERT_TRUE(stalling->Connected()) << c.name;
        if (!c.message.empty()) {
            ASSERT_TRUE(stalling->StartWrite(c.message)) << c.name;
        }
        if (c.leaves) {
            ASSERT_TRUE(stalling->WaitWrite()) << c.name;
            stalling.reset();
        }
        const Exchange next = CallCommandUntilServed(server.PipeName(), kBiosRead, 5000);
        ASSERT_TRUE(next.WellFormedReply()) << c.name << ": next client not served, error " << next.error;
        EXPECT_EQ(next.Text(), expected) << c.name;
    }
}

TEST_F(PipeServerTest, AnIdleClientDoesNotMakeAnOrdinaryCallFail) {
    // A client that connects and waits holds the only instance; a one-shot
    // call with the pipe's default wait, made meanwhile, is still served.
    const std::string expected = ParserReply(kBiosRead);
    for (int round = 0; round < 5; ++round) {
        RawClient idle(server.PipeName());
        ASSERT_TRUE(idle.Connected()) << "round " << round;
        const Exchange call = CallCommand(server.PipeName(), kBiosRead);
        ASSERT_TRUE(call.WellFormedReply()) << "round " << round << ": error " << call.error;
        EXPECT_EQ(call.Text(), expected) << "round " << round;
    }
}

TEST_F(PipeServerTest, OversizeMessageIsReadToItsEndAndAnswered) {
    RawClient client(server.PipeName());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.StartWrite(Padded(kBiosRead, 200)));
    ASSERT_TRUE(client.WaitWrite()) << "the server left the rest of the message unread";
    std::vector<char> reply;
    ASSERT_TRUE(client.ReadReply(reply));
    ASSERT_EQ(reply.size(), 180u);
    EXPECT_EQ(std::string(reply.data()), kMalformed);
}

namespace {

// The entries of a DACL as (type, flags, rights with generic rights mapped
// to file rights, trustee) texts, in order.
std::vector<std::string> AceList(PACL dacl) {
    std::vector<std::string> entries;
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) break;
        // Allowed and denied entries share their layout.
        auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        DWORD mask = entry->Mask;
        MapGenericMask(&mask, &mapping);
        char* sid = nullptr;
        ConvertSidToStringSidA(&entry->SidStart, &sid);
        entries.push_back(std::to_string(entry->Header.AceType) + "/" + std::to_string(entry->Header.AceFlags) + "/" +
                          std::to_string(mask) + "/" + (sid ? sid : "?"));
        LocalFree(sid);
    }
    return entries;
}

}  // namespace

TEST_F(PipeServerTest, PipeIsGuardedByItsSecurityDescriptor) {
    // Guests and anonymous logons denied, authenticated users read and write,
    // administrators everything.
    PSECURITY_DESCRIPTOR wanted = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:(D;OICI;GA;;;BG)(D;OICI;GA;;;AN)(A;OICI;GRGWGX;;;AU)(A;OICI;GA;;;BA)", SDDL_REVISION_1, &wanted, nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL wantedDacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(wanted, &present, &wantedDacl, &defaulted));

    HANDLE client = CreateFileA(server.PipeName().c_str(), READ_CONTROL, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE) << GetLastError();
    PSECURITY_DESCRIPTOR actual = nullptr;
    PACL actualDacl = nullptr;
    const DWORD status = GetSecurityInfo(client, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                         &actualDacl, nullptr, &actual);
    CloseHandle(client);
    ASSERT_EQ(status, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(AceList(actualDacl), AceList(wantedDacl));
    LocalFree(actual);
    LocalFree(wanted);
}

namespace {

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK KeepWindowOfProcess(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == search->processId) search->found.push_back(hwnd);
    return TRUE;
}

// Every window of a process: top-level and message-only.
std::vector<HWND> WindowsOf(DWORD processId) {
    WindowSearch search{processId, {}};
    EnumWindows(KeepWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    for (HWND hwnd = nullptr; (hwnd = FindWindowExA(HWND_MESSAGE, hwnd, nullptr, nullptr)) != nullptr;)
        KeepWindowOfProcess(hwnd, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

TEST_F(PipeServerTest, EveryWindowOfTheServerAnswersMessages) {
    // After requests have run COM on the serving thread, no window of the
    // server is left without a thread that takes its messages: a sender
    // (a broadcast, say) would hang on it.
    ASSERT_TRUE(CallCommand(server.PipeName(), kBiosRead).WellFormedReply());
    ASSERT_TRUE(CallCommand(server.PipeName(), "root\\WMI:Q:ZEL_Device:Device:0").WellFormedReply());
    for (HWND hwnd : WindowsOf(server.ProcessId())) {
        char className[64] = {};
        GetClassNameA(hwnd, className, sizeof className);
        DWORD_PTR result = 0;
        EXPECT_NE(SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_BLOCK, 2000, &result), 0)
            << "window of class " << className << " does not answer";
    }
}
