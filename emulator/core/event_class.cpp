#include "event_class.h"

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

}  // namespace

const ClassDef& eventClass() { return kEventClass; }

const ClassDef* findEventClass(std::string_view name) {
  return equalsNoCase(name, kEventClass.name) ? &kEventClass : nullptr;
}

std::vector<Value> eventValues(std::uint32_t zelEvt) {
  return {Value(std::string(kEventInst[0].instanceName)), Value(true),
          Value(static_cast<std::int64_t>(zelEvt))};
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
