// Viewer benchmark: time from process start to the information dialog
// shown (Quillon.exe /COMP_QN: the WMI inventory, the EC firmware version
// read, the dialog's first drawing), side by side in one run with two
// floors:
//  - the fair floor, sysinfo_wmi_dialog.exe: a dialog of the same size shown
//    after the same platform work done as plain WMI calls (the inventory's
//    classes of root\cimv2, GetULong of Method_ULong instance 3 in root\WMI);
//    the viewer's cost above the platform's is its ratio to this one;
//  - the bare dialog, sysinfo_bare_dialog.exe: a dialog of the same size and
//    nothing else, what Wine's start of a dialog program costs alone.
// The three are interleaved; each is ended through its OK button. Run it in
// a Wine session with the emulated notebook installed. Prints figures;
// asserts nothing.
//   viewer_bench [rounds]      (default 10)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "bench_report.h"
#include "dialog_find.h"

namespace {

std::string BinDir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.rfind('\\') + 1);
}

double NowMs() { return bench::NowUs() / 1000.0; }

// Milliseconds from CreateProcess to the program's dialog being visible, or
// -1; the program is ended through its OK button (by its handle if that fails).
double Measure(const char* commandLine) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string line = "\"" + BinDir() + commandLine;
    double shown = -1;
    const double t0 = NowMs();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    viewertest::DialogMatch match;
    match.pid = pi.dwProcessId;
    HWND dlg = nullptr;
    while (NowMs() - t0 < 60000 && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
        if ((dlg = viewertest::FindVisibleDialog(match))) {
            shown = NowMs() - t0;
            break;
        }
        Sleep(1);
    }
    if (dlg) PostMessageA(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 15000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return shown;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const char* programs[] = {"Quillon.exe\" /COMP_QN", "sysinfo_wmi_dialog.exe\"", "sysinfo_bare_dialog.exe\""};
    for (const char* program : programs) Measure(program);  // warm the caches once for each
    std::vector<double> times[3];
    for (int i = 0; i < rounds; ++i)
        for (int p = 0; p < 3; ++p)
            if (const double t = Measure(programs[p]); t >= 0) times[p].push_back(t);
    const bench::Summary viewer = bench::Summarise(times[0]), fair = bench::Summarise(times[1]),
                         bare = bench::Summarise(times[2]);
    std::printf("viewer start to dialog shown (%d-bit build, %d rounds): Quillon %.1f ms (p99 %.1f), dialog after "
                "the same WMI work %.1f ms (p99 %.1f), bare dialog %.1f ms (p99 %.1f)\n",
                static_cast<int>(sizeof(void*) * 8), rounds, viewer.median, viewer.p99, fair.median, fair.p99,
                bare.median, bare.p99);
    if (times[0].empty() || times[1].empty() || times[2].empty()) return 1;
    bench::PrintRow("Quillon start to dialog shown", "ms", viewer, "dialog after the same WMI work to dialog shown",
                    fair);
    bench::PrintRow("Quillon start to dialog shown", "ms", viewer, "bare dialog program to dialog shown", bare);
    return 0;
}
