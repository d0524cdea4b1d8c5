// Tray program benchmark: time from process start to its tray icon being
// present, measured side by side in one run with a bare program that only
// adds an icon (the platform's floor). "wait-icon CLASS TITLE MS" waits for a
// window's icon, for the memory part of bench/tray_bench.sh. Run it in a
// Wine session with a taskbar and the command service running (the script
// does both). Prints figures; asserts nothing.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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

double Now() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

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

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
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

    double mv = Median(vorlix), mb = Median(bare);
    std::printf("tray start to icon (median of %d): Vorlix %.1f ms, bare icon program %.1f ms, ratio %.2f\n", rounds,
                mv, mb, mb > 0 ? mv / mb : 0.0);
    std::printf("tray start to icon (min/max): Vorlix %.1f/%.1f ms, bare %.1f/%.1f ms\n",
                vorlix.empty() ? -1 : *std::min_element(vorlix.begin(), vorlix.end()),
                vorlix.empty() ? -1 : *std::max_element(vorlix.begin(), vorlix.end()),
                bare.empty() ? -1 : *std::min_element(bare.begin(), bare.end()),
                bare.empty() ? -1 : *std::max_element(bare.begin(), bare.end()));
    return vorlix.empty() || bare.empty() ? 1 : 0;
}
