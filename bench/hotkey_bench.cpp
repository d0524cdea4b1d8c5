// Hotkey to OSD visible: the emulated firmware presses the wireless key (the
// device toggled and the event raised), the running tray program handles
// WM_FIRMWARE_EVENT and shows its device OSD window with the picture; the
// time until that window is visible at the picture's size. Beside it, from
// the same presses: a bare window of this program, subscribed to the same
// events through the bridge, shown by its WM_FIRMWARE_EVENT handler (the
// event delivery plus a posted message and ShowWindow: the floor).
// Usage: hotkey_bench PRESSES LABEL   (the tray program must be running)
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Brindle.h"
#include "bench_clock.h"
#include "bench_report.h"
#include "ec.h"
#include "ec_registry.h"
#include "event_bus.h"

namespace {

constexpr int kWarmUp = 20;
constexpr DWORD kWaitMs = 5000;

HWND MainWindow() { return FindWindowA("#32770", "Corvane"); }

struct OsdSearch {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK FindOsd(HWND hwnd, LPARAM arg) {
    auto* s = reinterpret_cast<OsdSearch*>(arg);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == s->pid && (GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED)) s->windows.push_back(hwnd);
    return TRUE;
}

// The tray program's OSD windows (layered dialogs of its process).
std::vector<HWND> OsdWindows() {
    OsdSearch s{0, {}};
    if (!MainWindow()) return {};
    GetWindowThreadProcessId(MainWindow(), &s.pid);
    EnumWindows(FindOsd, reinterpret_cast<LPARAM>(&s));
    return s.windows;
}

// Width and height from a PNG file's header.
SIZE PngSize(const std::string& path) {
    SIZE size{0, 0};
    unsigned char header[24] = {};
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return size;
    DWORD got = 0;
    if (ReadFile(f, header, sizeof header, &got, nullptr) && got == sizeof header) {
        auto be = [&](int at) { return (header[at] << 24) | (header[at + 1] << 16) | (header[at + 2] << 8) | header[at + 3]; };
        size = {be(16), be(20)};
    }
    CloseHandle(f);
    return size;
}

std::string OwnDirectory() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n);
    return p.substr(0, p.find_last_of('\\') + 1);
}

bool ShownAtSize(HWND hwnd, SIZE size) {
    RECT r;
    return IsWindowVisible(hwnd) && GetWindowRect(hwnd, &r) && r.right - r.left == size.cx &&
           r.bottom - r.top == size.cy;
}

// The floor's window: its own thread, its own bridge object subscribed to
// the firmware events, shown when one arrives.
struct Floor {
    HWND window = nullptr;
    HANDLE ready = nullptr;
    bool subscribed = false;
};

LRESULT CALLBACK FloorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_FIRMWARE_EVENT) {
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
        return 1;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

DWORD WINAPI FloorThread(void* arg) {
    auto* floor = static_cast<Floor*>(arg);
    CBrindle bridge;
    WNDCLASSA wc{};
    wc.lpfnWndProc = FloorProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = "HotkeyBenchFloor";
    RegisterClassA(&wc);
    floor->window = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName, "", WS_POPUP, 0, 0, 32, 32,
                                    nullptr, nullptr, wc.hInstance, nullptr);
    bridge.AddHWND(floor->window);
    BSTR query = SysAllocString(L"Select * from ZEL_Event");
    BSTR ns = SysAllocString(L"root\\wmi");
    BSTR wql = SysAllocString(L"WQL");
    char error[260] = {};
    floor->subscribed = floor->window && bridge.ZELWMIEvent(query, error, ns, wql);
    SysFreeString(query);
    SysFreeString(ns);
    SysFreeString(wql);
    SetEvent(floor->ready);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    if (floor->window) DestroyWindow(floor->window);
    return 0;
}

bool WaitUntil(bool (*condition)(void*), void* arg) {
    const ULONGLONG deadline = GetTickCount64() + kWaitMs;
    while (!condition(arg))
        if (GetTickCount64() >= deadline) return false;
        else Sleep(1);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int presses = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const std::string label = argc > 2 ? argv[2] : "";
    if (!MainWindow()) {
        std::fprintf(stderr, "hotkey_bench: the tray program is not running\n");
        return 1;
    }
    const SIZE picture = PngSize(OwnDirectory() + "Image\\ICON\\Wireless_Enable.png");
    emu::RegistryEcBackend backend;
    emu::Ec ec(backend);
    emu::EventBus bus;
    auto wireless = emu::findHotkey("wireless");
    if (!bus.ok() || !wireless || picture.cx == 0) {
        std::fprintf(stderr, "hotkey_bench: no event queue, key or picture\n");
        return 1;
    }
    Floor floor;
    floor.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD floorThreadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, FloorThread, &floor, 0, &floorThreadId);
    WaitForSingleObject(floor.ready, 30000);
    if (!floor.subscribed) {
        std::fprintf(stderr, "hotkey_bench: the floor window could not subscribe\n");
        return 1;
    }

    struct Target {
        HWND osd;
        HWND floor;
        SIZE picture;
    } target{nullptr, floor.window, picture};
    auto allHidden = [](void* p) {
        auto* t = static_cast<Target*>(p);
        for (HWND w : OsdWindows())
            if (IsWindowVisible(w)) return false;
        return !IsWindowVisible(t->floor);
    };
    std::vector<double> toOsd, toFloor;
    for (int i = 0; i < kWarmUp + presses; ++i) {
        for (HWND w : OsdWindows()) ShowWindow(w, SW_HIDE);
        ShowWindow(floor.window, SW_HIDE);
        if (!WaitUntil(allHidden, &target)) {
            std::fprintf(stderr, "hotkey_bench: press %d: windows stay visible\n", i);
            return 1;
        }
        const double t0 = bench::NowUs();
        if (!bus.press(ec, *wireless)) {
            std::fprintf(stderr, "hotkey_bench: press failed\n");
            return 1;
        }
        double osdAt = 0, floorAt = 0;
        const ULONGLONG deadline = GetTickCount64() + kWaitMs;
        while ((osdAt == 0 || floorAt == 0) && GetTickCount64() < deadline) {
            if (osdAt == 0) {
                if (!target.osd)
                    for (HWND w : OsdWindows())
                        if (ShownAtSize(w, picture)) target.osd = w;  // the device OSD: the wireless picture's window
                if (target.osd && ShownAtSize(target.osd, picture)) osdAt = bench::NowUs();
            }
            if (floorAt == 0 && IsWindowVisible(floor.window)) floorAt = bench::NowUs();
            if (osdAt == 0 || floorAt == 0) Sleep(0);
        }
        if (osdAt == 0 || floorAt == 0) {
            std::fprintf(stderr, "hotkey_bench: press %d: %s not shown\n", i, osdAt == 0 ? "OSD" : "floor window");
            return 1;
        }
        if (i >= kWarmUp) {
            toOsd.push_back(osdAt - t0);
            toFloor.push_back(floorAt - t0);
        }
    }
    PostThreadMessageA(floorThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    CloseHandle(floor.ready);

    const bench::Summary osd = bench::Summarise(toOsd), bare = bench::Summarise(toFloor);
    std::printf("hotkey -> OSD visible (%s): n=%zu median %.1f us p99 %.1f us max %.1f us\n", label.c_str(), osd.n,
                osd.median, osd.p99, osd.max);
    std::printf("same press -> bare subscribed window shown: n=%zu median %.1f us p99 %.1f us max %.1f us\n", bare.n,
                bare.median, bare.p99, bare.max);
    const std::string figure = "hotkey -> OSD visible (" + label + ")";
    bench::PrintRow(figure.c_str(), "us", osd, "same press -> bare subscribed window shown", bare);
    return 0;
}
