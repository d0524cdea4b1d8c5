// Client half of the command pipe: one request message out, one reply back.
//
// The exchange is the one-shot call of the platform (open, waiting once for
// a busy pipe as long as the server's default time-out; message read mode;
// one transaction; close), spelt out so that
// - the pipe is opened with identification-level security: whoever owns the
//   pipe name (a squatter while the service is down, say) may learn who
//   calls, but cannot act as the caller;
// - the wait for the reply is bounded: a server that accepts the connection
//   and never answers fails the call as a server that vanished does, instead
//   of holding the caller (the tray program's user-interface thread) for ever.
#include "Brindle.h"

namespace {

constexpr char kPipeName[] = "\\\\.\\pipe\\simple";

// How long a connected server may take to answer. The service answers within
// a fraction of a second (its own steps are bounded well below one second);
// this only ends waits on a server that does not answer at all.
constexpr DWORD kReplyWaitMs = 5000;

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

}  // namespace

BOOL ZEL_CallNamePipe(void* request, DWORD requestSize, void* reply, DWORD replySize) {
    HANDLE pipe = OpenPipe();
    if (pipe == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_PIPE_BUSY) return FALSE;
        // Busy: wait as long as the server's default time-out, then try once more.
        if (!WaitNamedPipeA(kPipeName, NMPWAIT_USE_DEFAULT_WAIT)) return FALSE;
        pipe = OpenPipe();
        if (pipe == INVALID_HANDLE_VALUE) return FALSE;
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    BOOL ok = SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
    if (ok) ok = Transact(pipe, request, requestSize, reply, replySize);
    // The caller reads the reason of a failure, not that of the close.
    const DWORD error = GetLastError();
    CloseHandle(pipe);
    SetLastError(ok ? ERROR_SUCCESS : error);
    return ok;
}
