#include "event_class.h"

#include <iterator>

#include "text.h"

namespace emu {
namespace {

constexpr PropertyDef kEventProps[] = {
    {"InstanceName", CimType::String, true, Source::InstanceName},
    {"Active", CimType::Boolean, false, Source::Active},
    {"ZELEvt", CimType::Uint32, false, Source::Register},
};

// Events of the one PNP0C14 device carry its first instance name.
constexpr InstanceDef kEventInst[] = {{"ACPI\\PNP0C14\\0_0", Register::Device}};

constexpr ClassDef kEventClass = {"ZEL_Event", ClassKind::Event, kEventProps, kEventInst};

constexpr PropertyDef kHotKeyULongProps[] = {
    {"InstanceName", CimType::String, true, Source::InstanceName},
    {"Active", CimType::Boolean, false, Source::Active},
    {"ULong", CimType::Uint32, false, Source::Register},
};
constexpr ClassDef kHotKeyULongClass = {"HOT_KEY_ULong", ClassKind::Event, kHotKeyULongProps,
                                        kEventInst};

constexpr PropertyDef kBrightnessEventProps[] = {
    {"InstanceName", CimType::String, true, Source::InstanceName},
    {"Active", CimType::Boolean, false, Source::Active},
    {"Brightness", CimType::Uint8, false, Source::Register},
};
constexpr InstanceDef kBrightnessEventInst[] = {{kMonitorInstances[0], Register::Brightness0}};
constexpr ClassDef kBrightnessEventClassDef = {"WmiMonitorBrightnessEvent", ClassKind::Event,
                                               kBrightnessEventProps, kBrightnessEventInst};

// Indexed by class number.
constexpr const ClassDef* kEventClasses[] = {&kEventClass, &kHotKeyULongClass,
                                             &kBrightnessEventClassDef};

}  // namespace

const ClassDef& eventClass() { return kEventClass; }

const ClassDef* findEventClass(std::string_view name) {
  auto id = eventClassId(name);
  return id ? kEventClasses[*id] : nullptr;
}

const ClassDef* eventClassById(std::uint32_t id) {
  return id < std::size(kEventClasses) ? kEventClasses[id] : nullptr;
}

std::optional<std::uint32_t> eventClassId(std::string_view name) {
  for (std::uint32_t id = 0; id < std::size(kEventClasses); ++id)
    if (equalsNoCase(name, kEventClasses[id]->name)) return id;
  return std::nullopt;
}

std::vector<Value> eventValues(std::uint32_t zelEvt) { return eventValues(kZelEventClass, zelEvt); }

// Every class carries its source's first instance name, TRUE and the value.
std::vector<Value> eventValues(std::uint32_t id, std::uint32_t value) {
  const ClassDef* cls = eventClassById(id);
  if (!cls) cls = &kEventClass;
  return {Value(std::string(cls->instances[0].instanceName)), Value(true),
          Value(static_cast<std::int64_t>(value))};
}

NotificationVerdict planNotificationQuery(std::string_view language, std::string_view query) {
  if (!isWql(language)) return NotificationVerdict::InvalidQueryType;
  WqlQuery q = parseWql(query);
  if (q.status == WqlQuery::Status::Invalid) return NotificationVerdict::InvalidQuery;
  if (!findEventClass(q.className)) {
    if (findClass(q.className)) return NotificationVerdict::NotEventClass;
    if (!q.className.empty()) return NotificationVerdict::InvalidClass;
  }
  if (q.status == WqlQuery::Status::Unsupported) return NotificationVerdict::Unsupported;
  if (q.className.empty()) return NotificationVerdict::InvalidQuery;
  return NotificationVerdict::Subscribe;
}

}  // namespace emu
