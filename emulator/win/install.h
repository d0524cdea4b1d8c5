// Installing the emulated firmware's WMI provider into the Wine prefix the
// way the notebook's platform would have it: the DLL in the system folder
// and registered as the WMI locator in place of Wine's. Each bitness installs
// its own DLL: the system folder and the registry view are those the calling
// process sees (syswow64 and the 32-bit view for a 32-bit process).
#pragma once

#include <string>

namespace emu {

inline constexpr wchar_t kLocatorServerKey[] =
    L"Software\\Classes\\CLSID\\{4590F811-1D3A-11D0-891F-00AA004B2E24}\\InprocServer32";
inline constexpr wchar_t kProviderDll[] = L"emuwmi.dll";

// The DLL currently registered as the WMI locator, empty when none is.
std::wstring registeredLocator();

// Copies sourceDll into the system folder (unless an identical copy is
// there) and registers it as the locator, remembering the previous
// registration. On failure returns false with a message in error.
bool installProvider(const std::wstring& sourceDll, std::wstring& installedPath,
                     std::wstring& error);

// The emulated power-management DLL, loaded in place of Wine's through the
// DLL override powrprof=n,b.
inline constexpr wchar_t kPowerDll[] = L"powrprof.dll";

// Copies sourceDll into the system folder under the same file name (unless
// an identical copy is there).
bool installSystemDll(const std::wstring& sourceDll, const wchar_t* fileName, std::wstring& installedPath,
                      std::wstring& error);

// Registers the remembered (or Wine's usual) locator DLL again.
bool uninstallProvider(std::wstring& restoredPath, std::wstring& error);

// The audio device enumerator (CLSID_MMDeviceEnumerator), registered the
// same way in place of Wine's: each bitness its own DLL and registry view.
inline constexpr wchar_t kAudioServerKey[] =
    L"Software\\Classes\\CLSID\\{BCDE0395-E52F-467C-8E3D-C4579291692E}\\InprocServer32";
inline constexpr wchar_t kAudioDll[] = L"emuaudio.dll";
bool installAudio(const std::wstring& sourceDll, std::wstring& installedPath, std::wstring& error);
bool uninstallAudio(std::wstring& restoredPath, std::wstring& error);

}  // namespace emu
