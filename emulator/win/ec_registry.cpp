#include "ec_registry.h"

#include <sddl.h>

#include "wide.h"

namespace emu {
namespace {

// Every process of the run, whatever its account, must be able to take the
// lock: the mutex gets a DACL granting everyone full access.
HANDLE createSharedMutex() {
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, FALSE};
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;WD)", SDDL_REVISION_1, &sd,
                                                           nullptr))
    sa.lpSecurityDescriptor = sd;
  HANDLE m = CreateMutexW(&sa, FALSE, kEcMutex);
  if (!m) m = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kEcMutex);
  if (sd) LocalFree(sd);
  return m;
}

// A holder of the lock that died leaves the registry consistent (each value
// is written whole), so an abandoned mutex is simply taken over. The wait is
// bounded so a stuck process cannot hang every other one.
constexpr DWORD kLockWaitMs = 10000;

const REGSAM kView = KEY_WOW64_64KEY;

}  // namespace

RegistryEcBackend::RegistryEcBackend() : mutex_(createSharedMutex()) {}

RegistryEcBackend::~RegistryEcBackend() {
  if (mutex_) CloseHandle(mutex_);
}

bool RegistryEcBackend::lock() {
  if (!mutex_) return false;
  DWORD r = WaitForSingleObject(mutex_, kLockWaitMs);
  return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void RegistryEcBackend::unlock() {
  if (mutex_) ReleaseMutex(mutex_);
}

EcBackend::Load RegistryEcBackend::load(Register reg, std::uint32_t& value) {
  HKEY key = nullptr;
  LSTATUS s = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEcKey, 0, KEY_QUERY_VALUE | kView, &key);
  if (s == ERROR_FILE_NOT_FOUND) return Load::Missing;
  if (s != ERROR_SUCCESS) return Load::Failed;
  const std::wstring name = toWide(spec(reg).name);
  DWORD data = 0, size = sizeof(data), type = 0;
  s = RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  RegCloseKey(key);
  if (s == ERROR_FILE_NOT_FOUND) return Load::Missing;
  if (s != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(data)) return Load::Failed;
  value = data;
  return Load::Ok;
}

bool RegistryEcBackend::store(Register reg, std::uint32_t value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEcKey, 0, nullptr, 0, KEY_SET_VALUE | kView, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return false;
  const std::wstring name = toWide(spec(reg).name);
  DWORD data = value;
  LSTATUS s = RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                             sizeof(data));
  RegCloseKey(key);
  return s == ERROR_SUCCESS;
}

}  // namespace emu
