#include "service_test_support.h"

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace harrowd_test {
namespace {

constexpr char kServiceName[] = "Zelmont CVN";
constexpr DWORD kPollMs = 20;

bool PastDeadline(ULONGLONG deadline) { return GetTickCount64() >= deadline; }

// Takes the Ctrl+C this process sends to a child's console while attached to
// it. A handler, not the ignore flag: children would inherit that flag.
BOOL WINAPI SwallowCtrlC(DWORD type) { return type == CTRL_C_EVENT; }

// Starts `commandLine` with standard output and standard error going to a
// new pipe whose read end is returned in `outputRead`.
bool StartChild(const std::string& commandLine, DWORD flags, PROCESS_INFORMATION& process, HANDLE& outputRead) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE write = nullptr;
    if (!CreatePipe(&outputRead, &write, &inheritable, 0)) return false;
    SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = write;
    startup.hStdError = write;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    const BOOL started =
        CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &process);
    CloseHandle(write);
    if (!started) {
        CloseHandle(outputRead);
        outputRead = nullptr;
    }
    return started != FALSE;
}

// The console output of a program, with its text-mode "\r\n" as "\n".
std::string Unixify(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

std::string ReadAll(HANDLE read) {
    std::string text;
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
}

struct ReaderArgs {
    HANDLE read;
    std::string* text;
};

DWORD WINAPI ReaderThread(void* p) {
    auto* args = static_cast<ReaderArgs*>(p);
    *args->text = ReadAll(args->read);
    return 0;
}

}  // namespace

std::string BesideTest(const char* fileName) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, length);
    dir.resize(dir.find_last_of('\\') + 1);
    return dir + fileName;
}

std::string UniquePipeName(const char* tag) {
    static std::atomic<unsigned> counter{0};
    char name[128];
    std::snprintf(name, sizeof name, "\\\\.\\pipe\\harrowd-test-%s-%lu-%u", tag, GetCurrentProcessId(), ++counter);
    return name;
}

ProgramRun RunBeside(const char* fileName, const std::string& arguments, DWORD timeoutMs) {
    ProgramRun run;
    PROCESS_INFORMATION process{};
    HANDLE read = nullptr;
    if (!StartChild("\"" + BesideTest(fileName) + "\" " + arguments, CREATE_NO_WINDOW, process, read)) return run;
    std::string output;
    ReaderArgs args{read, &output};
    HANDLE reader = CreateThread(nullptr, 0, ReaderThread, &args, 0, nullptr);
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        run.finished = true;
        GetExitCodeProcess(process.hProcess, &run.exitCode);
    } else {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, kDeadlineMs);
    }
    WaitForSingleObject(reader, kDeadlineMs);
    CloseHandle(reader);
    CloseHandle(read);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.output = Unixify(output);
    return run;
}

// ---- DebugServer ----------------------------------------------------------

DebugServer::DebugServer(std::string pipeName, const std::string& extraArguments)
    : m_pipeName(std::move(pipeName)) {
    InitializeCriticalSection(&m_lock);
    m_commandLine = "\"" + HarrowdPath() + "\" -debug -pipe " + m_pipeName;
    if (!extraArguments.empty()) m_commandLine += " " + extraArguments;
    // A hidden console of its own: the Ctrl+C sent to it reaches only this child.
    if (!StartChild(m_commandLine, CREATE_NO_WINDOW, m_process, m_outputRead)) return;
    m_reader = CreateThread(nullptr, 0, OutputThread, this, 0, nullptr);
}

DebugServer::~DebugServer() {
    if (m_process.hProcess) {
        if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
            SendCtrlC();
            if (!WaitExit()) {
                TerminateProcess(m_process.hProcess, 1);
                WaitForSingleObject(m_process.hProcess, kDeadlineMs);
            }
        }
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }
    if (m_reader) {
        WaitForSingleObject(m_reader, kDeadlineMs);
        CloseHandle(m_reader);
    }
    if (m_outputRead) CloseHandle(m_outputRead);
    DeleteCriticalSection(&m_lock);
}

DWORD WINAPI DebugServer::OutputThread(void* self) {
    static_cast<DebugServer*>(self)->ReadOutput();
    return 0;
}

void DebugServer::ReadOutput() {
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(m_outputRead, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        EnterCriticalSection(&m_lock);
        m_output.append(buffer, got);
        LeaveCriticalSection(&m_lock);
    }
}

std::string DebugServer::Output() {
    EnterCriticalSection(&m_lock);
    std::string copy = m_output;
    LeaveCriticalSection(&m_lock);
    return Unixify(copy);
}

bool DebugServer::WaitReady() {
    if (!m_process.hProcess) return false;
    const ULONGLONG deadline = GetTickCount64() + kDeadlineMs;
    while (!PastDeadline(deadline)) {
        if (WaitNamedPipeA(m_pipeName.c_str(), kPollMs)) return true;
        if (WaitForSingleObject(m_process.hProcess, kPollMs) != WAIT_TIMEOUT) return false;
    }
    return false;
}

bool DebugServer::SendCtrlC() {
    // Attach to the child's console for the moment of the event; this
    // process takes the event itself without harm.
    static const BOOL swallowing = SetConsoleCtrlHandler(SwallowCtrlC, TRUE);
    (void)swallowing;
    FreeConsole();
    if (!AttachConsole(m_process.dwProcessId)) return false;
    const BOOL sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    FreeConsole();
    return sent != FALSE;
}

bool DebugServer::WaitExit(DWORD timeoutMs) {
    if (!m_process.hProcess || WaitForSingleObject(m_process.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
    // The output is complete when the reader has seen the pipe's end.
    if (m_reader) WaitForSingleObject(m_reader, kDeadlineMs);
    return true;
}

DWORD DebugServer::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (m_process.hProcess) GetExitCodeProcess(m_process.hProcess, &code);
    return code;
}

// ---- exchanges ------------------------------------------------------------

std::string Exchange::Text() const {
    const auto end = std::find(reply.begin(), reply.end(), '\0');
    return std::string(reply.begin(), end);
}

bool Exchange::WellFormedReply() const {
    return ok && reply.size() == 180 && std::memchr(reply.data(), 0, reply.size()) != nullptr;
}

Exchange Call(const std::string& pipeName, const void* request, DWORD size) {
    Exchange exchange;
    exchange.reply.resize(800);
    DWORD got = 0;
    exchange.ok = CallNamedPipeA(pipeName.c_str(), const_cast<void*>(request), size, exchange.reply.data(),
                                 static_cast<DWORD>(exchange.reply.size()), &got, NMPWAIT_USE_DEFAULT_WAIT) != FALSE;
    exchange.error = exchange.ok ? 0 : GetLastError();
    exchange.reply.resize(exchange.ok ? got : 0);
    return exchange;
}

Exchange CallCommand(const std::string& pipeName, const std::string& command) {
    char request[80] = {};
    std::memcpy(request, command.data(), std::min<std::size_t>(command.size(), sizeof request - 1));
    return Call(pipeName, request, sizeof request);
}

std::vector<char> Padded(const std::string& command, std::size_t size) {
    std::vector<char> area(std::max(size, command.size() + 1), 0);
    std::copy(command.begin(), command.end(), area.begin());
    return area;
}

Exchange CallCommandUntilServed(const std::string& pipeName, const std::string& command, DWORD deadlineMs) {
    const ULONGLONG deadline = GetTickCount64() + deadlineMs;
    Exchange exchange;
    do {
        exchange = CallCommand(pipeName, command);
        if (exchange.ok) break;
        // A missing pipe fails at once; do not spin on it.
        if (exchange.error == ERROR_FILE_NOT_FOUND) Sleep(kPollMs);
    } while (!PastDeadline(deadline));
    return exchange;
}

RawClient::RawClient(const std::string& pipeName) {
    const ULONGLONG deadline = GetTickCount64() + kDeadlineMs;
    while (!PastDeadline(deadline)) {
        m_pipe = CreateFileA(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
        if (m_pipe != INVALID_HANDLE_VALUE) break;
        if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeA(pipeName.c_str(), kDeadlineMs)) Sleep(kPollMs);
    }
    if (m_pipe != INVALID_HANDLE_VALUE) {
        DWORD mode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(m_pipe, &mode, nullptr, nullptr);
    }
}

RawClient::~RawClient() {
    if (m_pipe != INVALID_HANDLE_VALUE) {
        CancelIoEx(m_pipe, nullptr);
        DWORD ignored = 0;
        if (m_write.hEvent) GetOverlappedResult(m_pipe, &m_write, &ignored, TRUE);
        if (m_read.hEvent) GetOverlappedResult(m_pipe, &m_read, &ignored, TRUE);
        CloseHandle(m_pipe);
    }
    if (m_writeEvent) CloseHandle(m_writeEvent);
    if (m_readEvent) CloseHandle(m_readEvent);
}

bool RawClient::StartWrite(std::vector<char> message) {
    if (!Connected() || m_write.hEvent) return false;
    m_message = std::move(message);
    m_writeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_write.hEvent = m_writeEvent;
    if (WriteFile(m_pipe, m_message.data(), static_cast<DWORD>(m_message.size()), nullptr, &m_write) ||
        GetLastError() == ERROR_IO_PENDING)
        return true;
    m_write.hEvent = nullptr;  // nothing in flight to wait for
    return false;
}

bool RawClient::WaitWrite(DWORD timeoutMs) {
    DWORD written = 0;
    return m_write.hEvent && WaitForSingleObject(m_writeEvent, timeoutMs) == WAIT_OBJECT_0 &&
           GetOverlappedResult(m_pipe, &m_write, &written, FALSE) && written == m_message.size();
}

bool RawClient::ReadReply(std::vector<char>& reply, DWORD timeoutMs) {
    if (!Connected() || m_read.hEvent) return false;
    m_reply.assign(800, 0);
    m_readEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_read.hEvent = m_readEvent;
    DWORD got = 0;
    if (!ReadFile(m_pipe, m_reply.data(), static_cast<DWORD>(m_reply.size()), nullptr, &m_read) &&
        GetLastError() != ERROR_IO_PENDING) {
        m_read.hEvent = nullptr;  // nothing in flight to wait for
        return false;
    }
    if (WaitForSingleObject(m_readEvent, timeoutMs) != WAIT_OBJECT_0 ||
        !GetOverlappedResult(m_pipe, &m_read, &got, FALSE))
        return false;
    reply.assign(m_reply.begin(), m_reply.begin() + got);
    return true;
}

// ---- the installed service ------------------------------------------------

bool QueryService(SERVICE_STATUS& status) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return false;
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_QUERY_STATUS);
    const bool ok = service && QueryServiceStatus(service, &status);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return ok;
}

bool WaitForServiceState(DWORD state, SERVICE_STATUS& status) {
    const ULONGLONG deadline = GetTickCount64() + kDeadlineMs;
    do {
        if (QueryService(status) && status.dwCurrentState == state) return true;
        Sleep(kPollMs);
    } while (!PastDeadline(deadline));
    return false;
}

bool RemoveServiceIfPresent() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return false;
    bool gone = false;
    const ULONGLONG deadline = GetTickCount64() + kDeadlineMs;
    do {
        SC_HANDLE service = OpenServiceA(manager, kServiceName, DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS);
        if (!service) {
            gone = GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
            if (!gone) Sleep(kPollMs);
            continue;
        }
        SERVICE_STATUS status{};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
               !PastDeadline(deadline))
            Sleep(kPollMs);
        DeleteService(service);
        CloseServiceHandle(service);
    } while (!gone && !PastDeadline(deadline));
    CloseServiceHandle(manager);
    return gone;
}

SIZE_T PrivateBytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
        return 0;
    // Windows reports the private bytes in both fields; Wine 8 leaves
    // PrivateUsage at 0 and reports the process's anonymous memory (its
    // private pages) as PagefileUsage.
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

}  // namespace harrowd_test
