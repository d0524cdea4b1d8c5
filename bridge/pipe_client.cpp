// Client half of the command pipe: one request message out, one reply back.
#include "Brindle.h"

BOOL ZEL_CallNamePipe(void* request, DWORD requestSize, void* reply, DWORD replySize) {
    DWORD bytesRead = 0;
    // Time-out 0: wait for a busy pipe as long as the server's default time-out.
    return CallNamedPipeA("\\\\.\\pipe\\simple", request, requestSize, reply, replySize, &bytesRead,
                          NMPWAIT_USE_DEFAULT_WAIT);
}
