// The firmware's event class ZEL_Event and the rules for subscribing to it:
// which notification queries the provider accepts and what each rejected
// one is answered with, and the property values of one event object.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "wmi_model.h"

namespace emu {

// ZEL_Event: InstanceName (key), Active, ZELEvt (uint32).
const ClassDef& eventClass();
const ClassDef* findEventClass(std::string_view name);

std::vector<Value> eventValues(std::uint32_t zelEvt);

// Every event class by number, as the event queue tags its batches:
// 0 ZEL_Event, 1 HOT_KEY_ULong (InstanceName, Active, ULong uint32).
inline constexpr std::uint32_t kZelEventClass = 0;
inline constexpr std::uint32_t kHotKeyULongClass = 1;
// 2: WmiMonitorBrightnessEvent (InstanceName of the first monitor, Active,
// Brightness uint8), raised by the display when its brightness changes.
inline constexpr std::uint32_t kBrightnessEventClass = 2;
const ClassDef* eventClassById(std::uint32_t id);
std::optional<std::uint32_t> eventClassId(std::string_view name);
// The values of one event object of class id carrying value.
std::vector<Value> eventValues(std::uint32_t id, std::uint32_t value);

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
