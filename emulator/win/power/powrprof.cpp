// The emulated powrprof.dll: power schemes in the prefix's registry
// (power_registry.h) behind the Windows power-management functions that
// Wine leaves as stubs or lacks. Loaded in place of Wine's through the DLL
// override powrprof=n,b. Only the functions the suite and its tests call
// are offered; every other entry point Wine's DLL has is absent.
#include <windows.h>
#include <objbase.h>
#include <powrprof.h>

#include <vector>

#include "power_registry.h"
#include "settings_registry.h"

namespace {

bool readWholeFile(LPCWSTR path, std::string& out, DWORD& error) {
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return false;
  }
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(f, &size) && size.QuadPart > 0 && size.QuadPart < (1 << 20);
  if (ok) {
    out.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    ok = ReadFile(f, out.data(), static_cast<DWORD>(out.size()), &got, nullptr) && got == out.size();
  }
  CloseHandle(f);
  if (!ok) error = ERROR_INVALID_DATA;
  return ok;
}

// Failures asked for by a test (emuctl setting PowerFailCalls N): the call
// fails as Windows' does for a caller the power policy is closed to.
bool failedOnRequest() { return emu::SettingsStore().takePowerFailure(); }

GUID* newGuid(const GUID& g) {
  auto* p = static_cast<GUID*>(LocalAlloc(LMEM_FIXED, sizeof(GUID)));
  if (p) *p = g;
  return p;
}

}  // namespace

extern "C" {

DWORD WINAPI PowerGetActiveScheme(HKEY, GUID** activePolicyGuid) {
  if (!activePolicyGuid) return ERROR_INVALID_PARAMETER;
  if (failedOnRequest()) return ERROR_ACCESS_DENIED;
  GUID g{};
  if (DWORD e = emu::PowerStore().active(g)) return e;
  *activePolicyGuid = newGuid(g);
  return *activePolicyGuid ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

DWORD WINAPI PowerSetActiveScheme(HKEY, const GUID* schemeGuid) {
  if (!schemeGuid) return ERROR_INVALID_PARAMETER;
  if (failedOnRequest()) return ERROR_ACCESS_DENIED;
  return emu::PowerStore().setActive(*schemeGuid);
}

DWORD WINAPI PowerEnumerate(HKEY, const GUID* schemeGuid, const GUID* subGroup, POWER_DATA_ACCESSOR accessFlags,
                            ULONG index, UCHAR* buffer, DWORD* bufferSize) {
  if (!bufferSize) return ERROR_INVALID_PARAMETER;
  if (failedOnRequest()) return ERROR_ACCESS_DENIED;
  // Only the schemes themselves are enumerated here.
  if (accessFlags != ACCESS_SCHEME || schemeGuid || subGroup) return ERROR_NOT_SUPPORTED;
  std::vector<emu::PowerScheme> all;
  if (DWORD e = emu::PowerStore().schemes(all)) return e;
  if (index >= all.size()) return ERROR_NO_MORE_ITEMS;
  if (!buffer) {
    *bufferSize = sizeof(GUID);
    return ERROR_SUCCESS;
  }
  if (*bufferSize < sizeof(GUID)) {
    *bufferSize = sizeof(GUID);
    return ERROR_MORE_DATA;
  }
  memcpy(buffer, &all[index].guid, sizeof(GUID));
  *bufferSize = sizeof(GUID);
  return ERROR_SUCCESS;
}

DWORD WINAPI PowerImportPowerScheme(HKEY, LPCWSTR importFileNamePath, GUID** destinationSchemeGuid) {
  if (!importFileNamePath || !destinationSchemeGuid) return ERROR_INVALID_PARAMETER;
  if (failedOnRequest()) return ERROR_ACCESS_DENIED;
  std::string content;
  DWORD error = 0;
  if (!readWholeFile(importFileNamePath, content, error)) return error;
  auto name = emu::schemeFileName(content);
  if (!name) return ERROR_INVALID_DATA;
  GUID g{};
  const bool given = *destinationSchemeGuid != nullptr;
  if (given)
    g = **destinationSchemeGuid;
  else if (CoCreateGuid(&g) != S_OK)
    return ERROR_NOT_ENOUGH_MEMORY;
  if (DWORD e = emu::PowerStore().add(g, *name, importFileNamePath)) return e;
  if (!given) *destinationSchemeGuid = newGuid(g);
  return ERROR_SUCCESS;
}

DWORD WINAPI PowerDeleteScheme(HKEY, const GUID* schemeGuid) {
  if (!schemeGuid) return ERROR_INVALID_PARAMETER;
  if (failedOnRequest()) return ERROR_ACCESS_DENIED;
  return emu::PowerStore().remove(*schemeGuid);
}

BOOLEAN WINAPI ReadGlobalPwrPolicy(PGLOBAL_POWER_POLICY policy) {
  if (!policy) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD low = 0, critical = 0;
  if (DWORD e = emu::PowerStore().alarmLevels(low, critical)) {
    SetLastError(e);
    return FALSE;
  }
  *policy = {};
  policy->user.Revision = 1;
  policy->mach.Revision = 1;
  auto& user = policy->user.DischargePolicy;
  user[DISCHARGE_POLICY_CRITICAL].Enable = TRUE;
  user[DISCHARGE_POLICY_CRITICAL].BatteryLevel = critical;
  user[DISCHARGE_POLICY_LOW].Enable = TRUE;
  user[DISCHARGE_POLICY_LOW].BatteryLevel = low;
  return TRUE;
}

}  // extern "C"
