// Small helpers for the Windows tests: run a program from the test's own
// directory and capture its output, or keep the command service running for
// the length of a test.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace vxtest {

// The directory of the running test program, with a trailing backslash.
std::string BinDir();

// Runs "BinDir()program args", waits at most timeoutMs, returns its exit code
// (-1 when it could not run or did not end in time) and its standard output.
int Run(const std::string& program, const std::string& args, std::string* output = nullptr, DWORD timeoutMs = 30000);

// "BinDir()program args" started and left running (a window program the
// test looks at from outside); ended by its handle when the object goes,
// unless it has ended on its own.
class ChildRun {
public:
    ChildRun(const std::string& program, const std::string& args);
    ~ChildRun();
    ChildRun(const ChildRun&) = delete;
    ChildRun& operator=(const ChildRun&) = delete;

    bool Started() const { return m_pi.hProcess != nullptr; }
    DWORD Pid() const { return m_pi.dwProcessId; }
    HANDLE Process() const { return m_pi.hProcess; }
    // Waits at most timeoutMs for the program to end: its exit code, or -1
    // when it still runs (or never started).
    int WaitExit(DWORD timeoutMs);

private:
    PROCESS_INFORMATION m_pi = {};
};

// The emulated EC, through its command-line tool.
unsigned EcGet(const char* reg);
void EcSet(const char* reg, unsigned value);

// Harrowd.exe -debug serving the command pipe while the object lives.
class ServiceRun {
public:
    ServiceRun();
    ~ServiceRun();
    ServiceRun(const ServiceRun&) = delete;
    ServiceRun& operator=(const ServiceRun&) = delete;
    bool Serving() const { return m_serving; }

private:
    PROCESS_INFORMATION m_pi = {};
    bool m_serving = false;
};

// Dispatches this thread's messages until arrived() returns at least
// `count` (then `settleMs` longer, to catch any extra one) or `deadlineMs`
// passed.
void PumpFor(std::size_t (*arrived)(), std::size_t count, DWORD deadlineMs, DWORD settleMs = 300);

// Presses and releases a key through the system's input queue, as a keyboard
// would: low-level keyboard hooks see it before any window does.
void Press(WORD vk);

}  // namespace vxtest
