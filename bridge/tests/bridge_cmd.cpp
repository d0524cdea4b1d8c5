// bridge_cmd: runs one command string through the bridge and prints the reply.
//   bridge_cmd "<command string>" [ignored...]   parse and execute in this process
//   bridge_cmd -pipe "<command string>"          send it to the command service
//   bridge_cmd -generation                       print the bridge object's OS generation
//   bridge_cmd -self-command-line [anything...]  read this process's command line through the parser
#include <cstdio>
#include <cstring>
#include <string>

#include "Brindle.h"

namespace {

// The bridge object's layout, which the programs that embed it rely on.
struct BridgeLayout {
    HWND eventWindow;
    int osGeneration;
};
static_assert(sizeof(BridgeLayout) == sizeof(CBrindle));

int Usage() {
    std::fprintf(stderr,
                 "usage: bridge_cmd \"<command string>\"\n"
                 "       bridge_cmd -pipe \"<command string>\"\n"
                 "       bridge_cmd -generation\n"
                 "       bridge_cmd -self-command-line [anything...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    if (std::strcmp(argv[1], "-generation") == 0) {
        CBrindle bridge;
        BridgeLayout layout;
        std::memcpy(&layout, static_cast<const void*>(&bridge), sizeof layout);
        std::printf("%d\n", layout.osGeneration);
        return 0;
    }
    if (std::strcmp(argv[1], "-pipe") == 0) {
        if (argc < 3) return Usage();
        char request[80] = {};
        char reply[800] = {};
        std::strncpy(request, argv[2], sizeof request - 1);
        if (!ZEL_CallNamePipe(request, sizeof request, reply, sizeof reply)) {
            std::fprintf(stderr, "no reply from the command service (error %lu)\n", GetLastError());
            return 1;
        }
        std::printf("%s\n", reply);
        return 0;
    }
    std::string command = argv[1];
    if (command == "-self-command-line") {
        command = "root\\CIMV2:Q:Win32_Process where ProcessId = " + std::to_string(GetCurrentProcessId()) +
                  ":CommandLine:0";
    }
    CBrindle bridge;
    char reply[800] = {};
    bridge.CallBrindleParser(command.c_str(), reply);
    std::printf("%s\n", reply);
    return 0;
}
