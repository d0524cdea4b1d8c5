// The service program's routines shared between its service control part
// and its pipe server.
#pragma once

#include <windows.h>

namespace harrowd {

// Program entry: console commands, or the service control dispatcher.
int RunProgram(int argc, char** argv);

// Sends one status report to the service control manager (nothing in debug
// mode, where it always succeeds).
BOOL SetServiceState(DWORD state, DWORD exitCode, DWORD waitHint);

// Writes an error entry with `message` and the last error code to the event
// log and keeps the code for the final status report (nothing in debug mode).
void LogServiceError(const char* message);

// Fills `area` with the system's message for the last error code and the
// code, or with an empty text; returns `area`.
const char* FormatSystemError(char* area, DWORD size);

// Serves the command pipe until SignalStop is called (pipe_server.cpp).
void ServePipe(DWORD argc, char** argv);

// Asks ServePipe to stop; safe from any thread, at any time.
void SignalStop();

}  // namespace harrowd
