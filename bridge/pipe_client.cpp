// Client half of the command pipe: one request message out, one reply back.
//
// The exchange is the one-shot call of the platform (open, waiting for a busy
// pipe; message read mode; one transaction; close), spelt out so that
// - a busy pipe is tried again and again while the wait lasts: the one-shot
//   call waits once and opens once, and when several clients wait for the
//   one instance only one of them wins it, so the others gave up with most
//   of their wait unused; here a call ends unserved only when the whole wait,
//   counted from its first attempt, is used up (and at once, as before, when
//   there is no server at all);
// - the pipe is opened with identification-level security: whoever owns the
//   pipe name (a squatter while the service is down, say) may learn who
//   calls, but cannot act as the caller;
// - the wait for the reply is bounded: a server that accepts the connection
//   and never answers fails the call as a server that vanished does, instead
//   of holding the caller (the tray program's user-interface thread) for ever.
#include "Brindle.h"
#include "pipe_timing.h"

namespace {

constexpr char kPipeName[] = "\\\\.\\pipe\\simple";

// How long a connected server may take to answer. The service answers within
// a fraction of a second (its own steps are bounded well below one second);
// this only ends waits on a server that does not answer at all.
constexpr DWORD kReplyWaitMs = 5000;

// How long a call may wait for a busy pipe, counted from its first attempt:
// the default time-out the service gives its pipe, which is the wait the
// one-shot call (NMPWAIT_USE_DEFAULT_WAIT) gets. A call served under
// contention is thus served within the bound the one-shot call had. The wait
// is spread over several WaitNamedPipe calls, each given what is left of it,
// so the client needs the number the service gives its pipe rather than the
// pipe's own default.
constexpr DWORD kBusyWaitMs = brindle::kPipeDefaultWaitMs;

HANDLE OpenPipe() {
    return CreateFileA(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT |
                           SECURITY_IDENTIFICATION,
                       nullptr);
}

// One transaction on the overlapped pipe handle, waiting at most kReplyWaitMs
// for its completion. A transaction still pending then is cancelled and
// awaited (so that the buffers and the record are free again); cancelled, it
// is reported as a broken pipe. On failure the last error holds the reason.
BOOL Transact(HANDLE pipe, void* request, DWORD requestSize, void* reply, DWORD replySize) {
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!done) return FALSE;
    OVERLAPPED overlapped{};
    overlapped.hEvent = done;
    DWORD bytesRead = 0;
    BOOL ok = TransactNamedPipe(pipe, request, requestSize, reply, replySize, &bytesRead, &overlapped);
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(done, kReplyWaitMs) == WAIT_OBJECT_0) {
            ok = GetOverlappedResult(pipe, &overlapped, &bytesRead, FALSE);
        } else {
            CancelIo(pipe);
            // The transaction may still have completed meanwhile; its own result stands then.
            ok = GetOverlappedResult(pipe, &overlapped, &bytesRead, TRUE);
            if (!ok && GetLastError() == ERROR_OPERATION_ABORTED) SetLastError(ERROR_BROKEN_PIPE);
        }
    }
    const DWORD error = GetLastError();
    CloseHandle(done);
    SetLastError(error);
    return ok;
}

// Opens the pipe, trying again while it is busy until kBusyWaitMs have passed
// since the first attempt. On failure the last error is that of the step that
// ended the attempts: ERROR_FILE_NOT_FOUND at once without a server,
// ERROR_SEM_TIMEOUT when the wait ran out, ERROR_PIPE_BUSY when the instance
// was taken by another client just as the wait ran out.
HANDLE OpenPipeWithinWait() {
    const ULONGLONG deadline = GetTickCount64() + kBusyWaitMs;
    for (;;) {
        HANDLE pipe = OpenPipe();
        if (pipe != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PIPE_BUSY) return pipe;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return INVALID_HANDLE_VALUE;  // still ERROR_PIPE_BUSY
        // What is left is at least 1 ms (a wait of 0 would mean the pipe's
        // default). The wait ends as soon as the instance is free again;
        // another waiting client may still take it first, and then the open
        // finds it busy and the loop waits again with what is left.
        if (!WaitNamedPipeA(kPipeName, static_cast<DWORD>(deadline - now))) return INVALID_HANDLE_VALUE;
    }
}

}  // namespace

BOOL ZEL_CallNamePipe(void* request, DWORD requestSize, void* reply, DWORD replySize) {
    HANDLE pipe = OpenPipeWithinWait();
    if (pipe == INVALID_HANDLE_VALUE) return FALSE;
    DWORD mode = PIPE_READMODE_MESSAGE;
    BOOL ok = SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
    if (ok) ok = Transact(pipe, request, requestSize, reply, replySize);
    // The caller reads the reason of a failure, not that of the close.
    const DWORD error = GetLastError();
    CloseHandle(pipe);
    SetLastError(ok ? ERROR_SUCCESS : error);
    return ok;
}
