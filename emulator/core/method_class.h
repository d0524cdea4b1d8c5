// The firmware's method block Method_ULong (method GetULong, output "Data")
// and the emulator's settings beyond the EC registers: what GetULong answers,
// how many Method_ULong instances exist, instance enumerations that fail on
// request, a count of the method calls served, a firmware method that hangs
// on request, and power-scheme calls that fail on request.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "wmi_model.h"

namespace emu {

enum class Setting : int { ECVersion, MethodInstances, FailInstanceEnums, MethodCalls, MethodHangMs, PowerFailCalls };
inline constexpr int kSettingCount = 6;

struct SettingInfo {
  Setting id;
  std::string_view name;  // name in the store and on emuctl's command line
  std::uint32_t defaultValue;
  std::uint32_t maximum;  // larger values are refused
  std::string_view meaning;
};

std::span<const SettingInfo> settings();
const SettingInfo& settingInfo(Setting s);
// Case-insensitive lookup by name.
std::optional<Setting> findSetting(std::string_view name);

using SettingFile = std::array<std::uint32_t, kSettingCount>;
SettingFile defaultSettings();

// Method_ULong: InstanceName (key), Active; instances ACPI\PNP0C14\0_0 to
// 0_3, of which the first MethodInstances exist.
const ClassDef& methodClass();
std::span<const InstanceDef> methodInstances(const SettingFile& s);

// The output parameters of GetULong: class __PARAMETERS, "Data" (uint32).
const ClassDef& methodOutputClass();

// GetULong's answer for an instance: instance 3 the EC firmware version
// (bits 0-7 major, 8-15 minor), every other instance 0.
std::uint32_t getULongData(std::size_t instanceIndex, const SettingFile& s);

enum class MethodOutcome { Data, InvalidObjectPath, InvalidClass, NotFound, InvalidMethod };
struct MethodPlan {
  MethodOutcome outcome;
  std::uint32_t data = 0;
};
// ExecMethod of method on the object named by path (an instance path of
// root\WMI as GetObject takes it).
MethodPlan planMethodCall(std::string_view path, std::string_view method, const SettingFile& s,
                          std::string_view computerName);

// A hung firmware method: a GetULong that reaches an instance (outcome Data)
// answers only once it has waited MethodHangMs, read afresh while it waits,
// so clearing or lowering the setting lets a waiting call go. Always bounded
// by the setting's maximum.
bool methodStillHangs(const MethodPlan& plan, std::uint32_t waitedMs, const SettingFile& now);

// WmiSetBrightness of WmiMonitorBrightnessMethods (inputs "Timeout" uint32,
// "Brightness" uint8, no output): which panel register the call sets.
// nullopt when the path does not name that class (another method block).
const ClassDef& brightnessMethodsClass();
const ClassDef& setBrightnessInputClass();
struct BrightnessMethodPlan {
  MethodOutcome outcome;
  Register reg = Register::Brightness0;
};
std::optional<BrightnessMethodPlan> planSetBrightness(std::string_view path, std::string_view method,
                                                      std::string_view computerName);
// What a panel shows for a requested percent: the request, at most 100.
std::uint32_t panelBrightness(std::int64_t requested);

}  // namespace emu
