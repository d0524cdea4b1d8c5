// Client half of the command pipe: one request message out, one reply back.
//
// The exchange is the one-shot call of the platform (open, waiting once for
// a busy pipe as long as the server's default time-out; message read mode;
// one transaction; close), spelt out so that the pipe is opened with
// identification-level security: whoever owns the pipe name (a squatter
// while the service is down, say) may learn who calls, but cannot act as
// the caller.
#include "Brindle.h"

namespace {

constexpr char kPipeName[] = "\\\\.\\pipe\\simple";

HANDLE OpenPipe() {
    return CreateFileA(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
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
    DWORD bytesRead = 0;
    BOOL ok = SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
    if (ok) ok = TransactNamedPipe(pipe, request, requestSize, reply, replySize, &bytesRead, nullptr);
    // The caller reads the reason of a failure, not that of the close.
    const DWORD error = GetLastError();
    CloseHandle(pipe);
    SetLastError(ok ? ERROR_SUCCESS : error);
    return ok;
}
