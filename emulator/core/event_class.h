// The firmware's event class ZEL_Event and the rules for subscribing to it:
// which notification queries the provider accepts and what each rejected
// one is answered with, and the property values of one event object.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "wmi_model.h"

namespace emu {

// ZEL_Event: InstanceName (key), Active, ZELEvt (uint32).
const ClassDef& eventClass();
const ClassDef* findEventClass(std::string_view name);

std::vector<Value> eventValues(std::uint32_t zelEvt);

enum class NotificationVerdict {
  Subscribe,         // "SELECT * FROM <event class>"
  InvalidQueryType,  // language other than WQL
  InvalidQuery,      // not WQL text
  InvalidClass,      // no such class in this namespace
  NotEventClass,     // a data block class, which raises no events
  Unsupported,       // a property list or WHERE clause
};
NotificationVerdict planNotificationQuery(std::string_view language, std::string_view query);

}  // namespace emu
