// The firmware's event queue shared by every process of a run: a bounded
// ring of event batches with sequence numbers, and a table of listeners (one
// per subscribing process) to wake after each append. The structure lives in
// named shared memory on Windows; every function here expects the caller to
// hold the ring's cross-process lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace emu {

inline constexpr std::uint32_t kRingMagic = 0x45564E31;  // "EVN1"
inline constexpr std::size_t kRingSlots = 256;
inline constexpr std::size_t kMaxBatch = 16;
inline constexpr std::size_t kMaxListeners = 64;

struct RingSlot {
  std::uint64_t seq;  // sequence number of the batch held here
  std::uint32_t count;
  std::uint32_t values[kMaxBatch];
  std::uint32_t eventClass;  // which event class the values belong to (0: ZEL_Event)
};

// Plain data, valid when all zero (a fresh mapping) and initialised in place.
struct RingMemory {
  std::uint32_t magic;
  std::uint32_t reserved;
  std::uint64_t next;            // sequence number the next batch gets (from 1)
  std::uint64_t nextListenerId;  // from 1; 0 marks a free listener entry
  std::uint64_t listeners[kMaxListeners];
  RingSlot slots[kRingSlots];
};

// The 32-bit and 64-bit processes of a run map the same block: its layout
// must not depend on the build.
static_assert(sizeof(RingSlot) == 80);
static_assert(sizeof(RingMemory) == 24 + 8 * kMaxListeners + 80 * kRingSlots);

struct EventBatch {
  std::uint64_t seq;
  std::vector<std::uint32_t> values;
  std::uint32_t eventClass = 0;
};

// Makes a zero-filled (or foreign) block a valid, empty ring.
void initRing(RingMemory& ring);

// Appends one batch of 1 to kMaxBatch values; its sequence number, or
// nullopt for an empty or oversized batch. The oldest batch is overwritten
// when the ring is full. eventClass names the batch's event class
// (core/event_class.h); 0, ZEL_Event, is what a zero-filled slot says.
std::optional<std::uint64_t> appendBatch(RingMemory& ring, std::span<const std::uint32_t> values,
                                         std::uint32_t eventClass = 0);

// Copies every batch from *cursor on into out, in order, and moves the
// cursor past them. Returns how many batches were overwritten before this
// reader got to them (they are skipped).
std::uint64_t collectBatches(const RingMemory& ring, std::uint64_t& cursor,
                             std::vector<EventBatch>& out);

// Listener table: an id to name the listener's wake-up object, or nullopt
// when the table is full.
std::optional<std::uint64_t> addListener(RingMemory& ring);
void removeListener(RingMemory& ring, std::uint64_t id);
std::vector<std::uint64_t> listenerIds(const RingMemory& ring);

}  // namespace emu
