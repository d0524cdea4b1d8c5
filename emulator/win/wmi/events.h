// Asynchronous delivery of the firmware's events to the sinks of
// ExecNotificationQueryAsync in this process. One delivery thread per
// process (started by the first subscription, kept for the life of the
// process) waits on the process's place on the event bus and hands every
// batch raised by any process of the run, in the order raised, to every
// sink subscribed when it was raised: one Indicate per batch, carrying all
// of its objects. Indicate runs on that thread, never on the subscriber's.
#pragma once

#include <wbemcli.h>

#include <cstdint>
#include <string>

namespace emu {

// eventClass: the class the sink subscribed to (core/event_class.h); only
// batches of that class reach it. generation: the WMI service generation of
// the services object it came through (core/wmi_service.h); once the service
// restarts, the subscription ends: the sink gets SetStatus(WBEM_STATUS_COMPLETE,
// WBEM_E_SHUTTING_DOWN) and is released, or after a silent restart is
// released without a word, and gets no Indicate after either.
HRESULT subscribeEvents(IWbemObjectSink* sink, const std::string& server,
                        std::uint32_t eventClass, std::uint32_t generation);
// Ends a subscription: no Indicate reaches the sink once this returns; the
// sink gets SetStatus(WBEM_STATUS_COMPLETE, WBEM_E_CALL_CANCELLED) and is
// released. WBEM_E_NOT_FOUND for a sink that is not subscribed.
HRESULT cancelEvents(IWbemObjectSink* sink);

}  // namespace emu
