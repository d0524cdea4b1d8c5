#include "wmi_service_registry.h"

#include <windows.h>

#include "ec_registry.h"

namespace emu {
namespace {

const REGSAM kView = KEY_WOW64_64KEY;

// The EC's cross-process lock serialises restarts; readers take none: the
// generation is written last, so a reader that sees it sees the rest too.
class EcLock {
 public:
  EcLock() : held_(backend_.lock()) {}
  ~EcLock() {
    if (held_) backend_.unlock();
  }
  EcLock(const EcLock&) = delete;
  EcLock& operator=(const EcLock&) = delete;
  bool held() const { return held_; }

 private:
  RegistryEcBackend backend_;
  bool held_;
};

}  // namespace

WmiServiceState loadWmiService() {
  WmiServiceState s;
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWmiServiceKey, 0, KEY_QUERY_VALUE | kView, &k) != ERROR_SUCCESS)
    return s;
  DWORD dword = 0, size = sizeof dword;
  if (RegQueryValueExW(k, L"Generation", nullptr, nullptr, reinterpret_cast<BYTE*>(&dword), &size) ==
          ERROR_SUCCESS && size == sizeof dword)
    s.generation = dword;
  ULONGLONG qword = 0;
  size = sizeof qword;
  if (RegQueryValueExW(k, L"DownUntil", nullptr, nullptr, reinterpret_cast<BYTE*>(&qword), &size) ==
          ERROR_SUCCESS && size == sizeof qword)
    s.downUntilMs = qword;
  dword = 0;
  size = sizeof dword;
  if (RegQueryValueExW(k, L"Silent", nullptr, nullptr, reinterpret_cast<BYTE*>(&dword), &size) ==
          ERROR_SUCCESS && size == sizeof dword)
    s.silent = dword != 0;
  RegCloseKey(k);
  return s;
}

std::optional<WmiServiceState> restartWmiService(std::uint32_t downMs, bool silent) {
  EcLock lock;
  if (!lock.held()) return std::nullopt;
  const WmiServiceState next = restarted(loadWmiService(), GetTickCount64(), downMs, silent);
  HKEY k = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kWmiServiceKey, 0, nullptr, 0, KEY_SET_VALUE | kView, nullptr,
                      &k, nullptr) != ERROR_SUCCESS)
    return std::nullopt;
  const ULONGLONG until = next.downUntilMs;
  const DWORD quiet = next.silent ? 1 : 0, generation = next.generation;
  const bool ok =
      RegSetValueExW(k, L"DownUntil", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&until), sizeof until) ==
          ERROR_SUCCESS &&
      RegSetValueExW(k, L"Silent", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&quiet), sizeof quiet) ==
          ERROR_SUCCESS &&
      RegSetValueExW(k, L"Generation", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&generation),
                     sizeof generation) == ERROR_SUCCESS;
  RegCloseKey(k);
  if (!ok) return std::nullopt;
  return next;
}

bool wmiServiceUp() {
  EcLock lock;
  if (!lock.held()) return false;
  HKEY k = nullptr;
  LSTATUS r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWmiServiceKey, 0, KEY_SET_VALUE | kView, &k);
  if (r == ERROR_FILE_NOT_FOUND) return true;
  if (r != ERROR_SUCCESS) return false;
  const ULONGLONG zero = 0;
  r = RegSetValueExW(k, L"DownUntil", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&zero), sizeof zero);
  RegCloseKey(k);
  return r == ERROR_SUCCESS;
}

}  // namespace emu
