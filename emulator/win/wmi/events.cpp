#include "events.h"

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "com.h"
#include "event_bus.h"
#include "event_class.h"
#include "object.h"
#include "wmi_service_registry.h"

namespace emu {
namespace {

// The listener also polls at this interval, so a wake-up lost to a process
// that died mid-raise delays events instead of stranding them.
constexpr DWORD kPollMs = 1000;

class CriticalSectionGuard {
 public:
  explicit CriticalSectionGuard(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
  ~CriticalSectionGuard() { LeaveCriticalSection(&cs_); }
  CriticalSectionGuard(const CriticalSectionGuard&) = delete;
  CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

 private:
  CRITICAL_SECTION& cs_;
};

class Subscriptions {
 public:
  Subscriptions() { InitializeCriticalSection(&cs_); }
  Subscriptions(const Subscriptions&) = delete;
  Subscriptions& operator=(const Subscriptions&) = delete;

  HRESULT subscribe(IWbemObjectSink* sink, const std::string& server, std::uint32_t eventClass,
                    std::uint32_t generation) {
    CriticalSectionGuard g(cs_);
    if (!thread_) {
      HRESULT hr = start(server);
      if (FAILED(hr)) return hr;
    }
    auto from = bus_->nextSequence();
    if (!from) return WBEM_E_FAILED;
    sink->AddRef();
    entries_.push_back({sink, *from, eventClass, generation});
    return WBEM_S_NO_ERROR;
  }

  HRESULT cancel(IWbemObjectSink* sink) {
    IWbemObjectSink* found = nullptr;
    {
      // Taking the lock waits for a delivery in progress, so no Indicate
      // reaches the sink after this returns. The lock is recursive, so a
      // sink may cancel from inside Indicate.
      CriticalSectionGuard g(cs_);
      for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->sink == sink) {
          found = it->sink;
          entries_.erase(it);
          break;
        }
      }
    }
    if (!found) return WBEM_E_NOT_FOUND;
    found->SetStatus(WBEM_STATUS_COMPLETE, WBEM_E_CALL_CANCELLED, nullptr, nullptr);
    found->Release();
    return WBEM_S_NO_ERROR;
  }

 private:
  struct Entry {
    IWbemObjectSink* sink;  // one reference held
    std::uint64_t from;     // first batch raised after the subscription
    std::uint32_t eventClass;
    std::uint32_t generation;  // of the WMI service it was made in
  };

  HRESULT start(const std::string& server) {
    auto bus = std::make_unique<EventBus>();
    if (!bus->ok()) return WBEM_E_FAILED;
    auto listener = std::make_unique<BusListener>(*bus);
    if (!listener->ok()) return WBEM_E_FAILED;
    bus_ = std::move(bus);
    listener_ = std::move(listener);
    server_ = server;
    // The thread runs for the rest of the process; it keeps the module loaded.
    ++g_moduleRefs;
    thread_ = CreateThread(nullptr, 0, &Subscriptions::threadMain, this, 0, nullptr);
    if (!thread_) {
      --g_moduleRefs;
      listener_.reset();
      bus_.reset();
      return WBEM_E_FAILED;
    }
    return WBEM_S_NO_ERROR;
  }

  static DWORD WINAPI threadMain(void* self) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<Subscriptions*>(self)->run();
    return 0;
  }

  void run() {
    for (;;) {
      WaitForSingleObject(listener_->wakeEvent(), kPollMs);
      // Ends what a restart of the WMI service ended before anything more
      // is delivered, so no batch raised after the restart reaches them.
      endRestarted();
      for (const auto& batch : listener_->take()) deliver(batch);
    }
  }

  // As Windows does when its WMI service stops: every subscription made
  // before is over. Told with the status the service gives on its way down
  // (WBEM_E_SHUTTING_DOWN), or, as when the service dies, never told.
  void endRestarted() {
    const WmiServiceState state = loadWmiService();
    std::vector<std::pair<IWbemObjectSink*, SubscriptionFate>> ended;
    {
      CriticalSectionGuard g(cs_);
      for (auto it = entries_.begin(); it != entries_.end();) {
        const SubscriptionFate fate = subscriptionFate(state, it->generation);
        if (fate == SubscriptionFate::Live) {
          ++it;
          continue;
        }
        ended.emplace_back(it->sink, fate);
        it = entries_.erase(it);
      }
    }
    for (auto [sink, fate] : ended) {
      if (fate == SubscriptionFate::EndWithStatus)
        sink->SetStatus(WBEM_STATUS_COMPLETE, WBEM_E_SHUTTING_DOWN, nullptr, nullptr);
      sink->Release();
    }
  }

  void deliver(const EventBatch& batch) {
    const ClassDef* cls = eventClassById(batch.eventClass);
    if (!cls) return;  // a class this build does not know
    std::vector<ComPtr<IWbemClassObject>> objects;
    std::vector<IWbemClassObject*> raw;
    for (std::uint32_t v : batch.values) {
      objects.emplace_back(
          WbemObject::newInstance(*cls, eventValues(batch.eventClass, v), server_));
      if (!objects.back()) return;  // out of memory: the batch is dropped whole
      raw.push_back(objects.back().get());
    }
    CriticalSectionGuard g(cs_);
    // A snapshot, since a sink may cancel (itself or another) from Indicate.
    std::vector<IWbemObjectSink*> targets;
    for (const auto& e : entries_)
      if (e.from <= batch.seq && e.eventClass == batch.eventClass) targets.push_back(e.sink);
    for (IWbemObjectSink* sink : targets) {
      if (!subscribed(sink)) continue;
      sink->Indicate(static_cast<LONG>(raw.size()), raw.data());
    }
  }

  bool subscribed(IWbemObjectSink* sink) const {
    for (const auto& e : entries_)
      if (e.sink == sink) return true;
    return false;
  }

  CRITICAL_SECTION cs_;
  std::vector<Entry> entries_;
  std::unique_ptr<EventBus> bus_;
  std::unique_ptr<BusListener> listener_;
  std::string server_;
  HANDLE thread_ = nullptr;
};

// Never destroyed: the delivery thread may still run while the process ends.
Subscriptions& subscriptions() {
  static Subscriptions* s = new Subscriptions();
  return *s;
}

}  // namespace

HRESULT subscribeEvents(IWbemObjectSink* sink, const std::string& server,
                        std::uint32_t eventClass, std::uint32_t generation) {
  if (!sink) return WBEM_E_INVALID_PARAMETER;
  return subscriptions().subscribe(sink, server, eventClass, generation);
}

HRESULT cancelEvents(IWbemObjectSink* sink) {
  if (!sink) return WBEM_E_INVALID_PARAMETER;
  return subscriptions().cancel(sink);
}

}  // namespace emu
