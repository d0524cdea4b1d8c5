// The service's failure actions in the service control manager, set by the
// install command and again by the service itself each time it starts, so that
// a service installed any other way (the installer package) gets them too.
#pragma once

#include <windows.h>

namespace harrowd {

// The configuration call, ChangeServiceConfig2A unless a test observes it.
using ChangeConfig2 = BOOL(WINAPI*)(SC_HANDLE service, DWORD infoLevel, LPVOID info);

// Gives `service` (opened with SERVICE_CHANGE_CONFIG and SERVICE_START, the
// access restart actions need) the failure actions of kFailurePolicy. On
// failure the last error is that of the call.
bool SetFailureActions(SC_HANDLE service, ChangeConfig2 change = ChangeServiceConfig2A);

// Opens the installed service by its name and sets its failure actions.
bool SetOwnFailureActions(ChangeConfig2 change = ChangeServiceConfig2A);

// The access SetFailureActions needs on the service handle.
inline constexpr DWORD kFailureActionsAccess = SERVICE_CHANGE_CONFIG | SERVICE_START;

}  // namespace harrowd
