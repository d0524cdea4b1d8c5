// The WMI service's life (core/wmi_service.h) kept in the prefix's registry,
// so that a restart asked for by emuctl is seen by every process of the run,
// including processes that started after it and processes that map nothing
// else of the emulator's.
#pragma once

#include <optional>

#include "wmi_service.h"

namespace emu {

// HKLM\Software\EmulatedNotebook\WmiService (64-bit view): "Generation"
// (REG_DWORD), "DownUntil" (REG_QWORD, system tick count in ms), "Silent"
// (REG_DWORD).
inline constexpr wchar_t kWmiServiceKey[] = L"Software\\EmulatedNotebook\\WmiService";

// The present state; a fresh prefix reads as generation 0, up, not silent.
WmiServiceState loadWmiService();
// Restarts the service now: every object and subscription made before ends,
// connections are refused for downMs. The new state, or nullopt on failure.
std::optional<WmiServiceState> restartWmiService(std::uint32_t downMs, bool silent);
// Takes connections again at once (emuctl reset); the generation stays.
bool wmiServiceUp();

}  // namespace emu
