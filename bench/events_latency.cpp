// Latency of one firmware event: from the emulated firmware raising it (the
// value appended to the shared event ring and the listeners woken) to the
// window of a subscribed bridge object receiving WM_FIRMWARE_EVENT. Beside
// it, in the same run: a bare hop (wake a thread that posts the message),
// the floor any delivery on another thread pays, and a few raises from
// another process (emuctl, process start included) beside the same program
// started for a register read only.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Brindle.h"
#include "bench_report.h"
#include "bench_clock.h"
#include "event_bus.h"

namespace {

constexpr int kEvents = 2000;
constexpr int kWarmUp = 50;
constexpr int kProcessRaises = 30;
constexpr DWORD kWaitMs = 5000;

HWND NewWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "EventsLatencyWindow";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

// Waits for the window's next WM_FIRMWARE_EVENT; its wParam, or -1 on time-out.
long Receive(HWND window) {
    const ULONGLONG deadline = GetTickCount64() + kWaitMs;
    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, window, WM_FIRMWARE_EVENT, WM_FIRMWARE_EVENT, PM_REMOVE))
            return static_cast<long>(msg.wParam);
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return -1;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_POSTMESSAGE);
    }
}

void Print(const char* name, const bench::Summary& s) {
    std::printf("%-44s n=%-5zu median %8.1f us  p99 %8.1f us  mean %8.1f us  max %8.1f us\n", name, s.n, s.median,
                s.p99, s.mean, s.max);
}

struct Hop {
    HANDLE go;
    HWND window;
    volatile LONG stop;
};

DWORD WINAPI HopThread(void* p) {
    auto* hop = static_cast<Hop*>(p);
    while (WaitForSingleObject(hop->go, INFINITE) == WAIT_OBJECT_0 && !hop->stop)
        PostMessageA(hop->window, WM_FIRMWARE_EVENT, 0x5F, 0);
    return 0;
}

std::string OwnDirectory() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n);
    return p.substr(0, p.find_last_of('\\') + 1);
}

bool RunEmuctl(const std::string& args) {
    std::string cmd = "\"" + OwnDirectory() + "emuctl.exe\" " + args;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return false;
    bool done = WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0;
    if (!done) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return done;
}

}  // namespace

int main() {
    CBrindle bridge;
    HWND window = NewWindow();
    bridge.AddHWND(window);
    BSTR query = SysAllocString(L"Select * from ZEL_Event");
    BSTR ns = SysAllocString(L"root\\wmi");
    BSTR wql = SysAllocString(L"WQL");
    char error[260] = {};
    BOOL subscribed = bridge.ZELWMIEvent(query, error, ns, wql);
    SysFreeString(query);
    SysFreeString(ns);
    SysFreeString(wql);
    if (!subscribed) {
        std::fprintf(stderr, "events_latency: subscription failed: %s\n", error);
        return 1;
    }
    emu::EventBus bus;
    if (!bus.ok()) {
        std::fprintf(stderr, "events_latency: no event bus\n");
        return 1;
    }

    // Emulated firmware raise -> WM_FIRMWARE_EVENT.
    std::vector<double> viaFirmware;
    for (int i = 0; i < kWarmUp + kEvents; ++i) {
        const std::uint32_t code = 0x20 + (i % 0x40);
        const std::uint32_t value[] = {code | 0x0100};
        double t0 = bench::NowUs();
        if (!bus.raise(value)) {
            std::fprintf(stderr, "events_latency: raise failed\n");
            return 1;
        }
        long got = Receive(window);
        double t1 = bench::NowUs();
        if (got != static_cast<long>(code)) {
            std::fprintf(stderr, "events_latency: event %d: expected code 0x%x, got %ld\n", i, code, got);
            return 1;
        }
        if (i >= kWarmUp) viaFirmware.push_back(t1 - t0);
    }

    // The bare hop: wake a waiting thread, which posts the message.
    Hop hop{CreateEventA(nullptr, FALSE, FALSE, nullptr), window, 0};
    HANDLE thread = CreateThread(nullptr, 0, HopThread, &hop, 0, nullptr);
    std::vector<double> bareHop;
    for (int i = 0; i < kWarmUp + kEvents; ++i) {
        double t0 = bench::NowUs();
        SetEvent(hop.go);
        long got = Receive(window);
        double t1 = bench::NowUs();
        if (got != 0x5F) {
            std::fprintf(stderr, "events_latency: bare hop lost a message\n");
            return 1;
        }
        if (i >= kWarmUp) bareHop.push_back(t1 - t0);
    }
    hop.stop = 1;
    SetEvent(hop.go);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    CloseHandle(hop.go);

    // From another process: emuctl started, raises, ends; the message
    // counted. Beside it, the same program started for a register read,
    // which raises nothing: the cost of the process alone.
    std::vector<double> viaProcess, processAlone;
    for (int i = 0; i < kProcessRaises; ++i) {
        double s0 = bench::NowUs();
        if (!RunEmuctl("get Device")) {
            std::fprintf(stderr, "events_latency: emuctl did not run\n");
            return 1;
        }
        processAlone.push_back(bench::NowUs() - s0);
        double t0 = bench::NowUs();
        if (!RunEmuctl("raise 0x0125")) {
            std::fprintf(stderr, "events_latency: emuctl did not run\n");
            return 1;
        }
        long got = Receive(window);
        double t1 = bench::NowUs();
        if (got != 0x25) {
            std::fprintf(stderr, "events_latency: emuctl's event did not arrive\n");
            return 1;
        }
        viaProcess.push_back(t1 - t0);
    }

    const bench::Summary firmware = bench::Summarise(viaFirmware), hopStats = bench::Summarise(bareHop),
                         process = bench::Summarise(viaProcess), alone = bench::Summarise(processAlone);
    Print("firmware raise -> WM_FIRMWARE_EVENT", firmware);
    Print("bare thread wake -> PostMessage (floor)", hopStats);
    Print("emuctl raise (process start included)", process);
    Print("emuctl register read (process alone)", alone);
    std::printf("ratio firmware/floor: median %.1fx  p99 %.1fx\n", firmware.median / hopStats.median,
                firmware.p99 / hopStats.p99);
    bench::PrintRow("firmware event raise -> window message", "us", firmware, "bare thread wake -> PostMessage",
                    hopStats);
    bench::PrintRow("emuctl raise -> window message", "us", process, "emuctl register read (no event)", alone);
    return 0;
}
