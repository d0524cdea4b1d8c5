// The emulated power schemes, kept in the prefix's registry (64-bit view,
// HKLM\Software\EmulatedNotebook\Power) so that every process of a run,
// whatever its bitness, and emuctl see one state. Used by the emulated
// powrprof.dll and by emuctl.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace emu {

inline constexpr wchar_t kPowerKey[] = L"Software\\EmulatedNotebook\\Power";

// The system's own schemes, present after a reset: Balanced (active),
// High performance and Power saver.
inline constexpr GUID kBalancedScheme = {0x381B4222, 0xF694, 0x41F0, {0x96, 0x85, 0xFF, 0x5B, 0xB2, 0x60, 0xDF, 0x2E}};
inline constexpr GUID kHighPerformanceScheme = {0x8C5E7FDA, 0xE8BF, 0x4A96, {0x9A, 0x85, 0xA6, 0xE2, 0x3A, 0x8C, 0x63, 0x5C}};
inline constexpr GUID kPowerSaverScheme = {0xA1841308, 0x3541, 0x4FAB, {0xBC, 0x81, 0xF7, 0x15, 0x56, 0xF2, 0x0B, 0x4A}};

struct PowerScheme {
  GUID guid;
  std::wstring name;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, and back (any case,
// braces optional).
std::wstring guidText(const GUID& g);
std::optional<GUID> parseGuid(const std::wstring& text);

// Every operation takes the power lock (a named mutex) and first creates the
// defaults when the state was never written. Results are Win32 error codes,
// as powrprof's functions return them.
class PowerStore {
 public:
  PowerStore();
  ~PowerStore();
  PowerStore(const PowerStore&) = delete;
  PowerStore& operator=(const PowerStore&) = delete;

  DWORD reset();
  // Schemes in enumeration order (the registry's order of their keys).
  DWORD schemes(std::vector<PowerScheme>& out);
  DWORD active(GUID& out);
  // ERROR_FILE_NOT_FOUND for a scheme that does not exist.
  DWORD setActive(const GUID& g);
  // Creates or replaces a scheme.
  DWORD add(const GUID& g, const std::wstring& name, const std::wstring& source);
  // ERROR_ACCESS_DENIED for the active scheme, as Windows refuses it;
  // ERROR_FILE_NOT_FOUND for one that does not exist.
  DWORD remove(const GUID& g);
  // Battery alarm levels in percent (ReadGlobalPwrPolicy).
  DWORD alarmLevels(DWORD& low, DWORD& critical);
  DWORD setAlarmLevels(DWORD low, DWORD critical);

 private:
  DWORD ensureDefaults();
  HANDLE lock_ = nullptr;
  bool held_ = false;
};

// The name a scheme file gives its scheme: the text of its "FriendlyName"
// value, or nothing when the file does not name one.
std::optional<std::wstring> schemeFileName(const std::string& fileContent);

}  // namespace emu
