// CallBrindleParser per command under Wine, each beside its floor in the
// same run: a firmware read (emulated notebook, root\WMI) and an inventory
// read (Wine's root\CIMV2) beside one plain WMI read of the same property,
// and a malformed command (the parse and the private bridge object's COM
// set-up) beside a bare CoInitialize/CoUninitialize pair. All subjects are
// interleaved so they see the same conditions.
//   bridge_bench_wine [rounds]      (default 300)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "Brindle.h"
#include "bench_report.h"
#include "wmi_read.h"

namespace {

struct Subject {
    const char* label;
    std::function<void()> run;
    std::vector<double> micros;
};

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
    if (rounds < 10) rounds = 10;
    CBrindle bridge;  // as the command service holds one per request
    std::string replies[3];
    auto command = [&](const char* text, std::string& keep) {
        return [&bridge, text, &keep] {
            char reply[800] = {};
            bridge.CallBrindleParser(text, reply);
            keep = reply;
        };
    };
    Subject subjects[] = {
        {"CallBrindleParser, ZEL_Device read", command(R"(root\WMI:Q:ZEL_Device:Device:0)", replies[0]), {}},
        {"bare WMI read, ZEL_Device", [] { bench::ReadWmiOnce(L"root\\WMI", L"Select * from ZEL_Device", L"Device"); }, {}},
        {"CallBrindleParser, Win32_BIOS read",
         command(R"(root\CIMV2:Q:Win32_BIOS:SMBIOSBIOSVersion:0)", replies[1]), {}},
        {"bare WMI read, Win32_BIOS",
         [] { bench::ReadWmiOnce(L"root\\CIMV2", L"Select * from Win32_BIOS", L"SMBIOSBIOSVersion"); }, {}},
        {"CallBrindleParser, malformed command", command(R"(root\WMI:Q:ZEL_Device:Device)", replies[2]), {}},
        {"bare CoInitialize + CoUninitialize",
         [] {
             if (SUCCEEDED(CoInitialize(nullptr))) CoUninitialize();
         },
         {}},
    };

    for (int round = -5; round < rounds; ++round) {  // five warm-up rounds
        for (Subject& s : subjects) {
            const double start = bench::NowUs();
            s.run();
            const double end = bench::NowUs();
            if (round >= 0) s.micros.push_back(end - start);
        }
    }

    std::printf("CallBrindleParser per command under Wine, %d rounds, each beside its floor\n", rounds);
    std::printf("  %-38s %10s %10s\n", "subject", "median us", "p99 us");
    for (const Subject& s : subjects) {
        const bench::Summary x = bench::Summarise(s.micros);
        std::printf("  %-38s %10.1f %10.1f\n", s.label, x.median, x.p99);
    }
    std::printf("  replies: %s | %s | %s\n", replies[0].c_str(), replies[1].c_str(), replies[2].c_str());
    for (std::size_t i = 0; i + 1 < std::size(subjects); i += 2)
        bench::PrintRow(subjects[i].label, "us", bench::Summarise(subjects[i].micros), subjects[i + 1].label,
                        bench::Summarise(subjects[i + 1].micros));
    return 0;
}
