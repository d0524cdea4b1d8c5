// Cost of one WMI read as the suite's bridge makes it (create the locator,
// connect, set the blanket, query, take the first object, read a property,
// release everything), against the emulated root\WMI and, side by side in
// the same run, against Wine's own root\CIMV2 (Win32_BIOS). The two are
// interleaved so they see the same conditions. Run under Wine after
// `emuctl install`:  wine emulator_wmi_bench.exe [rounds]
#include "bench_report.h"
#include "wmi_read.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
    if (FAILED(CoInitialize(nullptr))) return 1;
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
                         nullptr, EOAC_NONE, nullptr);
    struct Subject {
        const wchar_t *ns, *wql, *prop;
        std::vector<double> us;
        bool ok = true;
    } emu{L"root\\WMI", L"Select * from ZEL_Device", L"Device", {}},
        wine{L"root\\CIMV2", L"Select * from Win32_BIOS", L"SMBIOSBIOSVersion", {}};
    for (int i = -1; i < rounds; ++i) {  // one warm-up round loads the DLLs
        for (Subject* s : {&emu, &wine}) {
            const double t0 = bench::NowUs();
            const bool ok = bench::ReadWmiOnce(s->ns, s->wql, s->prop);
            const double t1 = bench::NowUs();
            if (i < 0) continue;
            s->ok = ok && s->ok;
            s->us.push_back(t1 - t0);
        }
    }
    const bench::Summary e = bench::Summarise(emu.us), w = bench::Summarise(wine.us);
    std::printf("one WMI read (locator, connect, blanket, query, Next, Get), %d rounds each\n", rounds);
    std::printf("  emulated root\\WMI  ZEL_Device.Device            median %8.1f us  p99 %8.1f us%s\n", e.median,
                e.p99, emu.ok ? "" : "  (FAILED reads)");
    std::printf("  Wine root\\CIMV2    Win32_BIOS.SMBIOSBIOSVersion median %8.1f us  p99 %8.1f us%s\n", w.median,
                w.p99, wine.ok ? "" : "  (FAILED reads)");
    std::printf("  ratio emulated / Wine (median): %.2f\n", e.median / w.median);
    if (emu.ok && wine.ok)
        bench::PrintRow("WMI read, emulated root\\WMI ZEL_Device", "us", e, "WMI read, Wine root\\CIMV2 Win32_BIOS", w);
    CoUninitialize();
    return emu.ok && wine.ok ? 0 : 1;
}
