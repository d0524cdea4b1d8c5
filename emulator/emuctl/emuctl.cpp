// emuctl: drives the emulated notebook from the command line, as a person
// at the keyboard would: install it into the prefix, read, set and reset the
// embedded controller's registers, press the firmware's hotkeys and raise
// raw firmware events.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ec.h"
#include "ec_registry.h"
#include "event_class.h"
#include "event_bus.h"
#include "audio_store.h"
#include "hotkeys.h"
#include "install.h"
#include "method_class.h"
#include "power_registry.h"
#include "settings_registry.h"
#include "wide.h"
#include "wmi_service_registry.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

void printUsage(FILE* out) {
  std::fprintf(out,
               "usage: emuctl <command> [arguments]\n"
               "  install                 copy emuwmi.dll from beside emuctl.exe into the system\n"
               "                          folder, register it as the WMI locator (root\\WMI is\n"
               "                          emulated, other namespaces go to Wine) and reset the EC\n"
               "  uninstall               register Wine's own WMI locator again\n"
               "  reset                   put every EC register back to its default, clear the label\n"
               "  get [register]          print every register, or one, as Name=value (decimal)\n"
               "  set <register> <value>  store a value (decimal or 0x hex) and print what the\n"
               "                          register keeps (bits outside its mask are dropped)\n"
               "  label [text]            set the text of ZEL_Software.Label (test equipment: a long\n"
               "                          value to read), or clear it; prints Label=<text>\n"
               "  press <key|code>        press a hotkey: toggle its device bit (if it has one)\n"
               "                          and raise ZEL_Event with ZELEvt = code | register << 8;\n"
               "                          prints the register and ZELEvt\n"
               "  raise [--batch] <value>...  raise ZEL_Event with each raw ZELEvt value (decimal\n"
               "                          or 0x hex), one event each, or with --batch all of\n"
               "                          them as one delivery of several objects (at most %zu)\n"
               "  raise-ulong [--batch] <value>...  the same for HOT_KEY_ULong with ULong = value\n"
               "  audio                        print every audio device: index id flow state volume mute\n"
               "  volume <scalar> [device]     set a device's master volume (0 to 1; default: playback default)\n"
               "  mute 0|1 [device]            mute or unmute it\n"
               "  audio-add render|capture | audio-remove <device> | audio-default <device>\n"
               "  brightness [--batch] <percent>...  change the panel's brightness as the brightness keys\n"
               "                                 do (monitor 0 keeps the last), raising one\n"
               "                                 WmiMonitorBrightnessEvent each, or one batch\n"
               "  setting [name [value]]  print every setting, or one, or store one (decimal or 0x hex)\n"
               "  cimv2 <class> <property>=<text>...  instances of a root\\CIMV2 class show these\n"
               "                          texts in place of Wine's (until cleared)\n"
               "  cimv2 <class> --instances <n>  show at most n of the class's instances (0: none)\n"
               "  cimv2 --unavailable     connections to root\\CIMV2 fail as with WMI stopped\n"
               "  cimv2 --clear           Wine's own root\\CIMV2 answers again\n"
               "  power [list]            print the power schemes in enumeration order, * the active\n"
               "  power active            print Active=<GUID> <name>\n"
               "  power activate <scheme> make a scheme active (GUID, balanced, high, saver)\n"
               "  power add <scheme> [name]  create a scheme: a GUID or a leftover mode scheme\n"
               "                          (gaming, movie, presentation, office, turbobattery)\n"
               "  power remove <scheme>   delete a scheme (refused for the active one)\n"
               "  power alarm <low> <critical>  battery alarm levels (ReadGlobalPwrPolicy), percent\n"
               "  power reset             Balanced (active), High performance and Power saver only\n"
               "  script                  run emuctl commands read from standard input, one a line\n"
               "                          (blank lines skipped, \"pause <ms>\" waits); each prints\n"
               "                          as alone; a count of failed lines goes to standard error\n"
               "  wmi-restart <ms> [silent]  restart Windows' WMI service: every root\\WMI event\n"
               "                          subscription of every process ends (its sink told\n"
               "                          WBEM_E_SHUTTING_DOWN, or with silent never called again),\n"
               "                          earlier services objects fail with RPC_E_DISCONNECTED and\n"
               "                          connections fail for <ms> (at most 600000)\n"
               "  (reset and install also put the settings and the power schemes back and clear\n"
               "   the cimv2 overrides; install also copies powrprof.dll into the system folder)\n"
               "registers:\n", emu::kMaxBatch);
  for (const auto& r : emu::registers())
    std::fprintf(out, "  %-9.*s default %-3u mask 0x%02X  %.*s\n", static_cast<int>(r.name.size()),
                 r.name.data(), r.defaultValue, r.mask, static_cast<int>(r.meaning.size()),
                 r.meaning.data());
  std::fprintf(out, "settings:\n");
  for (const auto& st : emu::settings())
    std::fprintf(out, "  %-17.*s default 0x%X  %.*s\n", static_cast<int>(st.name.size()),
                 st.name.data(), st.defaultValue, static_cast<int>(st.meaning.size()),
                 st.meaning.data());
  std::fprintf(out, "keys (any other code 0-255 raises that code with flag byte 0):\n");
  for (const auto& k : emu::hotkeys()) {
    std::fprintf(out, "  %-12.*s code %3u", static_cast<int>(k.name.size()), k.name.data(), k.code);
    if (k.toggles) {
      const auto reg = emu::registerInfo(k.reg).name;
      std::fprintf(out, "  toggles %.*s bit 0x%02X", static_cast<int>(reg.size()), reg.data(), k.bit);
    }
    std::fprintf(out, "\n");
  }
}

int usageError(const char* message) {
  std::fprintf(stderr, "emuctl: %s\n", message);
  printUsage(stderr);
  return kUsage;
}

void printRegister(emu::Register reg, std::uint32_t value) {
  const auto name = emu::registerInfo(reg).name;
  std::printf("%.*s=%u\n", static_cast<int>(name.size()), name.data(), value);
}

std::wstring ownDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return L".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

// The EC registers, the settings and the root\CIMV2 overrides back to
// their defaults.
bool resetAll(emu::Ec& ec) {
  emu::SettingsStore store;
  return ec.reset() && emu::storeLabel({}) && store.reset() && emu::clearCimv2() &&
         emu::storeAudio(emu::defaultAudio()) && emu::PowerStore().reset() == ERROR_SUCCESS &&
         emu::wmiServiceUp();
}

// Windows' WMI service restarted: every subscription and services object of
// root\WMI made before ends in every process, and connections are refused
// for downMs. The delivery threads are woken so that they end their
// subscriptions now rather than at their next poll.
int wmiRestart(const std::vector<std::string>& args) {
  if (args.size() < 2 || args.size() > 3 || (args.size() == 3 && args[2] != "silent"))
    return usageError("wmi-restart takes DOWN_MS and optionally silent");
  auto down = emu::parseUserNumber(args[1]);
  if (!down || *down > emu::kMaxWmiDownMs)
    return usageError(("not a time in ms from 0 to 600000: " + args[1]).c_str());
  const bool silent = args.size() == 3;
  auto state = emu::restartWmiService(*down, silent);
  if (!state) {
    std::fprintf(stderr, "emuctl: cannot restart the WMI service\n");
    return kFailed;
  }
  emu::EventBus bus;
  bus.wakeListeners();
  std::printf("WmiGeneration=%u DownMs=%u %s\n", state->generation, *down,
              silent ? "silent" : "status");
  return kOk;
}

// Schemes by name: the system's own, and the notebook's mode schemes that
// an earlier installation may have left behind.
struct NamedScheme {
  const char* word;
  GUID guid;
  const wchar_t* name;
};
const NamedScheme kNamedSchemes[] = {
    {"balanced", emu::kBalancedScheme, L"Balanced"},
    {"high", emu::kHighPerformanceScheme, L"High performance"},
    {"saver", emu::kPowerSaverScheme, L"Power saver"},
    {"gaming", {0x98B32AC9, 0x6345, 0x4AB9, {0xA9, 0x81, 0x0F, 0x0E, 0x39, 0xC0, 0x85, 0x78}}, L"Gaming"},
    {"movie", {0x0BC57CB5, 0x5E55, 0x4DF1, {0xBA, 0x8D, 0x20, 0xF9, 0x0B, 0x9F, 0x21, 0x3B}}, L"Movie"},
    {"presentation", {0xC3407F92, 0xA518, 0x430B, {0x94, 0xBF, 0x98, 0x74, 0x57, 0x5E, 0x93, 0x1E}}, L"Presentation"},
    {"office", {0xDF8734A4, 0xF9A5, 0x49CF, {0xA3, 0x36, 0xB8, 0xF6, 0xE6, 0x20, 0x78, 0x07}}, L"Office"},
    {"turbobattery", {0xDB5648DC, 0xC820, 0x4FD8, {0xB4, 0x13, 0x2C, 0xCC, 0xD4, 0x8C, 0x27, 0x3F}}, L"TurboBattery"},
};

std::optional<GUID> schemeArgument(const std::string& arg, std::wstring* name = nullptr) {
  for (const auto& n : kNamedSchemes)
    if (_stricmp(arg.c_str(), n.word) == 0) {
      if (name) *name = n.name;
      return n.guid;
    }
  return emu::parseGuid(emu::toWide(arg));
}

int powerFailed(const char* what, DWORD error) {
  std::fprintf(stderr, "emuctl: power %s failed (error %lu)\n", what, static_cast<unsigned long>(error));
  return kFailed;
}

int power(const std::vector<std::string>& args) {
  const std::string sub = args.size() > 1 ? args[1] : "list";
  emu::PowerStore store;
  if (sub == "list" && args.size() <= 2) {
    std::vector<emu::PowerScheme> all;
    GUID active{};
    if (DWORD e = store.schemes(all)) return powerFailed("list", e);
    if (DWORD e = store.active(active)) return powerFailed("list", e);
    for (const auto& s : all)
      std::printf("%c %s %s\n", IsEqualGUID(s.guid, active) ? '*' : ' ', emu::toUtf8(emu::guidText(s.guid)).c_str(),
                  emu::toUtf8(s.name).c_str());
    return kOk;
  }
  if (sub == "active" && args.size() == 2) {
    GUID active{};
    std::vector<emu::PowerScheme> all;
    if (DWORD e = store.active(active)) return powerFailed("active", e);
    store.schemes(all);
    std::wstring name;
    for (const auto& s : all)
      if (IsEqualGUID(s.guid, active)) name = s.name;
    std::printf("Active=%s %s\n", emu::toUtf8(emu::guidText(active)).c_str(), emu::toUtf8(name).c_str());
    return kOk;
  }
  if ((sub == "activate" || sub == "remove") && args.size() == 3) {
    auto g = schemeArgument(args[2]);
    if (!g) return usageError(("not a scheme: " + args[2]).c_str());
    DWORD e = sub == "activate" ? store.setActive(*g) : store.remove(*g);
    if (e) return powerFailed(sub.c_str(), e);
    std::printf("%s %s\n", sub == "activate" ? "Active=" : "Removed=", emu::toUtf8(emu::guidText(*g)).c_str());
    return kOk;
  }
  if (sub == "add" && (args.size() == 3 || args.size() == 4)) {
    std::wstring name = L"Scheme";
    auto g = schemeArgument(args[2], &name);
    if (!g) return usageError(("not a scheme: " + args[2]).c_str());
    if (args.size() == 4) name = emu::toWide(args[3]);
    if (DWORD e = store.add(*g, name, {})) return powerFailed("add", e);
    std::printf("Added=%s %s\n", emu::toUtf8(emu::guidText(*g)).c_str(), emu::toUtf8(name).c_str());
    return kOk;
  }
  if (sub == "alarm" && args.size() == 4) {
    auto low = emu::parseUserNumber(args[2]), critical = emu::parseUserNumber(args[3]);
    if (!low || !critical) return usageError("alarm levels are numbers");
    if (DWORD e = store.setAlarmLevels(*low, *critical)) return powerFailed("alarm", e);
    std::printf("LowAlarmLevel=%lu CriticalAlarmLevel=%lu\n", static_cast<unsigned long>(*low),
                static_cast<unsigned long>(*critical));
    return kOk;
  }
  if (sub == "reset" && args.size() == 2) {
    if (DWORD e = store.reset()) return powerFailed("reset", e);
    std::printf("power schemes reset\n");
    return kOk;
  }
  return usageError("wrong arguments for power");
}

int install(emu::Ec& ec) {
  std::wstring installed, error;
  std::wstring powerInstalled;
  if (!emu::installProvider(ownDirectory() + L"\\" + emu::kProviderDll, installed, error) ||
      !emu::installSystemDll(ownDirectory() + L"\\" + emu::kPowerDll, emu::kPowerDll, powerInstalled, error)) {
    std::fprintf(stderr, "emuctl: install failed: %s\n", emu::toUtf8(error).c_str());
    return kFailed;
  }
  std::wstring audio;
  if (!emu::installAudio(ownDirectory() + L"\\" + emu::kAudioDll, audio, error)) {
    std::fprintf(stderr, "emuctl: install failed: %s\n", emu::toUtf8(error).c_str());
    return kFailed;
  }
  if (!resetAll(ec)) {
    std::fprintf(stderr, "emuctl: install: cannot reset the EC state\n");
    return kFailed;
  }
  std::printf("installed %s as the WMI locator and %s; EC and power schemes reset to defaults\n",
              emu::toUtf8(installed).c_str(), emu::toUtf8(powerInstalled).c_str());
  return kOk;
}

int uninstall() {
  std::wstring restored, error, audio;
  if (!emu::uninstallProvider(restored, error) || !emu::uninstallAudio(audio, error)) {
    std::fprintf(stderr, "emuctl: uninstall failed: %s\n", emu::toUtf8(error).c_str());
    return kFailed;
  }
  std::printf("WMI locator is %s again\n", emu::toUtf8(restored).c_str());
  return kOk;
}

int press(emu::Ec& ec, const std::string& which) {
  auto key = emu::findHotkey(which);
  if (!key) return usageError(("unknown key: " + which).c_str());
  emu::EventBus bus;
  emu::EventBus::PressFailure failure = emu::EventBus::PressFailure::None;
  auto value = bus.press(ec, *key, &failure);
  if (!value) {
    std::fprintf(stderr, "emuctl: %s\n",
                 failure == emu::EventBus::PressFailure::Queue ? "cannot reach the firmware event queue"
                 : failure == emu::EventBus::PressFailure::Ec  ? "cannot change the EC state"
                                                               : "cannot raise the event");
    return kFailed;
  }
  if (key->toggles) printRegister(key->reg, (*value >> 8) & 0xFF);
  std::printf("ZELEvt=0x%04X\n", *value);
  return kOk;
}

int raise(const std::vector<std::string>& args, std::uint32_t eventClass) {
  bool batch = false;
  std::vector<std::uint32_t> values;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--batch" && i == 1) {
      batch = true;
      continue;
    }
    auto v = emu::parseUserNumber(args[i]);
    if (!v) return usageError(("not a number from 0 to 4294967295: " + args[i]).c_str());
    values.push_back(*v);
  }
  if (values.empty()) return usageError("raise needs at least one value");
  if (batch && values.size() > emu::kMaxBatch) return usageError("too many values for one batch");
  emu::EventBus bus;
  emu::EventBus::Hold hold(bus);
  bool ok = hold.held();
  if (ok && batch) {
    ok = bus.raiseHeld(hold, values, eventClass).has_value();
  } else {
    for (std::size_t i = 0; ok && i < values.size(); ++i)
      ok = bus.raiseHeld(hold, std::span(&values[i], 1), eventClass).has_value();
  }
  if (!ok) {
    std::fprintf(stderr, "emuctl: cannot raise the event\n");
    return kFailed;
  }
  const char* property = eventClass == emu::kHotKeyULongClass ? "ULong" : "ZELEvt";
  for (auto v : values) std::printf("%s=0x%04X\n", property, v);
  return kOk;
}

// The brightness keys: the display driver sets the panel and raises the
// brightness event, in one step for every process.
int brightness(emu::Ec& ec, const std::vector<std::string>& args) {
  bool batch = args.size() > 1 && args[1] == "--batch";
  std::vector<std::uint32_t> values;
  for (std::size_t i = batch ? 2 : 1; i < args.size(); ++i) {
    auto v = emu::parseUserNumber(args[i]);
    if (!v || *v > 100) return usageError(("not a percent from 0 to 100: " + args[i]).c_str());
    values.push_back(*v);
  }
  if (values.empty()) return usageError("brightness needs at least one percent");
  if (batch && values.size() > emu::kMaxBatch) return usageError("too many values for one batch");
  emu::EventBus bus;
  emu::EventBus::Hold hold(bus);
  bool ok = hold.held() && ec.write(emu::Register::Brightness0, values.back()).has_value();
  if (ok && batch) {
    ok = bus.raiseHeld(hold, values, emu::kBrightnessEventClass).has_value();
  } else {
    for (std::size_t i = 0; ok && i < values.size(); ++i)
      ok = bus.raiseHeld(hold, std::span(&values[i], 1), emu::kBrightnessEventClass).has_value();
  }
  if (!ok) {
    std::fprintf(stderr, "emuctl: cannot change the brightness\n");
    return kFailed;
  }
  for (auto v : values) std::printf("Brightness=%u\n", v);
  return kOk;
}

// The audio endpoints, changed as another program or the user would.
int audio(const std::vector<std::string>& args) {
  const std::string& cmd = args[0];
  emu::AudioState s;
  if (!emu::loadAudio(s)) {
    std::fprintf(stderr, "emuctl: cannot read the audio state\n");
    return kFailed;
  }
  if (cmd == "audio" && args.size() == 1) {
    for (std::uint32_t i = 0; i < s.count; ++i) {
      const auto& d = s.devices[i];
      std::printf("%u %s %s %s%s volume=%.4f mute=%u\n", i, emu::audioDeviceId(s, i).c_str(),
                  d.flow ? "capture" : "render", d.present ? "present" : "removed",
                  s.defaults[d.flow] == i ? " default" : "", d.volume, d.mute);
    }
    return kOk;
  }
  auto deviceArg = [&](std::size_t i) -> std::optional<std::uint32_t> {
    if (i >= args.size()) return s.defaults[0];
    return emu::parseUserNumber(args[i]);
  };
  std::function<std::vector<emu::AudioRaise>(emu::AudioState&)> change;
  if (cmd == "volume" && (args.size() == 2 || args.size() == 3)) {
    char* end = nullptr;
    const float v = std::strtof(args[1].c_str(), &end);
    auto dev = deviceArg(2);
    if (*end || !(v >= 0.0f && v <= 1.0f) || !dev) return usageError("volume takes a scalar from 0 to 1 and a device");
    change = [=](emu::AudioState& st) { return emu::setAudioVolume(st, *dev, v); };
  } else if (cmd == "mute" && (args.size() == 2 || args.size() == 3) && (args[1] == "0" || args[1] == "1")) {
    auto dev = deviceArg(2);
    if (!dev) return usageError("not a device");
    change = [=](emu::AudioState& st) { return emu::setAudioMute(st, *dev, args[1] == "1"); };
  } else if (cmd == "audio-add" && args.size() == 2 && (args[1] == "render" || args[1] == "capture")) {
    auto flow = args[1] == "render" ? emu::AudioFlow::Render : emu::AudioFlow::Capture;
    change = [=](emu::AudioState& st) { return emu::addAudioDevice(st, flow); };
  } else if ((cmd == "audio-remove" || cmd == "audio-default") && args.size() == 2) {
    auto dev = emu::parseUserNumber(args[1]);
    if (!dev) return usageError("not a device");
    if (cmd == "audio-remove") change = [=](emu::AudioState& st) { return emu::removeAudioDevice(st, *dev); };
    else change = [=](emu::AudioState& st) { return emu::setAudioDefault(st, *dev); };
  } else {
    return usageError(("wrong arguments for " + cmd).c_str());
  }
  if (!emu::changeAudio(change)) {
    std::fprintf(stderr, "emuctl: %s refused (no such device, or the state cannot be stored)\n", cmd.c_str());
    return kFailed;
  }
  if (cmd == "audio-add" && emu::loadAudio(s)) std::printf("%u %s\n", s.count - 1, emu::audioDeviceId(s, s.count - 1).c_str());
  return kOk;
}

int setting(const std::vector<std::string>& args) {
  emu::SettingsStore store;
  std::optional<emu::Setting> only;
  if (args.size() >= 2) {
    only = emu::findSetting(args[1]);
    if (!only) return usageError(("unknown setting: " + args[1]).c_str());
  }
  if (args.size() == 3) {
    auto value = emu::parseUserNumber(args[2]);
    if (!value || *value > emu::settingInfo(*only).maximum)
      return usageError(("not a value this setting takes: " + args[2]).c_str());
    if (!store.write(*only, *value)) {
      std::fprintf(stderr, "emuctl: cannot store the setting\n");
      return kFailed;
    }
  }
  auto all = store.readAll();
  if (!all) {
    std::fprintf(stderr, "emuctl: cannot read the settings\n");
    return kFailed;
  }
  for (const auto& st : emu::settings())
    if (!only || *only == st.id)
      std::printf("%.*s=%u\n", static_cast<int>(st.name.size()), st.name.data(),
                  (*all)[static_cast<int>(st.id)]);
  return kOk;
}

int cimv2(const std::vector<std::string>& args) {
  if (args.size() == 2 && args[1] == "--clear") {
    if (emu::clearCimv2()) return kOk;
  } else if (args.size() == 2 && args[1] == "--unavailable") {
    if (emu::setCimv2Unavailable()) return kOk;
  } else if (args.size() == 4 && args[2] == "--instances") {
    auto n = emu::parseUserNumber(args[3]);
    if (!n) return usageError(("not a number: " + args[3]).c_str());
    if (emu::setCimv2Instances(emu::toWide(args[1]), *n)) return kOk;
  } else if (args.size() >= 3) {
    for (std::size_t i = 2; i < args.size(); ++i)
      if (args[i].find('=') == std::string::npos || args[i][0] == '=')
        return usageError(("not property=text: " + args[i]).c_str());
    bool ok = true;
    for (std::size_t i = 2; ok && i < args.size(); ++i) {
      auto eq = args[i].find('=');
      ok = emu::setCimv2Text(emu::toWide(args[1]), emu::toWide(args[i].substr(0, eq)),
                             emu::toWide(args[i].substr(eq + 1)));
    }
    if (ok) return kOk;
  } else {
    return usageError("wrong arguments for cimv2");
  }
  std::fprintf(stderr, "emuctl: cannot change the root\\CIMV2 overrides\n");
  return kFailed;
}

int run(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("no command given");
  const std::string& cmd = args[0];
  if (cmd == "help" || cmd == "--help" || cmd == "-h" || cmd == "/?") {
    printUsage(stdout);
    return kOk;
  }
  emu::RegistryEcBackend backend;
  emu::Ec ec(backend);
  if (cmd == "install" && args.size() == 1) return install(ec);
  if (cmd == "uninstall" && args.size() == 1) return uninstall();
  if (cmd == "reset" && args.size() == 1) {
    if (!resetAll(ec)) {
      std::fprintf(stderr, "emuctl: cannot reset the EC state\n");
      return kFailed;
    }
    std::printf("EC reset to defaults\n");
    return kOk;
  }
  if (cmd == "get" && args.size() <= 2) {
    if (args.size() == 2) {
      auto reg = emu::findRegister(args[1]);
      if (!reg) return usageError(("unknown register: " + args[1]).c_str());
      auto v = ec.read(*reg);
      if (!v) {
        std::fprintf(stderr, "emuctl: cannot read the EC state\n");
        return kFailed;
      }
      printRegister(*reg, *v);
      return kOk;
    }
    auto all = ec.readAll();
    if (!all) {
      std::fprintf(stderr, "emuctl: cannot read the EC state\n");
      return kFailed;
    }
    for (const auto& r : emu::registers()) printRegister(r.id, (*all)[static_cast<int>(r.id)]);
    return kOk;
  }
  if (cmd == "set" && args.size() == 3) {
    auto reg = emu::findRegister(args[1]);
    if (!reg) return usageError(("unknown register: " + args[1]).c_str());
    auto value = emu::parseUserNumber(args[2]);
    if (!value) return usageError(("not a number from 0 to 4294967295: " + args[2]).c_str());
    auto stored = ec.write(*reg, *value);
    if (!stored) {
      std::fprintf(stderr, "emuctl: cannot write the EC state\n");
      return kFailed;
    }
    printRegister(*reg, *stored);
    return kOk;
  }
  if (cmd == "label" && args.size() <= 2) {
    const std::string text = args.size() == 2 ? args[1] : std::string();
    if (!emu::storeLabel(text)) {
      std::fprintf(stderr, "emuctl: cannot store the label\n");
      return kFailed;
    }
    std::printf("Label=%s\n", emu::loadLabel().c_str());
    return kOk;
  }
  if (cmd == "press" && args.size() == 2) return press(ec, args[1]);
  if (cmd == "raise") return raise(args, emu::kZelEventClass);
  if (cmd == "raise-ulong") return raise(args, emu::kHotKeyULongClass);
  if (cmd == "brightness") return brightness(ec, args);
  if (cmd == "audio" || cmd == "volume" || cmd == "mute" || cmd == "audio-add" || cmd == "audio-remove" ||
      cmd == "audio-default")
    return audio(args);
  if (cmd == "setting" && args.size() <= 3) return setting(args);
  if (cmd == "cimv2") return cimv2(args);
  if (cmd == "power") return power(args);
  if (cmd == "wmi-restart") return wmiRestart(args);
  if (cmd == "install" || cmd == "uninstall" || cmd == "reset" || cmd == "get" || cmd == "set" ||
      cmd == "press" || cmd == "label" || cmd == "setting")
    return usageError(("wrong arguments for " + cmd).c_str());
  return usageError(("unknown command: " + cmd).c_str());
}

// Many commands in one process: a long run drives thousands of presses and
// level changes, and a process per command would cost more than the command.
int script() {
  char line[4096];
  long lines = 0, failed = 0;
  while (std::fgets(line, sizeof line, stdin)) {
    std::vector<std::string> args;
    for (char* word = std::strtok(line, " \t\r\n"); word; word = std::strtok(nullptr, " \t\r\n"))
      args.push_back(word);
    if (args.empty()) continue;
    ++lines;
    if (args[0] == "pause" && args.size() == 2) {
      auto ms = emu::parseUserNumber(args[1]);
      if (ms && *ms <= 600000) Sleep(*ms);
      else ++failed;
      continue;
    }
    if (args[0] == "script" || run(args) != kOk) ++failed;
    std::fflush(stdout);
  }
  std::fprintf(stderr, "emuctl: script: %ld lines, %ld failed\n", lines, failed);
  return failed == 0 ? kOk : kFailed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(emu::toUtf8(argv[i]));
  int rc = args.size() == 1 && args[0] == "script" ? script() : run(args);
  std::fflush(stdout);
  return rc;
}
