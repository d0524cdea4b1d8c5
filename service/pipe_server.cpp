// The command pipe server: one pipe instance, one client at a time, one
// request and one reply per connection, each request run through the bridge's
// command parser with the service's rights.
//
// The service runs as LocalSystem and any authenticated user may connect, so
// the server trusts nothing a client sends or does:
// - only the bytes a read delivers count, into an area cleared for each
//   request; empty, unterminated and oversize messages get the malformed reply
//   (an oversize message is read to its end first, so its sender's write
//   completes and it can take the reply);
// - only the reads and writes the system itself sends reach WMI (see
//   MayExecute: the firmware's classes and the BIOS class to read, two
//   firmware flags with their meaningful values to write, the flag register
//   checked against its value read just before); everything else is answered
//   "WBEM_E_ACCESS_DENIED";
// - the reply is always 180 bytes with its text terminated inside them;
// - every wait for a connected client is bounded by a small fraction of the
//   wait a client gets for a busy pipe, so a client that never writes, never
//   reads or leaves mid-exchange holds the only instance for a fifth of a
//   second per step, and a one-shot call made meanwhile is still served;
// - the pipe is created as the first and only instance of its name (a name
//   somebody else holds stops the service instead of serving under it) and
//   refuses remote clients.
#include <windows.h>
#include <objbase.h>
#include <sddl.h>

#include <cstring>
#include <string>

#include "Brindle.h"
#include "pipe_timing.h"
#include "service_control.h"
#include "service_core.h"
#include "win_handles.h"

namespace harrowd {
namespace {

// Access for authenticated users and administrators, none for guests and
// anonymous logons.
constexpr char kPipeSecurity[] = "D:(D;OICI;GA;;;BG)(D;OICI;GA;;;AN)(A;OICI;GRGWGX;;;AU)(A;OICI;GA;;;BA)";
// The wait a client gets when it asks for the pipe's default wait.
constexpr DWORD kPipeDefaultTimeoutMs = brindle::kPipeDefaultWaitMs;
// How long the request (read, and discarding an oversize rest) and then the
// reply may each wait for the connected client. Genuine clients write and
// read at once; the bound stays well below kPipeDefaultTimeoutMs so that a
// client which merely connects and waits cannot make the default wait of the
// next caller run out.
constexpr DWORD kClientStepMs = 200;
// Pause after a connect that failed for no known reason, so that a broken
// pipe cannot turn the loop into a busy spin.
constexpr DWORD kConnectRetryMs = 100;
constexpr DWORD kStartWaitHintMs = 3000;
constexpr DWORD kRunningWaitHintMs = 1000;

// The stop event of the running ServePipe, reachable from the control
// handlers. A stop asked for before the event exists is remembered.
SRWLOCK g_stopLock = SRWLOCK_INIT;
HANDLE g_stopEvent = nullptr;
bool g_stopRequested = false;

// Publishes the stop event for its lifetime; withdrawn before the event is closed.
class StopSlot {
public:
    explicit StopSlot(HANDLE event) {
        AcquireSRWLockExclusive(&g_stopLock);
        g_stopEvent = event;
        if (g_stopRequested) SetEvent(event);
        ReleaseSRWLockExclusive(&g_stopLock);
    }
    ~StopSlot() {
        AcquireSRWLockExclusive(&g_stopLock);
        g_stopEvent = nullptr;
        ReleaseSRWLockExclusive(&g_stopLock);
    }
    StopSlot(const StopSlot&) = delete;
    StopSlot& operator=(const StopSlot&) = delete;
};

bool IsAnsiLeadByte(unsigned char c) { return IsDBCSLeadByteEx(CP_ACP, c) != FALSE; }

enum class Outcome { Completed, Stopped, TimedOut };

struct IoResult {
    Outcome outcome = Outcome::Completed;
    bool ok = false;
    DWORD error = 0;
    DWORD bytes = 0;
};

// Milliseconds left until `deadline` (GetTickCount64 time), 0 when past.
DWORD Remaining(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

class PipeServer {
public:
    PipeServer(HANDLE pipe, HANDLE stopEvent, HANDLE ioEvent)
        : m_pipe(pipe), m_stop(stopEvent), m_io(ioEvent) {}
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // Serves clients until the stop event is set.
    void Run() {
        for (;;) {
            bool connected = false;
            if (!Connect(connected)) break;
            const bool stop = connected && Serve() == Outcome::Stopped;
            DisconnectNamedPipe(m_pipe);
            if (stop) break;
        }
    }

private:
    // Clears the overlapped record for the next operation on the pipe.
    void Prepare() {
        std::memset(&m_overlapped, 0, sizeof m_overlapped);
        m_overlapped.hEvent = m_io;
        ResetEvent(m_io);
    }

    // Completes an operation just started (`started` is what the Windows call
    // returned), waiting at most `timeoutMs` for the I/O event and breaking
    // off at the stop event. An operation that is broken off is cancelled and
    // awaited, so its record and buffer are free again when this returns.
    IoResult Finish(BOOL started, DWORD timeoutMs) {
        IoResult result;
        if (started) {
            result.ok = GetOverlappedResult(m_pipe, &m_overlapped, &result.bytes, FALSE) != FALSE;
            return result;
        }
        result.error = GetLastError();
        if (result.error != ERROR_IO_PENDING) {
            if (result.error == ERROR_MORE_DATA) GetOverlappedResult(m_pipe, &m_overlapped, &result.bytes, FALSE);
            return result;
        }
        const HANDLE events[2] = {m_stop, m_io};
        const DWORD wait = WaitForMultipleObjects(2, events, FALSE, timeoutMs);
        if (wait == WAIT_OBJECT_0 + 1) {
            result.ok = GetOverlappedResult(m_pipe, &m_overlapped, &result.bytes, FALSE) != FALSE;
            result.error = result.ok ? 0 : GetLastError();
            return result;
        }
        CancelIoEx(m_pipe, &m_overlapped);
        GetOverlappedResult(m_pipe, &m_overlapped, &result.bytes, TRUE);
        result.outcome = wait == WAIT_TIMEOUT ? Outcome::TimedOut : Outcome::Stopped;
        result.ok = false;
        return result;
    }

    // Waits for the next client without a time-out. Returns false when the
    // server must stop; `connected` tells whether a client is there.
    bool Connect(bool& connected) {
        Prepare();
        if (ConnectNamedPipe(m_pipe, &m_overlapped)) {
            connected = true;
            return true;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED) {
            connected = true;
        } else if (error == ERROR_IO_PENDING) {
            const IoResult r = Finish(FALSE, INFINITE);
            if (r.outcome != Outcome::Completed) return false;
            connected = r.ok;
        } else if (error != ERROR_NO_DATA) {
            // ERROR_NO_DATA: a client came and left already. Anything else is
            // unexpected; pause before the retry, still open to a stop.
            if (WaitForSingleObject(m_stop, kConnectRetryMs) != WAIT_TIMEOUT) return false;
        }
        return true;
    }

    // One exchange with the connected client.
    Outcome Serve() {
        unsigned char request[kRequestSize] = {};
        const ULONGLONG requestDeadline = GetTickCount64() + kClientStepMs;
        Prepare();
        IoResult r = Finish(ReadFile(m_pipe, request, sizeof request, nullptr, &m_overlapped),
                            Remaining(requestDeadline));
        if (r.outcome != Outcome::Completed) return r.outcome;
        const DWORD received = r.bytes;
        const bool truncated = !r.ok && r.error == ERROR_MORE_DATA;
        if (!r.ok && !truncated) return Outcome::Completed;  // the client is gone
        if (truncated) {
            const IoResult rest = DiscardRestOfMessage(requestDeadline);
            if (rest.outcome != Outcome::Completed) return rest.outcome;
            if (!rest.ok) return Outcome::Completed;
        }

        Answer(DecideRequest(request, received, truncated, ReadCurrentValue));

        Prepare();
        r = Finish(WriteFile(m_pipe, m_reply, sizeof m_reply, nullptr, &m_overlapped), kClientStepMs);
        return r.outcome;
    }

    // Reads what is left of an oversize message, up to its end.
    IoResult DiscardRestOfMessage(ULONGLONG deadline) {
        unsigned char scrap[256];
        for (;;) {
            Prepare();
            IoResult r = Finish(ReadFile(m_pipe, scrap, sizeof scrap, nullptr, &m_overlapped), Remaining(deadline));
            if (r.outcome != Outcome::Completed || r.ok || r.error != ERROR_MORE_DATA) return r;
            if (Remaining(deadline) == 0) {
                r.outcome = Outcome::TimedOut;
                return r;
            }
        }
    }

    // The parser's reply to the read of the object a write would change; the
    // rights check of some writes depends on the value they replace.
    static std::string ReadCurrentValue(const std::string& readCommand) {
        char text[1024] = {};
        CBrindle bridge;
        bridge.CallBrindleParser(readCommand.c_str(), text);
        text[sizeof text - 1] = 0;
        return std::string(text);
    }

    // Puts the reply to one request into the reply area. The parser's text
    // stays in m_text between requests, because "M" leaves it as it was.
    void Answer(const RequestDecision& decision) {
        switch (decision.verdict) {
        case Verdict::Malformed:
            std::strcpy(m_text, kMalformedReply);
            break;
        case Verdict::Denied:
            std::strcpy(m_text, kDeniedReply);
            break;
        case Verdict::Execute: {
            // A fresh bridge object per request; COM stays up underneath it
            // for the whole run (see ComApartment).
            CBrindle bridge;
            bridge.CallBrindleParser(decision.command.c_str(), m_text);
            m_text[sizeof m_text - 1] = 0;
            break;
        }
        }
        FitReply(m_text, sizeof m_text, m_reply, IsAnsiLeadByte);
    }

    HANDLE m_pipe;
    HANDLE m_stop;
    HANDLE m_io;
    OVERLAPPED m_overlapped{};
    // The parser writes at most 260 bytes; the area is larger so that no
    // reply it produces can reach past it.
    char m_text[1024] = {};
    char m_reply[kReplySize] = {};
};

// Keeps a COM apartment on the serving thread for the server's whole run.
// Each request still gets a fresh bridge object that initialises COM and
// uninitialises it again; with this apartment underneath those calls only
// count up and down (or, in this apartment, fail harmlessly and are not
// undone), so COM is not torn down after every request and the in-process
// WMI provider is not unloaded and loaded again each time (which costs time,
// and with a provider that leaks on unloading, memory: the per-request set-up
// leaked and crashed).
// The apartment is the multithreaded one: the serving thread blocks in waits
// that pump no messages, and a single-threaded apartment must pump them, or
// whoever sends a message to its window (a broadcast, say) hangs.
class ComApartment {
public:
    ComApartment() : m_initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComApartment() {
        if (m_initialised) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool m_initialised;
};

// True when `pipe` is the one and only instance of its name, created by us.
// FILE_FLAG_FIRST_PIPE_INSTANCE already refuses a name somebody else holds,
// but not every platform honours that flag, so the instances are counted too.
bool IsOnlyInstance(HANDLE pipe) {
    DWORD maxInstances = 0;
    DWORD instances = 0;
    return GetNamedPipeInfo(pipe, nullptr, nullptr, nullptr, &maxInstances) && maxInstances == 1 &&
           GetNamedPipeHandleStateA(pipe, nullptr, &instances, nullptr, nullptr, nullptr, 0) && instances == 1;
}

}  // namespace

void SignalStop() {
    AcquireSRWLockExclusive(&g_stopLock);
    g_stopRequested = true;
    if (g_stopEvent) SetEvent(g_stopEvent);
    ReleaseSRWLockExclusive(&g_stopLock);
}

void ServePipe(DWORD argc, char** argv) {
    if (!SetServiceState(SERVICE_START_PENDING, NO_ERROR, kStartWaitHintMs)) return;
    UniqueHandle stopEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!stopEvent) return;
    StopSlot stopSlot(stopEvent.Get());

    if (!SetServiceState(SERVICE_START_PENDING, NO_ERROR, kStartWaitHintMs)) return;
    UniqueHandle ioEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!ioEvent) return;

    if (!SetServiceState(SERVICE_START_PENDING, NO_ERROR, kStartWaitHintMs)) return;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kPipeSecurity, SDDL_REVISION_1, &descriptor, nullptr))
        return;
    LocalMemory descriptorOwner(descriptor);
    // The service starts no programs, so the pipe handle is not inheritable.
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};

    if (!SetServiceState(SERVICE_START_PENDING, NO_ERROR, kStartWaitHintMs)) return;
    const std::string name = PipeNameFromArgs(static_cast<int>(argc), argv);
    UniqueHandle pipe(CreateNamedPipeA(name.c_str(),
                                       PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT |
                                           PIPE_REJECT_REMOTE_CLIENTS,
                                       1, 0, 0, kPipeDefaultTimeoutMs, &attributes));
    if (pipe && !IsOnlyInstance(pipe.Get())) {
        pipe.Reset();
        SetLastError(ERROR_ACCESS_DENIED);
    }
    if (!pipe) {
        LogServiceError("Unable to create named pipe");
        return;
    }
    if (!SetServiceState(SERVICE_RUNNING, NO_ERROR, kRunningWaitHintMs)) return;

    ComApartment apartment;
    PipeServer server(pipe.Get(), stopEvent.Get(), ioEvent.Get());
    server.Run();
}

}  // namespace harrowd
