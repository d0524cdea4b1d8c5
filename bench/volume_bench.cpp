// Volume benchmark: from a volume change made by this process (another
// program than the tray program) through the emulated audio endpoint to the
// tray program's level bar being visible, beside a floor in the same run:
// WM_VOLUME_NOTIFY sent straight to the main window (the window's own work
// without the audio path). The running program's bar is hidden before each
// round. Prints median and p99 in milliseconds and a result row; asserts
// nothing.
// Usage (inside a session with the tray program running): volume_bench [rounds]
#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "bench_clock.h"
#include "bench_report.h"

namespace {

constexpr UINT kVolumeNotify = WM_USER + 107;
constexpr DWORD kWaitMs = 5000;

double NowMs() { return bench::NowUs() / 1000.0; }

struct Program {
    HWND main;
    DWORD pid;
    HWND bar;  // the layered OSD window that is visible, once found
};

BOOL CALLBACK FindVisibleOsd(HWND hwnd, LPARAM arg) {
    auto* p = reinterpret_cast<Program*>(arg);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == p->pid && hwnd != p->main && IsWindowVisible(hwnd) && (GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED)) {
        p->bar = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND VisibleOsd(Program& p) {
    p.bar = nullptr;
    EnumWindows(FindVisibleOsd, reinterpret_cast<LPARAM>(&p));
    return p.bar;
}

// One round: hide what is shown, cause the change, time until a bar is visible.
bool Round(Program& p, const std::function<void(int)>& change, int i, double& ms) {
    if (HWND shown = VisibleOsd(p)) ShowWindow(shown, SW_HIDE);
    const double start = NowMs();
    change(i);
    while (!VisibleOsd(p)) {
        if (NowMs() - start > kWaitMs) return false;
        Sleep(0);
    }
    ms = NowMs() - start;
    return true;
}

// Times `rounds` changes (after five warm-up rounds); an empty summary when
// a bar did not show in time.
bench::Summary Measure(const char* what, Program& p, int rounds, const std::function<void(int)>& change) {
    std::vector<double> times;
    for (int i = 0; i < rounds + 5; ++i) {
        double ms = 0;
        if (!Round(p, change, i, ms)) {
            std::printf("volume_bench %-5s %-52s no bar within %lu ms\n", sizeof(void*) == 8 ? "win64" : "win32", what,
                        kWaitMs);
            return {};
        }
        if (i >= 5) times.push_back(ms);  // the first rounds warm up
    }
    const bench::Summary s = bench::Summarise(times);
    std::printf("volume_bench %-5s %-52s median %7.3f ms  p99 %7.3f ms  (n=%d)\n", sizeof(void*) == 8 ? "win64" : "win32",
                what, s.median, s.p99, rounds);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 100;
    Program p = {FindWindowA("#32770", "Corvane"), 0, nullptr};
    if (!p.main) {
        std::fprintf(stderr, "volume_bench: the tray program is not running\n");
        return 1;
    }
    GetWindowThreadProcessId(p.main, &p.pid);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    IAudioEndpointVolume* volume = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&enumerator))) ||
        FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, &device)) ||
        FAILED(device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&volume)))) {
        std::fprintf(stderr, "volume_bench: no playback endpoint volume\n");
        return 1;
    }
    // Levels 30 to 69 in turn, never an end stop.
    const char* floorName = "WM_VOLUME_NOTIFY sent to the main window";
    const char* figure = "volume set by another process -> level bar visible";
    const bench::Summary floor = Measure(floorName, p, rounds, [&](int i) {
        DWORD_PTR r = 0;
        SendMessageTimeoutA(p.main, kVolumeNotify, 0, 30 + i % 40, SMTO_BLOCK, kWaitMs, &r);
    });
    const bench::Summary change = Measure(figure, p, rounds, [&](int i) {
        volume->SetMasterVolumeLevelScalar(static_cast<float>(30 + i % 40) / 100.0f, nullptr);
    });
    if (floor.n && change.n) bench::PrintRow(figure, "ms", change, floorName, floor);
    volume->Release();
    device->Release();
    enumerator->Release();
    CoUninitialize();
    return 0;
}
