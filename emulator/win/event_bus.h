// The firmware's event queue across every process of the run: the ring of
// core/event_ring.h in named shared memory, a named mutex around every use
// of it, and one named auto-reset wake-up event per listening process.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "event_ring.h"
#include "hotkeys.h"

namespace emu {

inline constexpr wchar_t kEventRingName[] = L"Global\\EmulatedNotebookEventRing";
inline constexpr wchar_t kEventLockName[] = L"Global\\EmulatedNotebookEventLock";

class EventBus {
 public:
  EventBus();
  ~EventBus();
  EventBus(const EventBus&) = delete;
  EventBus& operator=(const EventBus&) = delete;

  bool ok() const { return ring_ != nullptr && lock_ != nullptr; }

  // Holds the bus for a scope. Raising while held keeps a read-modify-write
  // of the EC and the event it raises in one step for every process.
  class Hold {
   public:
    explicit Hold(EventBus& bus);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    bool held() const { return held_; }

   private:
    EventBus& bus_;
    bool held_;
  };

  // Appends one batch and wakes every listener; the batch's sequence number.
  // eventClass: 0 ZEL_Event, 1 HOT_KEY_ULong (core/event_class.h).
  std::optional<std::uint64_t> raise(std::span<const std::uint32_t> values,
                                     std::uint32_t eventClass = 0);
  std::optional<std::uint64_t> raiseHeld(const Hold& hold, std::span<const std::uint32_t> values,
                                         std::uint32_t eventClass = 0);

  // A key pressed as the firmware does it: its bit toggled in the EC and
  // its event raised in one held step. The raised value, or nullopt when
  // the queue or the EC could not be reached (failure says which).
  enum class PressFailure { None, Queue, Ec, Raise };
  std::optional<std::uint32_t> press(Ec& ec, const Hotkey& key, PressFailure* failure = nullptr);

  // Wakes every listening process without raising anything, so that each
  // looks at the shared state at once (a restart of the WMI service).
  bool wakeListeners();

  // Sequence number the next batch gets (where a new reader starts).
  std::optional<std::uint64_t> nextSequence();

 private:
  friend class BusListener;
  bool acquire();
  void release();
  void wakeHeld();  // with the bus held

  HANDLE lock_ = nullptr;
  HANDLE mapping_ = nullptr;
  RingMemory* ring_ = nullptr;
};

// One process's place in the listener table: its wake-up event and cursor.
class BusListener {
 public:
  explicit BusListener(EventBus& bus);
  ~BusListener();
  BusListener(const BusListener&) = delete;
  BusListener& operator=(const BusListener&) = delete;

  bool ok() const { return wake_ != nullptr; }
  HANDLE wakeEvent() const { return wake_; }
  // Batches raised since the last call (from construction on first call).
  std::vector<EventBatch> take();

 private:
  EventBus& bus_;
  std::uint64_t id_ = 0;
  std::uint64_t cursor_ = 0;
  HANDLE wake_ = nullptr;
};

}  // namespace emu
