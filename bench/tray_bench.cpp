// Tray program benchmark: time from process start to its tray icon being
// present, measured side by side in one run with a bare program that only
// adds an icon (the platform's floor). For the memory part of
// bench/tray_bench.sh: "wait-icon CLASS TITLE MS" waits for a window's icon,
// "close CLASS TITLE MS" ends the program through its Exit command, and
// "row ..." prints a result row from the readings the script took. Run it in a
// Wine session with a taskbar and the command service running (the script
// does both). Prints figures; asserts nothing.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "bench_report.h"

namespace {

struct Subject {
    const char* exe;
    const char* windowClass;
    const char* windowTitle;
};

const Subject kVorlix = {"Vorlix.exe", "#32770", "Corvane"};
const Subject kBare = {"tray_bare_icon.exe", "TrayBareIcon", "TrayBareIcon"};

std::string BinDir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.rfind('\\') + 1);
}

// Milliseconds on the performance counter.
double Now() { return bench::NowUs() / 1000.0; }

bool IconPresent(HWND owner) {
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = 1;
    return owner && Shell_NotifyIconA(NIM_MODIFY, &data);
}

struct Run {
    double msToIcon = -1;
};

// Starts the subject, times it to its icon and ends it through its Exit command.
Run Measure(const Subject& s) {
    Run run;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string line = "\"" + BinDir() + s.exe + "\"";
    double t0 = Now();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return run;
    HWND window = nullptr;
    while (Now() - t0 < 30000) {
        window = FindWindowA(s.windowClass, s.windowTitle);
        if (IconPresent(window)) {
            run.msToIcon = Now() - t0;
            break;
        }
        Sleep(1);
    }
    if (window) PostMessageA(window, WM_COMMAND, 336, 0);
    if (WaitForSingleObject(pi.hProcess, 15000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return run;
}

// Posts the Exit command to the window and waits until it is gone.
bool Close(const char* windowClass, const char* title, double ms) {
    HWND window = FindWindowA(windowClass, title);
    if (!window) return true;
    PostMessageA(window, WM_COMMAND, 336, 0);
    for (double t0 = Now(); Now() - t0 < ms; Sleep(5))
        if (!IsWindow(window)) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "wait-icon") {
        double t0 = Now();
        while (Now() - t0 < std::atof(argv[4])) {
            if (IconPresent(FindWindowA(argv[2], argv[3]))) return 0;
            Sleep(5);
        }
        return 1;
    }
    if (argc == 7 && std::string(argv[1]) == "row") {
        // A result row from readings taken outside (tray_bench.sh):
        // row FIGURE UNIT FLOOR "values..." "floor values..."
        auto numbers = [](const char* text) {
            std::vector<double> values;
            for (char* end = nullptr;; text = end) {
                double v = std::strtod(text, &end);
                if (end == text) return values;
                values.push_back(v);
            }
        };
        const std::vector<double> figure = numbers(argv[5]), floor = numbers(argv[6]);
        if (figure.empty() || floor.empty()) return 1;  // no row for a reading that failed
        bench::PrintRow(argv[2], argv[3], bench::Summarise(figure), argv[4], bench::Summarise(floor));
        return 0;
    }
    if (argc == 5 && std::string(argv[1]) == "close") return Close(argv[2], argv[3], std::atof(argv[4])) ? 0 : 1;
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::vector<double> vorlix, bare;
    // The program announces itself to the command service at start: wait until it serves.
    for (double t0 = Now(); Now() - t0 < 30000 && !WaitNamedPipeA("\\\\.\\pipe\\simple", 100);) Sleep(20);
    Measure(kVorlix);  // warm the caches once for both
    Measure(kBare);
    for (int i = 0; i < rounds; ++i) {
        // Interleaved, so both see the same machine state.
        Run a = Measure(kVorlix);
        Run b = Measure(kBare);
        if (a.msToIcon >= 0) vorlix.push_back(a.msToIcon);
        if (b.msToIcon >= 0) bare.push_back(b.msToIcon);
    }

    const bench::Summary v = bench::Summarise(vorlix), b = bench::Summarise(bare);
    std::printf("tray start to icon (median of %d): Vorlix %.1f ms, bare icon program %.1f ms, ratio %.2f\n", rounds,
                v.median, b.median, b.median > 0 ? v.median / b.median : 0.0);
    std::printf("tray start to icon (p99/max): Vorlix %.1f/%.1f ms, bare %.1f/%.1f ms\n", v.p99, v.max, b.p99, b.max);
    if (!vorlix.empty() && !bare.empty())
        bench::PrintRow("Vorlix start to tray icon", "ms", v, "bare icon program (WMI + subscription) to icon", b);
    return vorlix.empty() || bare.empty() ? 1 : 0;
}
