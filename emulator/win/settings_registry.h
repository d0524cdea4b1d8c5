// The emulator's settings beyond the EC registers (core/method_class.h) and
// the per-test overrides of root\CIMV2 classes, kept in the prefix's registry
// (64-bit view) so that every process of a run and emuctl share them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ec_registry.h"
#include "method_class.h"

namespace emu {

// HKLM\Software\EmulatedNotebook\Settings: one REG_DWORD per setting.
inline constexpr wchar_t kSettingsKey[] = L"Software\\EmulatedNotebook\\Settings";
// HKLM\Software\EmulatedNotebook\CIMV2: "Unavailable" (REG_DWORD) and one
// sub-key per overridden class holding property texts (REG_SZ) and
// "Instances" (REG_DWORD, how many of Wine's instances are shown).
inline constexpr wchar_t kCimv2Key[] = L"Software\\EmulatedNotebook\\CIMV2";

class SettingsStore {
 public:
  // Every setting; one never written reads as its default.
  std::optional<SettingFile> readAll();
  // Stores a value up to the setting's maximum; nullopt when refused or failed.
  std::optional<std::uint32_t> write(Setting s, std::uint32_t value);
  bool reset();
  // One step for every process: when failures are pending, uses one up and
  // returns true (this enumeration must fail).
  bool takeInstanceEnumFailure();
  // The same for the power-scheme calls (setting PowerFailCalls).
  bool takePowerFailure();
  void countMethodCall();

 private:
  std::optional<std::uint32_t> readUnlocked(Setting s);
  bool writeUnlocked(Setting s, std::uint32_t value);
  bool takeFailure(Setting pending);
  RegistryEcBackend ec_;  // its cross-process lock guards the settings too
};

struct ClassOverride {
  std::optional<DWORD> instances;                               // absent: all of Wine's
  std::vector<std::pair<std::wstring, std::wstring>> texts;     // property, text
};

bool cimv2Unavailable();
// Whether any override is in place (a connection is then served through
// the overlay of wmi/overlay.h).
bool cimv2Overridden();
std::optional<ClassOverride> cimv2Override(const std::wstring& className);

bool setCimv2Unavailable();
bool setCimv2Instances(const std::wstring& className, DWORD count);
bool setCimv2Text(const std::wstring& className, const std::wstring& property,
                  const std::wstring& text);
bool clearCimv2();

}  // namespace emu
