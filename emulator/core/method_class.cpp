#include "method_class.h"

#include "text.h"

namespace emu {
namespace {

constexpr SettingInfo kSettings[kSettingCount] = {
    {Setting::ECVersion, "ECVersion", 0x0A01, 0xFFFFFFFF,
     "GetULong of Method_ULong instance 3: EC firmware version, 0x01 major, 0x0A minor"},
    {Setting::MethodInstances, "MethodInstances", 4, 4,
     "Method_ULong instances that exist: ACPI\\PNP0C14\\0_0 on"},
    {Setting::FailInstanceEnums, "FailInstanceEnums", 0, 1000,
     "the next N CreateInstanceEnum calls in root\\WMI fail with WBEM_E_FAILED"},
    {Setting::MethodCalls, "MethodCalls", 0, 0xFFFFFFFF,
     "ExecMethod calls served in root\\WMI, whatever their outcome"},
    {Setting::MethodHangMs, "MethodHangMs", 0, 600000,
     "GetULong of Method_ULong answers only after N ms, or once the setting is lowered or cleared"},
    {Setting::PowerFailCalls, "PowerFailCalls", 0, 1000,
     "the next N power-scheme calls (any process) fail with ERROR_ACCESS_DENIED"},
};

constexpr PropertyDef kOutputProps[] = {{"Data", CimType::Uint32, false, Source::Register}};
constexpr ClassDef kOutputClass = {"__PARAMETERS", ClassKind::Instances, kOutputProps, {}};

constexpr std::size_t kVersionInstance = 3;

constexpr PropertyDef kSetBrightnessInputProps[] = {
    {"Timeout", CimType::Uint32, false, Source::Register},
    {"Brightness", CimType::Uint8, false, Source::Register}};
constexpr ClassDef kSetBrightnessInputClass = {"__PARAMETERS", ClassKind::Instances,
                                               kSetBrightnessInputProps, {}};

}  // namespace

std::span<const SettingInfo> settings() { return kSettings; }

const SettingInfo& settingInfo(Setting s) { return kSettings[static_cast<int>(s)]; }

std::optional<Setting> findSetting(std::string_view name) {
  for (const auto& s : kSettings)
    if (equalsNoCase(s.name, name)) return s.id;
  return std::nullopt;
}

SettingFile defaultSettings() {
  SettingFile f{};
  for (const auto& s : kSettings) f[static_cast<int>(s.id)] = s.defaultValue;
  return f;
}

const ClassDef& methodClass() { return *findClass("Method_ULong"); }

std::span<const InstanceDef> methodInstances(const SettingFile& s) {
  auto all = methodClass().instances;
  const std::size_t n = s[static_cast<int>(Setting::MethodInstances)];
  return all.first(n < all.size() ? n : all.size());
}

const ClassDef& methodOutputClass() { return kOutputClass; }

std::uint32_t getULongData(std::size_t instanceIndex, const SettingFile& s) {
  return instanceIndex == kVersionInstance ? s[static_cast<int>(Setting::ECVersion)] : 0;
}

MethodPlan planMethodCall(std::string_view path, std::string_view method, const SettingFile& s,
                          std::string_view computerName) {
  auto p = parseObjectPath(path, computerName);
  if (!p) return {MethodOutcome::InvalidObjectPath};
  const ClassDef* cls = findClass(p->className);
  if (!cls) return {MethodOutcome::InvalidClass};
  // The data blocks have no methods; GetULong is the method block's only one.
  if (cls != &methodClass() || !equalsNoCase(method, "GetULong"))
    return {MethodOutcome::InvalidMethod};
  // GetULong belongs to an instance: a class path names none.
  if (!p->keyValue) return {MethodOutcome::InvalidObjectPath};
  if (p->keyName && !equalsNoCase(*p->keyName, "InstanceName"))
    return {MethodOutcome::InvalidObjectPath};
  auto existing = methodInstances(s);
  for (std::size_t i = 0; i < existing.size(); ++i)
    if (equalsNoCase(existing[i].instanceName, *p->keyValue))
      return {MethodOutcome::Data, getULongData(i, s)};
  return {MethodOutcome::NotFound};
}

bool methodStillHangs(const MethodPlan& plan, std::uint32_t waitedMs, const SettingFile& now) {
  return plan.outcome == MethodOutcome::Data && waitedMs < now[static_cast<int>(Setting::MethodHangMs)];
}

const ClassDef& brightnessMethodsClass() { return *findClass("WmiMonitorBrightnessMethods"); }

const ClassDef& setBrightnessInputClass() { return kSetBrightnessInputClass; }

std::optional<BrightnessMethodPlan> planSetBrightness(std::string_view path, std::string_view method,
                                                      std::string_view computerName) {
  auto p = parseObjectPath(path, computerName);
  if (!p || findClass(p->className) != &brightnessMethodsClass()) return std::nullopt;
  if (!equalsNoCase(method, "WmiSetBrightness")) return BrightnessMethodPlan{MethodOutcome::InvalidMethod};
  if (!p->keyValue || (p->keyName && !equalsNoCase(*p->keyName, "InstanceName")))
    return BrightnessMethodPlan{MethodOutcome::InvalidObjectPath};
  const InstanceDef* inst = findInstance(brightnessMethodsClass(), *p->keyValue);
  if (!inst) return BrightnessMethodPlan{MethodOutcome::NotFound};
  return BrightnessMethodPlan{MethodOutcome::Data, inst->reg};
}

std::uint32_t panelBrightness(std::int64_t requested) {
  return requested < 0 ? 0 : requested > 100 ? 100 : static_cast<std::uint32_t>(requested);
}

}  // namespace emu
