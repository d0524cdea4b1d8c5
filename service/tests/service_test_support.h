// Helpers of the service's Windows tests: running Harrowd.exe as a child with
// its console output captured, a debug-mode server on a private pipe, raw pipe
// exchanges and removing the installed service whatever state it is in.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace harrowd_test {

// Every wait of these tests is a deadline, never a fixed sleep.
constexpr DWORD kDeadlineMs = 15000;

// Full path of a program that lies beside the running test.
std::string BesideTest(const char* fileName);
inline std::string HarrowdPath() { return BesideTest("Harrowd.exe"); }

// A pipe name no other test run uses.
std::string UniquePipeName(const char* tag);

struct ProgramRun {
    bool finished = false;  // ended within the time allowed
    DWORD exitCode = 0;
    std::string output;     // standard output and standard error, line breaks as "\n"
};

// Runs a program that lies beside the test with `arguments` and waits for it to end.
ProgramRun RunBeside(const char* fileName, const std::string& arguments, DWORD timeoutMs = kDeadlineMs);
inline ProgramRun RunHarrowd(const std::string& arguments, DWORD timeoutMs = kDeadlineMs) {
    return RunBeside("Harrowd.exe", arguments, timeoutMs);
}

// Harrowd.exe running "-debug -pipe <name>" as a child with its own hidden
// console, so that a console control event can be sent to it alone.
class DebugServer {
public:
    explicit DebugServer(std::string pipeName, const std::string& extraArguments = "");
    ~DebugServer();  // stops the child, and ends it by force if that fails
    DebugServer(const DebugServer&) = delete;
    DebugServer& operator=(const DebugServer&) = delete;

    const std::string& PipeName() const { return m_pipeName; }
    DWORD ProcessId() const { return m_process.dwProcessId; }
    HANDLE Process() const { return m_process.hProcess; }
    const std::string& CommandLine() const { return m_commandLine; }

    // True once the pipe accepts clients (within kDeadlineMs).
    bool WaitReady();
    // Sends Ctrl+C to the child's console.
    bool SendCtrlC();
    // Waits for the child to end; true when it did.
    bool WaitExit(DWORD timeoutMs = kDeadlineMs);
    DWORD ExitCode() const;
    // What the child printed so far (complete once it has ended), with its
    // line breaks as "\n".
    std::string Output();

private:
    static DWORD WINAPI OutputThread(void* self);
    void ReadOutput();

    std::string m_pipeName;
    std::string m_commandLine;
    PROCESS_INFORMATION m_process{};
    HANDLE m_outputRead = nullptr;
    HANDLE m_reader = nullptr;
    CRITICAL_SECTION m_lock;
    std::string m_output;
};

struct Exchange {
    bool ok = false;
    DWORD error = 0;
    std::vector<char> reply;  // the bytes of the reply message
    // The reply read as the callers read it: text up to the first zero.
    std::string Text() const;
    // Exactly 180 bytes with a zero among them.
    bool WellFormedReply() const;
};

// One CallNamedPipeA exchange (default wait) with `request`, sent as is.
Exchange Call(const std::string& pipeName, const void* request, DWORD size);
// The system's way: the command string in a zero-padded 80-byte area.
Exchange CallCommand(const std::string& pipeName, const std::string& command);

// Calls again and again until a reply comes or `deadlineMs` passes.
Exchange CallCommandUntilServed(const std::string& pipeName, const std::string& command,
                                DWORD deadlineMs = kDeadlineMs);

// The command string in a zero-padded area of `size` bytes (at least its length + 1).
std::vector<char> Padded(const std::string& command, std::size_t size = 80);

// A client connection to a pipe in message mode; closed with the object.
class RawClient {
public:
    explicit RawClient(const std::string& pipeName);
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;
    bool Connected() const { return m_pipe != INVALID_HANDLE_VALUE; }

    // Starts writing `message` as one message; it may stay pending until the
    // server has read all of it. False when the write failed at once.
    bool StartWrite(std::vector<char> message);
    // Waits for the started write to complete; true when it did.
    bool WaitWrite(DWORD timeoutMs = kDeadlineMs);
    // Reads one reply message; true when one came within the time.
    bool ReadReply(std::vector<char>& reply, DWORD timeoutMs = kDeadlineMs);

private:
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
    HANDLE m_writeEvent = nullptr;
    HANDLE m_readEvent = nullptr;
    OVERLAPPED m_write{};
    OVERLAPPED m_read{};
    std::vector<char> m_message;
    std::vector<char> m_reply;
};

// Stops and deletes the "Zelmont CVN" service if it exists and waits until
// the service manager no longer knows it. True when it is gone.
bool RemoveServiceIfPresent();

// State and exit code of the installed service; false when it cannot be queried.
bool QueryService(SERVICE_STATUS& status);

// Waits until the installed service is in `state`.
bool WaitForServiceState(DWORD state, SERVICE_STATUS& status);

// Private memory of a process in bytes, 0 when it cannot be read.
SIZE_T PrivateBytes(HANDLE process);

}  // namespace harrowd_test
