#include "settings_registry.h"

#include "wide.h"

namespace emu {
namespace {

const REGSAM kView = KEY_WOW64_64KEY;

class Key {
 public:
  Key(const std::wstring& path, bool create) {
    LSTATUS s = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                         KEY_READ | KEY_WRITE | kView, nullptr, &k_, nullptr)
                       : RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | kView, &k_);
    if (s != ERROR_SUCCESS) k_ = nullptr;
  }
  ~Key() {
    if (k_) RegCloseKey(k_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return k_; }

  std::optional<DWORD> dword(const wchar_t* name) const {
    DWORD data = 0, size = sizeof(data), type = 0;
    if (!k_ || RegQueryValueExW(k_, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
                   ERROR_SUCCESS ||
        type != REG_DWORD)
      return std::nullopt;
    return data;
  }
  bool setDword(const wchar_t* name, DWORD value) const {
    return k_ && RegSetValueExW(k_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                sizeof(value)) == ERROR_SUCCESS;
  }

 private:
  HKEY k_ = nullptr;
};

class Locked {
 public:
  explicit Locked(RegistryEcBackend& b) : b_(b), held_(b.lock()) {}
  ~Locked() {
    if (held_) b_.unlock();
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  bool held() const { return held_; }

 private:
  RegistryEcBackend& b_;
  bool held_;
};

std::wstring classKey(const std::wstring& className) {
  return std::wstring(kCimv2Key) + L"\\" + className;
}

}  // namespace

std::optional<std::uint32_t> SettingsStore::readUnlocked(Setting s) {
  const auto& info = settingInfo(s);
  Key k(kSettingsKey, false);
  if (!k.get()) return info.defaultValue;
  auto v = k.dword(toWide(info.name).c_str());
  return v ? *v : info.defaultValue;
}

bool SettingsStore::writeUnlocked(Setting s, std::uint32_t value) {
  return Key(kSettingsKey, true).setDword(toWide(settingInfo(s).name).c_str(), value);
}

std::optional<SettingFile> SettingsStore::readAll() {
  Locked l(ec_);
  if (!l.held()) return std::nullopt;
  SettingFile f{};
  for (const auto& s : settings()) f[static_cast<int>(s.id)] = *readUnlocked(s.id);
  return f;
}

std::optional<std::uint32_t> SettingsStore::write(Setting s, std::uint32_t value) {
  if (value > settingInfo(s).maximum) return std::nullopt;
  Locked l(ec_);
  if (!l.held() || !writeUnlocked(s, value)) return std::nullopt;
  return value;
}

bool SettingsStore::reset() {
  Locked l(ec_);
  if (!l.held()) return false;
  LSTATUS r = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, kView, 0);
  return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

bool SettingsStore::takeFailure(Setting which) {
  Locked l(ec_);
  if (!l.held()) return false;
  auto pending = readUnlocked(which);
  if (!pending || *pending == 0) return false;
  writeUnlocked(which, *pending - 1);
  return true;
}

bool SettingsStore::takeInstanceEnumFailure() { return takeFailure(Setting::FailInstanceEnums); }

bool SettingsStore::takePowerFailure() { return takeFailure(Setting::PowerFailCalls); }

void SettingsStore::countMethodCall() {
  Locked l(ec_);
  if (!l.held()) return;
  if (auto n = readUnlocked(Setting::MethodCalls)) writeUnlocked(Setting::MethodCalls, *n + 1);
}

bool cimv2Unavailable() { return Key(kCimv2Key, false).dword(L"Unavailable").value_or(0) != 0; }

bool cimv2Overridden() {
  Key k(kCimv2Key, false);
  if (!k.get()) return false;
  DWORD subKeys = 0, values = 0;
  if (RegQueryInfoKeyW(k.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  return subKeys > 0 || values > 0;
}

std::optional<ClassOverride> cimv2Override(const std::wstring& className) {
  Key k(classKey(className), false);
  if (!k.get()) return std::nullopt;
  ClassOverride o;
  o.instances = k.dword(L"Instances");
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLen = 256, type = 0, size = 0;
    if (RegEnumValueW(k.get(), i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      break;
    if (type != REG_SZ) continue;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(k.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()),
                         &got) != ERROR_SUCCESS)
      continue;
    text.resize(wcsnlen(text.c_str(), text.size()));
    o.texts.emplace_back(name, std::move(text));
  }
  return o;
}

bool setCimv2Unavailable() { return Key(kCimv2Key, true).setDword(L"Unavailable", 1); }

bool setCimv2Instances(const std::wstring& className, DWORD count) {
  return Key(classKey(className), true).setDword(L"Instances", count);
}

bool setCimv2Text(const std::wstring& className, const std::wstring& property,
                  const std::wstring& text) {
  Key k(classKey(className), true);
  return k.get() &&
         RegSetValueExW(k.get(), property.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool clearCimv2() {
  HKEY k = nullptr;
  LSTATUS r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCimv2Key, 0, KEY_ALL_ACCESS | kView, &k);
  if (r == ERROR_FILE_NOT_FOUND) return true;
  if (r != ERROR_SUCCESS) return false;
  r = RegDeleteTreeW(k, nullptr);  // every class sub-key and value
  RegCloseKey(k);
  if (r != ERROR_SUCCESS) return false;
  r = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kCimv2Key, kView, 0);
  return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

}  // namespace emu
