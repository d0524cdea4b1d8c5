// CallBrindleParser per command under Wine: a firmware read (emulated
// notebook, root\WMI), an inventory read (Wine's root\CIMV2) and, as the
// floor, a malformed command that costs only the parse and the private
// bridge object's COM set-up. The three are interleaved so they see the same
// conditions; ratios are against the inventory read.
//   bridge_bench_wine [rounds]      (default 300)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Brindle.h"

namespace {

struct Subject {
    const char* label;
    const char* command;
    std::vector<double> micros;
    std::string reply;
};

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    std::size_t index = static_cast<std::size_t>(p * (values.size() - 1) + 0.5);
    return values[index];
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
    if (rounds < 10) rounds = 10;
    Subject subjects[] = {
        {"ZEL_Device read", R"(root\WMI:Q:ZEL_Device:Device:0)", {}, {}},
        {"Win32_BIOS read", R"(root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0)", {}, {}},
        {"malformed (floor)", R"(root\WMI:Q:ZEL_Device:Device)", {}, {}},
    };
    CBrindle bridge;  // as the command service holds one per request
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);

    for (int round = -5; round < rounds; ++round) {  // five warm-up rounds
        for (Subject& s : subjects) {
            char reply[800] = {};
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            bridge.CallBrindleParser(s.command, reply);
            QueryPerformanceCounter(&end);
            if (round < 0) continue;
            s.micros.push_back(1e6 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart);
            s.reply = reply;
        }
    }

    std::printf("CallBrindleParser per command under Wine, %d rounds\n", rounds);
    std::printf("  %-18s %10s %10s %10s  reply\n", "command", "median us", "p99 us", "x BIOS");
    const double reference = Percentile(subjects[1].micros, 0.5);
    for (const Subject& s : subjects) {
        double median = Percentile(s.micros, 0.5);
        std::printf("  %-18s %10.1f %10.1f %10.3f  %s\n", s.label, median, Percentile(s.micros, 0.99),
                    median / reference, s.reply.c_str());
    }
    return 0;
}
