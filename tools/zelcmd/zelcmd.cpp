// zelcmd: sends one command string to the command service and prints its
// reply, the way the tray program does (an 80-byte zero-padded request, an
// 800-byte reply area). A diagnostic tool for people at the prompt.
//
//   zelcmd "root\WMI:Q:ZEL_Device:Device:0"
//
// Exit code 0 with the reply text on standard output, 1 when the service gave
// no reply, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "Brindle.h"

namespace {

constexpr DWORD kRequestSize = 80;
constexpr DWORD kReplySize = 800;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zelcmd \"<namespace>:<Q|S|M>:<class>:<property>:<instance>[:<value>]\"\n");
        return 2;
    }
    const std::size_t length = std::strlen(argv[1]);
    if (length >= kRequestSize) {
        std::fprintf(stderr, "zelcmd: the command string has %u characters; at most %u fit the request.\n",
                     static_cast<unsigned>(length), static_cast<unsigned>(kRequestSize - 1));
        return 2;
    }
    char request[kRequestSize] = {};
    std::memcpy(request, argv[1], length);
    char reply[kReplySize] = {};
    if (!ZEL_CallNamePipe(request, kRequestSize, reply, kReplySize)) {
        std::fprintf(stderr, "zelcmd: no reply from the command service (error %lu).\n", GetLastError());
        return 1;
    }
    reply[kReplySize - 1] = 0;
    std::printf("%s\n", reply);
    return 0;
}
