#include "install.h"

#include <windows.h>

#include <vector>

#include "ec_registry.h"

namespace emu {
namespace {

// The locator is registered in the registry view of the installing process:
// the 64-bit emuctl registers the 64-bit DLL in the 64-bit view, the 32-bit
// emuctl (run under WoW64) the 32-bit DLL in the 32-bit view, as a 64-bit
// Windows keeps a COM server per bitness. The EC state itself is shared by
// both (ec_registry.cpp).
const REGSAM kView = 0;

std::wstring systemDirectory() {
  wchar_t buf[MAX_PATH];
  UINT n = GetSystemDirectoryW(buf, MAX_PATH);
  return (n && n < MAX_PATH) ? std::wstring(buf, n) : L"C:\\windows\\system32";
}

std::wstring lastErrorText(const wchar_t* what) {
  return std::wstring(what) + L" (error " + std::to_wstring(GetLastError()) + L")";
}

bool readFile(const std::wstring& path, std::vector<char>& out) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(f, &size) && size.QuadPart < (64ll << 20);
  if (ok) {
    out.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    ok = out.empty() || (ReadFile(f, out.data(), static_cast<DWORD>(out.size()), &got, nullptr) &&
                         got == out.size());
  }
  CloseHandle(f);
  return ok;
}

bool sameContent(const std::wstring& a, const std::wstring& b) {
  std::vector<char> x, y;
  return readFile(a, x) && readFile(b, y) && x == y;
}

bool endsWithNoCase(const std::wstring& s, const std::wstring& tail) {
  return s.size() >= tail.size() &&
         CompareStringOrdinal(s.c_str() + s.size() - tail.size(), static_cast<int>(tail.size()),
                              tail.c_str(), static_cast<int>(tail.size()), TRUE) == CSTR_EQUAL;
}

bool setString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::wstring readString(const wchar_t* subkey, const wchar_t* name) {
  wchar_t buf[MAX_PATH * 2];
  DWORD size = sizeof(buf);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_QUERY_VALUE | kView, &key) != ERROR_SUCCESS)
    return {};
  DWORD type = 0;
  LSTATUS s = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(key);
  if (s != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  return std::wstring(buf, wcsnlen(buf, size / sizeof(wchar_t)));
}

bool registerServer(const wchar_t* serverKey, const std::wstring& dll, std::wstring& error) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, serverKey, 0, nullptr, 0, KEY_SET_VALUE | kView,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    error = lastErrorText(L"cannot open the locator's registration");
    return false;
  }
  bool ok = setString(key, nullptr, dll) && setString(key, L"ThreadingModel", L"Both");
  RegCloseKey(key);
  if (!ok) error = L"cannot write the locator's registration";
  return ok;
}

bool registerLocator(const std::wstring& dll, std::wstring& error) {
  return registerServer(kLocatorServerKey, dll, error);
}

// Puts a new copy in place even while a running process (the service, say)
// has the old one loaded: a loaded DLL can be renamed, not overwritten.
bool copyDll(const std::wstring& from, const std::wstring& to, std::wstring& error) {
  if (CopyFileW(from.c_str(), to.c_str(), FALSE)) return true;
  const std::wstring aside = to + L"." + std::to_wstring(GetCurrentProcessId()) + L".old";
  if (MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (CopyFileW(from.c_str(), to.c_str(), FALSE)) return true;
  }
  error = lastErrorText((L"cannot copy " + from + L" to " + to).c_str());
  return false;
}

}  // namespace

bool installSystemDll(const std::wstring& sourceDll, const wchar_t* fileName, std::wstring& installedPath,
                      std::wstring& error) {
  if (GetFileAttributesW(sourceDll.c_str()) == INVALID_FILE_ATTRIBUTES) {
    error = L"missing " + sourceDll;
    return false;
  }
  installedPath = systemDirectory() + L"\\" + fileName;
  return sameContent(sourceDll, installedPath) || copyDll(sourceDll, installedPath, error);
}

std::wstring registeredLocator() { return readString(kLocatorServerKey, nullptr); }

bool installProvider(const std::wstring& sourceDll, std::wstring& installedPath,
                     std::wstring& error) {
  if (GetFileAttributesW(sourceDll.c_str()) == INVALID_FILE_ATTRIBUTES) {
    error = L"missing " + sourceDll;
    return false;
  }
  if (!installSystemDll(sourceDll, kProviderDll, installedPath, error)) return false;
  // Remember what Wine had registered, once: our own DLL is never remembered.
  const std::wstring current = registeredLocator();
  if (!current.empty() && !endsWithNoCase(current, std::wstring(L"\\") + kProviderDll)) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEmulatorKey, 0, nullptr, 0, KEY_SET_VALUE | kView,
                        nullptr, &key, nullptr) != ERROR_SUCCESS ||
        !setString(key, L"OriginalLocator", current)) {
      if (key) RegCloseKey(key);
      error = L"cannot save the original locator registration";
      return false;
    }
    RegCloseKey(key);
  }
  return registerLocator(installedPath, error);
}

bool uninstallProvider(std::wstring& restoredPath, std::wstring& error) {
  restoredPath = readString(kEmulatorKey, L"OriginalLocator");
  if (restoredPath.empty()) restoredPath = systemDirectory() + L"\\wbem\\wbemprox.dll";
  return registerLocator(restoredPath, error);
}

bool installAudio(const std::wstring& sourceDll, std::wstring& installedPath, std::wstring& error) {
  if (GetFileAttributesW(sourceDll.c_str()) == INVALID_FILE_ATTRIBUTES) {
    error = L"missing " + sourceDll;
    return false;
  }
  installedPath = systemDirectory() + L"\\" + kAudioDll;
  if (!sameContent(sourceDll, installedPath) && !copyDll(sourceDll, installedPath, error)) return false;
  return registerServer(kAudioServerKey, installedPath, error);
}

// Wine's own enumerator lives in mmdevapi.dll.
bool uninstallAudio(std::wstring& restoredPath, std::wstring& error) {
  restoredPath = systemDirectory() + L"\\mmdevapi.dll";
  return registerServer(kAudioServerKey, restoredPath, error);
}

}  // namespace emu
