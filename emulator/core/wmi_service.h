// The WMI service's life as every process of a run sees it: a restart ends
// every event subscription and every services object made before it, and the
// service refuses connections for a while. Each subscription and services
// object keeps the generation it was made in; the shared state holds the
// present generation, when connections are taken again and how the last
// restart ended its subscriptions.
#pragma once

#include <cstdint>

namespace emu {

struct WmiServiceState {
  std::uint32_t generation = 0;  // restarts so far; only ever grows
  std::uint64_t downUntilMs = 0; // system tick count until which connections are refused
  bool silent = false;           // the last restart told no sink that its call ended
};

// The state after a restart at nowMs that keeps the service down for downMs.
WmiServiceState restarted(const WmiServiceState& before, std::uint64_t nowMs, std::uint32_t downMs,
                          bool silent);

// Whether a connection made at nowMs is refused.
bool connectionRefused(const WmiServiceState& s, std::uint64_t nowMs);

// Whether an object made in generation `made` is gone (every call on it fails).
bool objectGone(const WmiServiceState& s, std::uint32_t made);

// What becomes of a subscription made in generation `made`.
enum class SubscriptionFate { Live, EndWithStatus, EndSilently };
SubscriptionFate subscriptionFate(const WmiServiceState& s, std::uint32_t made);

// The longest time a restart may keep the service down.
inline constexpr std::uint32_t kMaxWmiDownMs = 600000;

}  // namespace emu
