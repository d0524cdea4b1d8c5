// For Windows tests of other subsystems that drive the emulated notebook:
// runs emuctl.exe from the test program's folder as a second process of the
// run, within a deadline, and returns its exit code and output.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>

namespace emutest {

struct EmuctlResult {
  DWORD exitCode = 0xFFFFFFFF;  // also when it could not run or did not end in time
  std::string out;              // standard output and error, without '\r'
};

// With input, emuctl reads it as its standard input (then end of file).
inline EmuctlResult RunEmuctl(const std::wstring& args, DWORD timeoutMs = 30000, const std::string* input = nullptr) {
  EmuctlResult r;
  wchar_t path[MAX_PATH];
  std::wstring dir(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  dir.resize(dir.find_last_of(L'\\') + 1);
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return r;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE inRead = nullptr, inWrite = nullptr;
  if (input) {
    if (!CreatePipe(&inRead, &inWrite, &sa, static_cast<DWORD>(input->size() + 4096))) return r;
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    DWORD put = 0;
    WriteFile(inWrite, input->data(), static_cast<DWORD>(input->size()), &put, nullptr);
    CloseHandle(inWrite);
    si.hStdInput = inRead;
  }
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + dir + L"emuctl.exe\" " + args;
  BOOL started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                nullptr, nullptr, &si, &pi);
  const DWORD startError = started ? 0 : GetLastError();
  CloseHandle(writeEnd);
  if (inRead) CloseHandle(inRead);
  if (!started) r.out = "emuctl could not be started, error " + std::to_string(startError);
  if (started) {
    // Drained on a thread so that the wait below is the one bounded wait.
    std::thread reader([&] {
      char buf[1024];
      DWORD got = 0;
      while (ReadFile(readEnd, buf, sizeof(buf), &got, nullptr) && got) r.out.append(buf, got);
    });
    const DWORD wait = WaitForSingleObject(pi.hProcess, timeoutMs);
    if (wait == WAIT_OBJECT_0)
      GetExitCodeProcess(pi.hProcess, &r.exitCode);
    else
      TerminateProcess(pi.hProcess, 99);
    reader.join();
    if (wait != WAIT_OBJECT_0) r.out += "\nemuctl did not end in time (wait " + std::to_string(wait) + ")";
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(readEnd);
  r.out.erase(std::remove(r.out.begin(), r.out.end(), '\r'), r.out.end());
  return r;
}

}  // namespace emutest
