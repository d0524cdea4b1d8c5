#include "child_process.h"

#include <cstdlib>
#include <cstring>

namespace vxtest {

std::string BinDir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.rfind('\\') + 1);
}

int Run(const std::string& program, const std::string& args, std::string* output, DWORD timeoutMs) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return -1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::string line = "\"" + BinDir() + program + "\" " + args;
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                                  &si, &pi);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return -1;
    }
    std::string text;
    char buf[512];
    DWORD got = 0;
    while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got) text.append(buf, got);
    CloseHandle(readEnd);
    int code = -1;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD exit = 0;
        GetExitCodeProcess(pi.hProcess, &exit);
        code = static_cast<int>(exit);
    } else {
        TerminateProcess(pi.hProcess, 1);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (output) *output = text;
    return code;
}

ChildRun::ChildRun(const std::string& program, const std::string& args) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::string line = "\"" + BinDir() + program + "\" " + args;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
        m_pi = {};
}

ChildRun::~ChildRun() {
    if (!m_pi.hProcess) return;
    if (WaitForSingleObject(m_pi.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(m_pi.hProcess, 1);
        WaitForSingleObject(m_pi.hProcess, 10000);
    }
    CloseHandle(m_pi.hThread);
    CloseHandle(m_pi.hProcess);
}

int ChildRun::WaitExit(DWORD timeoutMs) {
    if (!m_pi.hProcess || WaitForSingleObject(m_pi.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD exit = 0;
    GetExitCodeProcess(m_pi.hProcess, &exit);
    return static_cast<int>(exit);
}

unsigned EcGet(const char* reg) {
    std::string out;
    Run("emuctl.exe", std::string("get ") + reg, &out);
    std::string key = std::string(reg) + "=";
    auto at = out.find(key);
    return at == std::string::npos ? 0xFFFFFFFFu : std::strtoul(out.c_str() + at + key.size(), nullptr, 0);
}

void EcSet(const char* reg, unsigned value) { Run("emuctl.exe", std::string("set ") + reg + " " + std::to_string(value)); }

ServiceRun::ServiceRun() {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::string line = "\"" + BinDir() + "Harrowd.exe\" -debug";
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW,
                        nullptr, nullptr, &si, &m_pi))
        return;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 20000) {
        if (WaitNamedPipeA("\\\\.\\pipe\\simple", 100)) {
            m_serving = true;
            break;
        }
        if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_OBJECT_0) break;
        Sleep(20);
    }
}

ServiceRun::~ServiceRun() {
    if (!m_pi.hProcess) return;
    TerminateProcess(m_pi.hProcess, 0);
    WaitForSingleObject(m_pi.hProcess, 10000);
    CloseHandle(m_pi.hThread);
    CloseHandle(m_pi.hProcess);
}

void Press(WORD vk) {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

void PumpFor(std::size_t (*arrived)(), std::size_t count, DWORD deadlineMs, DWORD settleMs) {
    const DWORD start = GetTickCount();
    DWORD settled = 0;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        const DWORD now = GetTickCount();
        if (arrived() >= count && !settled) settled = now;
        if ((settled && now - settled >= settleMs) || now - start >= deadlineMs) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

}  // namespace vxtest
