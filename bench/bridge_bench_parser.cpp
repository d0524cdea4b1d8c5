// Cost per command of the command grammar: valid commands, invalid commands
// and a mix of both, each beside a bare copy of the same texts, in one run.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_report.h"
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

constexpr int kRoundsPerBatch = 200;

// Times batches of rounds over the commands for about `seconds`; returns the
// nanoseconds per command of each batch. `work` is what is done per command.
template <class Work>
std::vector<double> NsPerCommand(const std::vector<std::string>& commands, double seconds, Work work) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> batches;
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    for (auto start = Clock::now(); start < deadline;) {
        for (int round = 0; round < kRoundsPerBatch; ++round)
            for (const std::string& command : commands) work(command);
        const auto end = Clock::now();
        batches.push_back(std::chrono::duration<double, std::nano>(end - start).count() /
                          (kRoundsPerBatch * static_cast<double>(commands.size())));
        start = end;
    }
    return batches;
}

}  // namespace

int main() {
    std::vector<std::string> mix;
    for (std::size_t i = 0; i < kValid.size(); ++i) {
        mix.push_back(kValid[i]);
        mix.push_back(kInvalid[i]);
    }
    unsigned long long sink = 0;
    auto parse = [&sink](const std::string& command) {
        brindle::Command c = brindle::ParseCommand(command);
        sink += static_cast<unsigned long long>(c.kind) + static_cast<unsigned>(c.instance);
    };
    // The floor: one copy of the command's text, the least any parser that
    // keeps its fields does.
    auto copy = [&sink](const std::string& command) {
        std::string text(command.data(), command.size());
        sink += static_cast<unsigned char>(text[text.size() / 2]);
    };
    NsPerCommand(mix, 0.2, parse);  // warm-up
    struct Figure {
        const char* label;
        const std::vector<std::string>* commands;
    } figures[] = {{"grammar, valid commands", &kValid},
                   {"grammar, invalid commands", &kInvalid},
                   {"grammar, half and half", &mix}};
    std::printf("command grammar (native, -O2, no sanitizers), ns per command in batches of %d rounds\n",
                kRoundsPerBatch);
    for (const Figure& f : figures) {
        // Figure and floor alternate in short slices, so both see the same conditions.
        std::vector<double> parsed, copied;
        for (int slice = 0; slice < 5; ++slice) {
            for (double v : NsPerCommand(*f.commands, 0.12, parse)) parsed.push_back(v);
            for (double v : NsPerCommand(*f.commands, 0.08, copy)) copied.push_back(v);
        }
        const bench::Summary p = bench::Summarise(parsed), c = bench::Summarise(copied);
        std::printf("  %-26s median %7.1f ns  p99 %7.1f ns   text copy %6.1f ns  (%zu batches)\n", f.label,
                    p.median, p.p99, c.median, parsed.size());
        bench::PrintRow(f.label, "ns", p, "copy of the command text", c);
    }
    std::printf("(checksum %llu)\n", sink);
    return 0;
}
