// The EC registers kept in the Wine prefix's registry, so every process of a
// run (the service under services.exe, the tray program, tests, emuctl) sees
// one state. A named mutex serialises read-modify-write sequences.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "ec.h"

namespace emu {

// HKLM\Software\EmulatedNotebook: the emulator's own settings.
inline constexpr wchar_t kEmulatorKey[] = L"Software\\EmulatedNotebook";
// HKLM\Software\EmulatedNotebook\EC: one REG_DWORD per register, by name.
inline constexpr wchar_t kEcKey[] = L"Software\\EmulatedNotebook\\EC";
inline constexpr wchar_t kEcMutex[] = L"Global\\EmulatedNotebookEcLock";

// HKLM\Software\EmulatedNotebook "Label" (REG_SZ, UTF-8 in the model): the
// text of ZEL_Software.Label. Empty when it was never set or cannot be read.
std::string loadLabel();
// Stores the label; an empty text deletes the value. True when done.
bool storeLabel(std::string_view text);

class RegistryEcBackend final : public EcBackend {
 public:
  RegistryEcBackend();
  ~RegistryEcBackend() override;
  RegistryEcBackend(const RegistryEcBackend&) = delete;
  RegistryEcBackend& operator=(const RegistryEcBackend&) = delete;

  bool lock() override;
  void unlock() override;
  Load load(Register reg, std::uint32_t& value) override;
  bool store(Register reg, std::uint32_t value) override;

 private:
  // The EC key, opened on first use and kept: one registry call per value.
  HKEY key(bool forWrite);
  void dropKey();

  HANDLE mutex_ = nullptr;
  SRWLOCK keyLock_ = SRWLOCK_INIT;  // one object may serve several threads
  HKEY key_ = nullptr;
  bool keyWritable_ = false;
};

}  // namespace emu
