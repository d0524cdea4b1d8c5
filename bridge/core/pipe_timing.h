// The command pipe's waits known to both of its ends: the service creates the
// pipe with this default time-out, and the bridge's pipe client waits this
// long for a busy pipe, so a call to a busy service has the wait the service
// promises its clients. No Windows header: the service core uses it too.
#pragma once

namespace brindle {

// The wait a client gets for a busy pipe (the pipe's default time-out), in milliseconds.
inline constexpr unsigned kPipeDefaultWaitMs = 1000;

}  // namespace brindle
