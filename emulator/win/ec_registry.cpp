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

class ExclusiveGuard {
 public:
  explicit ExclusiveGuard(SRWLOCK& l) : l_(l) { AcquireSRWLockExclusive(&l_); }
  ~ExclusiveGuard() { ReleaseSRWLockExclusive(&l_); }
  ExclusiveGuard(const ExclusiveGuard&) = delete;
  ExclusiveGuard& operator=(const ExclusiveGuard&) = delete;

 private:
  SRWLOCK& l_;
};

}  // namespace

RegistryEcBackend::RegistryEcBackend() : mutex_(createSharedMutex()) {}

RegistryEcBackend::~RegistryEcBackend() {
  dropKey();
  if (mutex_) CloseHandle(mutex_);
}

HKEY RegistryEcBackend::key(bool forWrite) {
  if (key_ && (keyWritable_ || !forWrite)) return key_;
  dropKey();
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEcKey, 0, nullptr, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE | kView, nullptr, &key_,
                      nullptr) == ERROR_SUCCESS) {
    keyWritable_ = true;
  } else if (!forWrite &&
             RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEcKey, 0, KEY_QUERY_VALUE | kView, &key_) ==
                 ERROR_SUCCESS) {
    keyWritable_ = false;
  } else {
    key_ = nullptr;
  }
  return key_;
}

void RegistryEcBackend::dropKey() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
  keyWritable_ = false;
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
  const std::wstring name = toWide(registerInfo(reg).name);
  ExclusiveGuard g(keyLock_);
  // A second attempt with a fresh handle covers a key deleted and created
  // again by another process since this one opened it.
  for (int attempt = 0; attempt < 2; ++attempt) {
    HKEY k = key(false);
    if (!k) return Load::Missing;  // no EC key yet: every register at its default
    DWORD data = 0, size = sizeof(data), type = 0;
    LSTATUS s = RegQueryValueExW(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data),
                                 &size);
    if (s == ERROR_FILE_NOT_FOUND) return Load::Missing;
    if (s == ERROR_SUCCESS) {
      if (type != REG_DWORD || size != sizeof(data)) return Load::Failed;
      value = data;
      return Load::Ok;
    }
    dropKey();
  }
  return Load::Failed;
}

bool RegistryEcBackend::store(Register reg, std::uint32_t value) {
  const std::wstring name = toWide(registerInfo(reg).name);
  DWORD data = value;
  ExclusiveGuard g(keyLock_);
  for (int attempt = 0; attempt < 2; ++attempt) {
    HKEY k = key(true);
    if (!k) return false;
    if (RegSetValueExW(k, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                       sizeof(data)) == ERROR_SUCCESS)
      return true;
    dropKey();
  }
  return false;
}

std::string loadLabel() {
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEmulatorKey, 0, KEY_QUERY_VALUE | kView, &k) != ERROR_SUCCESS)
    return {};
  // Bounded: a label longer than this is test misuse and reads as empty.
  wchar_t text[4096];
  DWORD size = sizeof(text) - sizeof(wchar_t), type = 0;
  const LSTATUS s = RegQueryValueExW(k, L"Label", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(k);
  if (s != ERROR_SUCCESS || type != REG_SZ) return {};
  std::wstring_view w(text, size / sizeof(wchar_t));
  while (!w.empty() && w.back() == L'\0') w.remove_suffix(1);
  return toUtf8(w);
}

bool storeLabel(std::string_view text) {
  HKEY k = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEmulatorKey, 0, nullptr, 0, KEY_SET_VALUE | kView, nullptr,
                      &k, nullptr) != ERROR_SUCCESS)
    return false;
  LSTATUS s;
  if (text.empty()) {
    s = RegDeleteValueW(k, L"Label");
    if (s == ERROR_FILE_NOT_FOUND) s = ERROR_SUCCESS;
  } else {
    const std::wstring w = toWide(text);
    s = RegSetValueExW(k, L"Label", 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                       static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(k);
  return s == ERROR_SUCCESS;
}

}  // namespace emu
