// Helpers shared by the bridge's Windows test programs.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Brindle.h"

inline constexpr char kMalformed[] = "Please input correct parameter !";
inline constexpr char kNoObjects[] = "Physical Instance = 0, Can't get any data.";
inline constexpr char kTooFew[] = "CPtrArray size is over than spec.";

// Owns a BSTR made from a wide literal.
class Wide {
public:
    explicit Wide(const wchar_t* text) : m_s(SysAllocString(text)) {}
    ~Wide() { SysFreeString(m_s); }
    Wide(const Wide&) = delete;
    Wide& operator=(const Wide&) = delete;
    operator BSTR() const { return m_s; }
    BSTR* Address() { return &m_s; }

private:
    BSTR m_s;
};

// Runs one command string through a bridge object of this thread. The reply
// area starts filled with '#', so a reply that is not terminated shows.
inline std::string Reply(const std::string& command) {
    CBrindle bridge;
    char reply[800];
    std::memset(reply, '#', sizeof reply);
    reply[sizeof reply - 1] = '\0';
    bridge.CallBrindleParser(command.c_str(), reply);
    return reply;
}

inline std::string Directory() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

// The command line that runs a program of the build's bin folder.
inline std::string ToolCommandLine(const std::string& program, const std::string& arguments) {
    return "\"" + Directory() + program + "\" " + arguments;
}

// Runs a program of the build's bin folder and returns its standard output
// without the final line break (empty if it could not be run or did not end
// within a minute).
inline std::string RunTool(const std::string& program, const std::string& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::string commandLine = ToolCommandLine(program, arguments);
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    BOOL started = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    const DWORD startError = started ? 0 : GetLastError();
    CloseHandle(writeEnd);
    // What went wrong is the output, so that a test's failure message says it.
    std::string output = started ? "" : program + " could not be started, error " + std::to_string(startError);
    if (started) {
        // Drain the output on a thread so that the wait for the program below
        // is the one bounded wait; ending a stuck program closes the pipe.
        std::thread reader([&] {
            char chunk[512];
            DWORD got = 0;
            while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) output.append(chunk, got);
        });
        bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
        if (!ended) TerminateProcess(process.hProcess, 1);
        reader.join();
        DWORD exitCode = 0;
        GetExitCodeProcess(process.hProcess, &exitCode);
        if (!ended) output = program + " did not end within 60 s";
        else if (output.empty()) output = program + " printed nothing, exit code " + std::to_string(exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return output;
}

