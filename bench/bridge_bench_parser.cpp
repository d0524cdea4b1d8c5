// Throughput of the command grammar: valid commands, invalid commands and a
// mix of both, measured side by side in one run.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"

namespace {

const std::vector<std::string> kValid = {
    R"(root\WMI:Q:ZEL_Device:Device:0)",
    R"(root\WMI:Q:ZEL_System:System:1)",
    R"(root\WMI:S:ZEL_System:System:1:5)",
    R"(root\WMI:S:ZEL_Software:Software:0:1)",
    R"(root\WMI:Q:ZEL_AP:AP:1)",
    R"(root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0)",
    R"(root\WMI:S:ZEL_System:System:1:007)",
    R"(root\WMI:M:)",
};

const std::vector<std::string> kInvalid = {
    R"(root\WMI:Q:ZEL_System:System)",
    R"(root\WMI:Q:ZEL_System:System:1:2)",
    R"(root\WMI:S:ZEL_System:System:1:)",
    R"(root\WMI:Q:ZEL_System::1)",
    R"(root\WMI:q:ZEL_System:System:1)",
    "no colon at all",
    R"(root\WMI:Q:ZEL_System:System:-1)",
    R"(root\WMI:S:ZEL_System:System:1:5:6)",
};

// Parses the commands round after round for about `seconds`; returns commands per second.
double Rate(const std::vector<std::string>& commands, double seconds, unsigned long long& sink) {
    using Clock = std::chrono::steady_clock;
    unsigned long long parsed = 0;
    auto start = Clock::now();
    auto deadline = start + std::chrono::duration<double>(seconds);
    Clock::time_point now;
    do {
        for (int round = 0; round < 1000; ++round) {
            for (const std::string& command : commands) {
                brindle::Command c = brindle::ParseCommand(command);
                sink += static_cast<unsigned long long>(c.kind) + static_cast<unsigned>(c.instance);
            }
        }
        parsed += 1000ULL * commands.size();
        now = Clock::now();
    } while (now < deadline);
    return parsed / std::chrono::duration<double>(now - start).count();
}

}  // namespace

int main() {
    std::vector<std::string> mix;
    for (std::size_t i = 0; i < kValid.size(); ++i) {
        mix.push_back(kValid[i]);
        mix.push_back(kInvalid[i]);
    }
    unsigned long long sink = 0;
    Rate(mix, 0.2, sink);  // warm-up
    double valid = Rate(kValid, 1.0, sink);
    double invalid = Rate(kInvalid, 1.0, sink);
    double mixed = Rate(mix, 1.0, sink);
    std::printf("command grammar (native, -O2, no sanitizers)\n");
    std::printf("  valid commands:   %12.0f commands/s  (%6.1f ns each)\n", valid, 1e9 / valid);
    std::printf("  invalid commands: %12.0f commands/s  (%6.1f ns each)\n", invalid, 1e9 / invalid);
    std::printf("  half and half:    %12.0f commands/s  (%6.1f ns each)\n", mixed, 1e9 / mixed);
    std::printf("  invalid/valid speed ratio: %.2f\n", invalid / valid);
    std::printf("(checksum %llu)\n", sink);
    return 0;
}
