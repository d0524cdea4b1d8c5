#include "power_registry.h"

#include <cwchar>

#include "wide.h"

namespace emu {
namespace {

const REGSAM kView = KEY_WOW64_64KEY;
constexpr wchar_t kSchemesKey[] = L"Software\\EmulatedNotebook\\Power\\Schemes";
constexpr wchar_t kActiveValue[] = L"ActiveScheme";
constexpr wchar_t kNameValue[] = L"FriendlyName";
constexpr wchar_t kSourceValue[] = L"Source";
constexpr wchar_t kLowValue[] = L"LowAlarmLevel";
constexpr wchar_t kCriticalValue[] = L"CriticalAlarmLevel";
constexpr DWORD kDefaultLow = 10, kDefaultCritical = 5;

class Key {
 public:
  Key(const std::wstring& path, bool create) {
    LSTATUS s = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                         KEY_READ | KEY_WRITE | kView, nullptr, &k_, nullptr)
                       : RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WRITE | kView, &k_);
    status_ = static_cast<DWORD>(s);
    if (s != ERROR_SUCCESS) k_ = nullptr;
  }
  ~Key() {
    if (k_) RegCloseKey(k_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return k_; }
  DWORD status() const { return status_; }

  std::optional<std::wstring> text(const wchar_t* name) const {
    wchar_t buf[512] = {};
    DWORD size = sizeof(buf) - sizeof(wchar_t), type = 0;
    if (!k_ || RegQueryValueExW(k_, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
      return std::nullopt;
    return std::wstring(buf, wcsnlen(buf, size / sizeof(wchar_t)));
  }
  DWORD setText(const wchar_t* name, const std::wstring& v) const {
    return static_cast<DWORD>(RegSetValueExW(k_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                                             static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t))));
  }
  std::optional<DWORD> dword(const wchar_t* name) const {
    DWORD data = 0, size = sizeof(data), type = 0;
    if (!k_ || RegQueryValueExW(k_, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
      return std::nullopt;
    return data;
  }
  DWORD setDword(const wchar_t* name, DWORD v) const {
    return static_cast<DWORD>(
        RegSetValueExW(k_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof(v)));
  }

 private:
  HKEY k_ = nullptr;
  DWORD status_ = 0;
};

std::wstring schemeKey(const GUID& g) { return std::wstring(kSchemesKey) + L"\\" + guidText(g); }

bool schemeExists(const GUID& g) { return Key(schemeKey(g), false).get() != nullptr; }

}  // namespace

std::wstring guidText(const GUID& g) {
  wchar_t buf[40];
  swprintf(buf, 40, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned long>(g.Data1),
           g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
           g.Data4[7]);
  return buf;
}

std::optional<GUID> parseGuid(const std::wstring& text) {
  std::wstring t = text;
  if (t.size() == 38 && t.front() == L'{' && t.back() == L'}') t = t.substr(1, 36);
  if (t.size() != 36) return std::nullopt;
  std::wstring hex;
  for (std::size_t i = 0; i < t.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash != (t[i] == L'-')) return std::nullopt;
    if (!dash) {
      if (!iswxdigit(t[i])) return std::nullopt;
      hex += t[i];
    }
  }
  auto part = [&](std::size_t at, std::size_t n) { return std::wcstoul(hex.substr(at, n).c_str(), nullptr, 16); };
  GUID g{};
  g.Data1 = part(0, 8);
  g.Data2 = static_cast<unsigned short>(part(8, 4));
  g.Data3 = static_cast<unsigned short>(part(12, 4));
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<unsigned char>(part(16 + 2 * i, 2));
  return g;
}

PowerStore::PowerStore() {
  lock_ = CreateMutexW(nullptr, FALSE, L"Global\\EmulatedNotebookPowerLock");
  if (lock_) {
    DWORD w = WaitForSingleObject(lock_, 10000);
    held_ = w == WAIT_OBJECT_0 || w == WAIT_ABANDONED;
  }
}

PowerStore::~PowerStore() {
  if (held_) ReleaseMutex(lock_);
  if (lock_) CloseHandle(lock_);
}

DWORD PowerStore::ensureDefaults() {
  if (!held_) return ERROR_LOCK_VIOLATION;
  if (Key(kSchemesKey, false).get()) return ERROR_SUCCESS;
  return reset();
}

DWORD PowerStore::reset() {
  if (!held_) return ERROR_LOCK_VIOLATION;
  RegDeleteTreeW(Key(kPowerKey, true).get(), nullptr);
  Key power(kPowerKey, true);
  if (!power.get()) return power.status();
  Key schemes(kSchemesKey, true);
  if (!schemes.get()) return schemes.status();
  struct Default {
    const GUID* guid;
    const wchar_t* name;
  };
  static const Default defaults[] = {
      {&kBalancedScheme, L"Balanced"}, {&kHighPerformanceScheme, L"High performance"}, {&kPowerSaverScheme, L"Power saver"}};
  for (const auto& d : defaults) {
    Key k(schemeKey(*d.guid), true);
    if (!k.get()) return k.status();
    k.setText(kNameValue, d.name);
  }
  power.setDword(kLowValue, kDefaultLow);
  power.setDword(kCriticalValue, kDefaultCritical);
  return power.setText(kActiveValue, guidText(kBalancedScheme));
}

DWORD PowerStore::schemes(std::vector<PowerScheme>& out) {
  out.clear();
  if (DWORD e = ensureDefaults()) return e;
  Key schemes(kSchemesKey, false);
  if (!schemes.get()) return schemes.status();
  for (DWORD i = 0;; ++i) {
    wchar_t name[64];
    DWORD len = 64;
    LSTATUS s = RegEnumKeyExW(schemes.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (s == ERROR_NO_MORE_ITEMS) break;
    if (s != ERROR_SUCCESS) return static_cast<DWORD>(s);
    auto g = parseGuid(name);
    if (!g) continue;
    out.push_back({*g, Key(schemeKey(*g), false).text(kNameValue).value_or(L"")});
  }
  return ERROR_SUCCESS;
}

DWORD PowerStore::active(GUID& out) {
  if (DWORD e = ensureDefaults()) return e;
  auto g = parseGuid(Key(kPowerKey, false).text(kActiveValue).value_or(L""));
  if (!g) return ERROR_FILE_NOT_FOUND;
  out = *g;
  return ERROR_SUCCESS;
}

DWORD PowerStore::setActive(const GUID& g) {
  if (DWORD e = ensureDefaults()) return e;
  if (!schemeExists(g)) return ERROR_FILE_NOT_FOUND;
  return Key(kPowerKey, true).setText(kActiveValue, guidText(g));
}

DWORD PowerStore::add(const GUID& g, const std::wstring& name, const std::wstring& source) {
  if (DWORD e = ensureDefaults()) return e;
  Key k(schemeKey(g), true);
  if (!k.get()) return k.status();
  if (DWORD e = k.setText(kNameValue, name)) return e;
  return source.empty() ? ERROR_SUCCESS : k.setText(kSourceValue, source);
}

DWORD PowerStore::remove(const GUID& g) {
  if (DWORD e = ensureDefaults()) return e;
  if (!schemeExists(g)) return ERROR_FILE_NOT_FOUND;
  GUID current{};
  if (active(current) == ERROR_SUCCESS && IsEqualGUID(current, g)) return ERROR_ACCESS_DENIED;
  Key schemes(kSchemesKey, false);
  return static_cast<DWORD>(RegDeleteKeyExW(schemes.get(), guidText(g).c_str(), kView, 0));
}

DWORD PowerStore::alarmLevels(DWORD& low, DWORD& critical) {
  if (DWORD e = ensureDefaults()) return e;
  Key power(kPowerKey, false);
  low = power.dword(kLowValue).value_or(kDefaultLow);
  critical = power.dword(kCriticalValue).value_or(kDefaultCritical);
  return ERROR_SUCCESS;
}

DWORD PowerStore::setAlarmLevels(DWORD low, DWORD critical) {
  if (DWORD e = ensureDefaults()) return e;
  if (low > 100 || critical > 100) return ERROR_INVALID_PARAMETER;
  Key power(kPowerKey, true);
  if (DWORD e = power.setDword(kLowValue, low)) return e;
  return power.setDword(kCriticalValue, critical);
}

std::optional<std::wstring> schemeFileName(const std::string& content) {
  const std::string marker = "\"FriendlyName\"=\"";
  auto at = content.find(marker);
  if (at == std::string::npos) return std::nullopt;
  at += marker.size();
  auto end = content.find('"', at);
  if (end == std::string::npos) return std::nullopt;
  return toWide(content.substr(at, end - at));
}

}  // namespace emu
