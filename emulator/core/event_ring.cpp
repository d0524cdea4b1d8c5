#include "event_ring.h"

#include <cstring>

namespace emu {

void initRing(RingMemory& ring) {
  if (ring.magic == kRingMagic && ring.next >= 1) return;
  std::memset(&ring, 0, sizeof ring);
  ring.magic = kRingMagic;
  ring.next = 1;
  ring.nextListenerId = 1;
}

std::optional<std::uint64_t> appendBatch(RingMemory& ring, std::span<const std::uint32_t> values,
                                         std::uint32_t eventClass) {
  if (values.empty() || values.size() > kMaxBatch) return std::nullopt;
  const std::uint64_t seq = ring.next++;
  RingSlot& slot = ring.slots[seq % kRingSlots];
  slot.seq = seq;
  slot.count = static_cast<std::uint32_t>(values.size());
  slot.eventClass = eventClass;
  std::memcpy(slot.values, values.data(), values.size() * sizeof(std::uint32_t));
  return seq;
}

std::uint64_t collectBatches(const RingMemory& ring, std::uint64_t& cursor,
                             std::vector<EventBatch>& out) {
  // A cursor ahead of the writer belongs to a ring that was re-initialised:
  // start again from its present end.
  if (cursor > ring.next) cursor = ring.next;
  std::uint64_t missed = 0;
  const std::uint64_t oldest = ring.next > kRingSlots ? ring.next - kRingSlots : 1;
  if (cursor < oldest) {
    missed = oldest - cursor;
    cursor = oldest;
  }
  for (; cursor < ring.next; ++cursor) {
    const RingSlot& slot = ring.slots[cursor % kRingSlots];
    if (slot.seq != cursor || slot.count == 0 || slot.count > kMaxBatch) {
      ++missed;  // damaged entry: skipped rather than delivered wrong
      continue;
    }
    out.push_back({cursor, std::vector<std::uint32_t>(slot.values, slot.values + slot.count),
                   slot.eventClass});
  }
  return missed;
}

std::optional<std::uint64_t> addListener(RingMemory& ring) {
  for (auto& id : ring.listeners) {
    if (id == 0) {
      id = ring.nextListenerId++;
      return id;
    }
  }
  return std::nullopt;
}

void removeListener(RingMemory& ring, std::uint64_t id) {
  if (id == 0) return;
  for (auto& entry : ring.listeners)
    if (entry == id) entry = 0;
}

std::vector<std::uint64_t> listenerIds(const RingMemory& ring) {
  std::vector<std::uint64_t> ids;
  for (auto id : ring.listeners)
    if (id != 0) ids.push_back(id);
  return ids;
}

}  // namespace emu
