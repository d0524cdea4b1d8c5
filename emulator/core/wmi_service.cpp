#include "wmi_service.h"

namespace emu {

WmiServiceState restarted(const WmiServiceState& before, std::uint64_t nowMs, std::uint32_t downMs,
                          bool silent) {
  WmiServiceState s;
  s.generation = before.generation + 1;
  s.downUntilMs = nowMs + (downMs < kMaxWmiDownMs ? downMs : kMaxWmiDownMs);
  s.silent = silent;
  return s;
}

bool connectionRefused(const WmiServiceState& s, std::uint64_t nowMs) { return nowMs < s.downUntilMs; }

// A generation ahead of the present one belongs to state that was cleared
// under a running process; such an object is treated as gone too, so that
// nothing outlives a restart it cannot tell apart.
bool objectGone(const WmiServiceState& s, std::uint32_t made) { return made != s.generation; }

SubscriptionFate subscriptionFate(const WmiServiceState& s, std::uint32_t made) {
  if (!objectGone(s, made)) return SubscriptionFate::Live;
  return s.silent ? SubscriptionFate::EndSilently : SubscriptionFate::EndWithStatus;
}

}  // namespace emu
