#include "event_bus.h"

#include <sddl.h>

#include <cwchar>

namespace emu {
namespace {

// Every process of the run, whatever its account (the service runs as
// LocalSystem), may use the bus: the objects grant everyone full access.
class OpenSecurity {
 public:
  OpenSecurity() {
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;WD)", SDDL_REVISION_1,
                                                             &sd_, nullptr))
      sa_.lpSecurityDescriptor = sd_;
  }
  ~OpenSecurity() {
    if (sd_) LocalFree(sd_);
  }
  OpenSecurity(const OpenSecurity&) = delete;
  OpenSecurity& operator=(const OpenSecurity&) = delete;
  SECURITY_ATTRIBUTES* get() { return &sa_; }

 private:
  PSECURITY_DESCRIPTOR sd_ = nullptr;
  SECURITY_ATTRIBUTES sa_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// A holder that died leaves the ring consistent enough: a half-written slot
// fails its sequence check and is skipped. The wait is bounded so one stuck
// process cannot hang every other one.
constexpr DWORD kLockWaitMs = 10000;

void wakeName(std::uint64_t id, wchar_t (&name)[96]) {
  std::swprintf(name, 96, L"Global\\EmulatedNotebookEventWake-%llu",
                static_cast<unsigned long long>(id));
}

}  // namespace

EventBus::EventBus() {
  OpenSecurity security;
  lock_ = CreateMutexW(security.get(), FALSE, kEventLockName);
  if (!lock_) lock_ = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kEventLockName);
  mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, security.get(), PAGE_READWRITE, 0,
                                sizeof(RingMemory), kEventRingName);
  if (!mapping_) mapping_ = OpenFileMappingW(FILE_MAP_WRITE | FILE_MAP_READ, FALSE, kEventRingName);
  if (mapping_)
    ring_ = static_cast<RingMemory*>(
        MapViewOfFile(mapping_, FILE_MAP_WRITE | FILE_MAP_READ, 0, 0, sizeof(RingMemory)));
  if (ok() && acquire()) {
    initRing(*ring_);
    release();
  }
}

EventBus::~EventBus() {
  if (ring_) UnmapViewOfFile(ring_);
  if (mapping_) CloseHandle(mapping_);
  if (lock_) CloseHandle(lock_);
}

bool EventBus::acquire() {
  if (!ok()) return false;
  DWORD r = WaitForSingleObject(lock_, kLockWaitMs);
  return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void EventBus::release() { ReleaseMutex(lock_); }

EventBus::Hold::Hold(EventBus& bus) : bus_(bus), held_(bus.acquire()) {}
EventBus::Hold::~Hold() {
  if (held_) bus_.release();
}

std::optional<std::uint64_t> EventBus::raise(std::span<const std::uint32_t> values,
                                             std::uint32_t eventClass) {
  Hold hold(*this);
  return raiseHeld(hold, values, eventClass);
}

std::optional<std::uint32_t> EventBus::press(Ec& ec, const Hotkey& key, PressFailure* failure) {
  auto fail = [&](PressFailure why) {
    if (failure) *failure = why;
    return std::optional<std::uint32_t>();
  };
  // No other press or raise comes between the toggle and its event.
  Hold hold(*this);
  if (!hold.held()) return fail(PressFailure::Queue);
  auto value = emu::press(ec, key);
  if (!value) return fail(PressFailure::Ec);
  const std::uint32_t v[] = {*value};
  if (!raiseHeld(hold, v)) return fail(PressFailure::Raise);
  if (failure) *failure = PressFailure::None;
  return value;
}

std::optional<std::uint64_t> EventBus::raiseHeld(const Hold& hold,
                                                 std::span<const std::uint32_t> values,
                                                 std::uint32_t eventClass) {
  if (!hold.held()) return std::nullopt;
  initRing(*ring_);
  auto seq = appendBatch(*ring_, values, eventClass);
  if (!seq) return std::nullopt;
  wakeHeld();
  return seq;
}

bool EventBus::wakeListeners() {
  Hold hold(*this);
  if (!hold.held()) return false;
  initRing(*ring_);
  wakeHeld();
  return true;
}

void EventBus::wakeHeld() {
  // A listener whose wake-up event is gone belonged to a process that ended
  // without leaving the table: its entry is freed here.
  for (std::uint64_t id : listenerIds(*ring_)) {
    wchar_t name[96];
    wakeName(id, name);
    HANDLE wake = OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
    if (!wake) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) removeListener(*ring_, id);
      continue;
    }
    SetEvent(wake);
    CloseHandle(wake);
  }
}

std::optional<std::uint64_t> EventBus::nextSequence() {
  Hold hold(*this);
  if (!hold.held()) return std::nullopt;
  initRing(*ring_);
  return ring_->next;
}

BusListener::BusListener(EventBus& bus) : bus_(bus) {
  EventBus::Hold hold(bus_);
  if (!hold.held()) return;
  initRing(*bus_.ring_);
  auto id = addListener(*bus_.ring_);
  if (!id) return;
  wchar_t name[96];
  wakeName(*id, name);
  OpenSecurity security;
  wake_ = CreateEventW(security.get(), FALSE, FALSE, name);
  if (!wake_) {
    removeListener(*bus_.ring_, *id);
    return;
  }
  id_ = *id;
  cursor_ = bus_.ring_->next;
}

BusListener::~BusListener() {
  if (id_) {
    EventBus::Hold hold(bus_);
    if (hold.held()) removeListener(*bus_.ring_, id_);
  }
  if (wake_) CloseHandle(wake_);
}

std::vector<EventBatch> BusListener::take() {
  std::vector<EventBatch> batches;
  EventBus::Hold hold(bus_);
  if (!hold.held()) return batches;
  collectBatches(*bus_.ring_, cursor_, batches);
  return batches;
}

}  // namespace emu
