#include "audio_store.h"

#include <windows.h>

#include "ec_registry.h"
#include "event_bus.h"

namespace emu {

bool loadAudio(AudioState& s) {
  s = defaultAudio();
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEmulatorKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return true;
  AudioState stored{};
  DWORD size = sizeof stored, type = 0;
  LSTATUS st = RegQueryValueExW(key, L"Audio", nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size);
  RegCloseKey(key);
  if (st == ERROR_SUCCESS && type == REG_BINARY && size == sizeof stored && validAudio(stored)) s = stored;
  return st == ERROR_SUCCESS || st == ERROR_FILE_NOT_FOUND;
}

bool storeAudio(const AudioState& s) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEmulatorKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  bool ok = RegSetValueExW(key, L"Audio", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&s), sizeof s) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool changeAudio(const std::function<std::vector<AudioRaise>(AudioState&)>& change) {
  EventBus bus;
  EventBus::Hold hold(bus);
  if (!hold.held()) return false;
  AudioState s;
  if (!loadAudio(s)) return false;
  auto raises = change(s);
  if (raises.empty() || !storeAudio(s)) return false;
  for (const auto& r : raises)
    if (!bus.raiseHeld(hold, r.values, r.eventClass)) return false;
  return true;
}

}  // namespace emu
