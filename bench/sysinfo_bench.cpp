// The viewer's WMI work under Wine, as its start-up does it: the whole
// inventory (a CWmiInventory constructed and destroyed: six classes of
// root\CIMV2) and the EC firmware version read (a CWAcpi made without a
// window, GetULong of instance 3, deleted). Each is set beside a floor: one
// bare WMI call of the same namespace on a fresh connection (a Win32_BIOS
// enumeration and first object; a GetULong ExecMethod). The four are
// interleaved so they see the same conditions.
//   sysinfo_bench [rounds]      (default 200)
#include <windows.h>
#include <wbemcli.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "WAcpi.h"
#include "bench_clock.h"
#include "bench_report.h"
#include "WmiInventory.h"
#include "com_ptr.h"

namespace {

using quillon::BStr;
using quillon::ComPtr;

struct Subject {
    const char* label;
    int floor;  // index of the subject it is compared with (itself for a floor)
    std::function<bool()> run;
    std::vector<double> micros;
    bool ok = true;
};

bool Connect(const wchar_t* nameSpace, ComPtr<IWbemServices>& services) {
    ComPtr<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                locator.PutVoid())))
        return false;
    BStr resource(nameSpace);
    return SUCCEEDED(locator->ConnectServer(resource, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.Put()));
}

bool BareBiosQuery() {
    ComPtr<IWbemServices> services;
    if (!Connect(L"\\\\.\\root\\cimv2", services)) return false;
    ComPtr<IEnumWbemClassObject> objects;
    BStr name(L"Win32_BIOS");
    if (FAILED(services->CreateInstanceEnum(name, 0, nullptr, objects.Put()))) return false;
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    return SUCCEEDED(objects->Next(2000, 1, object.Put(), &returned)) && returned == 1;
}

bool BareGetULong() {
    ComPtr<IWbemServices> services;
    if (!Connect(L"\\\\.\\ROOT\\WMI", services)) return false;
    BStr path(LR"(Method_ULong.InstanceName="ACPI\\PNP0C14\\0_3")");
    BStr method(L"GetULong");
    ComPtr<IWbemClassObject> out;
    return SUCCEEDED(services->ExecMethod(path, method, 0, nullptr, nullptr, out.Put(), nullptr));
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    if (rounds < 10) rounds = 10;
    // As the viewer's start-up.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY, RPC_C_IMP_LEVEL_IMPERSONATE,
                         nullptr, EOAC_SECURE_REFS, nullptr);
    Subject subjects[] = {
        {"inventory (6 classes)", 1,
         [] {
             CWmiInventory inventory;
             return !inventory.SMBIOSBIOSVersion().empty();
         },
         {}, true},
        {"bare BIOS query", 1, BareBiosQuery, {}, true},
        {"EC version read", 3,
         [] {
             auto* acpi = new CWAcpi();
             bool ok = acpi->ReadULong(3).has_value();
             delete acpi;
             return ok;
         },
         {}, true},
        {"bare GetULong", 3, BareGetULong, {}, true},
    };
    for (int round = -5; round < rounds; ++round) {  // five warm-up rounds
        for (Subject& s : subjects) {
            const double start = bench::NowUs();
            bool ok = s.run();
            const double took = bench::NowUs() - start;
            if (round < 0) continue;
            s.ok = s.ok && ok;
            s.micros.push_back(took);
        }
    }
    std::printf("Viewer WMI work under Wine (%d-bit build), %d rounds\n", static_cast<int>(sizeof(void*) * 8), rounds);
    std::printf("  %-24s %11s %11s %9s  %s\n", "subject", "median us", "p99 us", "x floor", "result");
    for (const Subject& s : subjects) {
        const bench::Summary mine = bench::Summarise(s.micros);
        const bench::Summary floor = bench::Summarise(subjects[s.floor].micros);
        std::printf("  %-24s %11.1f %11.1f %9.2f  %s\n", s.label, mine.median, mine.p99, mine.median / floor.median,
                    s.ok ? "ok" : "FAILED");
        if (&s == &subjects[s.floor]) continue;  // a floor gets no row of its own
        bench::PrintRow(s.ok ? s.label : "viewer WMI work FAILED", "us", mine, subjects[s.floor].label, floor);
    }
    return 0;
}
