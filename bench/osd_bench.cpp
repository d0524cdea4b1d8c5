// OSD benchmark: one UpdateOSD (load the pictures from disk, place the
// window, compose and present with UpdateLayeredWindow) on a real OSD window,
// for a device icon and for a level bar, against a bare GDI+ decode of one
// picture file measured in the same run. Prints median and p99 in
// milliseconds; asserts nothing. Usage: osd_bench [iterations]
#include "osd_window.h"
#include "settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

double NowMs() {
    static const double perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / perMs;
}

void Report(const char* what, int iterations, const std::function<void()>& step) {
    for (int i = 0; i < 20; ++i) step();  // warm caches and the file system
    std::vector<double> times;
    times.reserve(iterations);
    for (int i = 0; i < iterations; ++i) {
        const double start = NowMs();
        step();
        times.push_back(NowMs() - start);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
    std::printf("osd_bench %-5s %-40s median %7.3f ms  p99 %7.3f ms  (n=%d)\n", sizeof(void*) == 8 ? "win64" : "win32",
                what, median, p99, iterations);
}

}  // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::max(10, std::atoi(argv[1])) : 500;
    vx::GdiplusSession gdiplus;
    vx::CVXSysOSD osd;
    if (!gdiplus.Started() || !osd.Create()) {
        std::fprintf(stderr, "osd_bench: no OSD window\n");
        return 1;
    }
    const std::string dir = vx::ProgramDirectoryShort();
    const std::string icon = vx::OsdImagePath(dir, vx::DeviceIconFile(1));
    const std::wstring iconWide(icon.begin(), icon.end());
    const std::string bar = vx::OsdImagePath(dir, vx::LevelBarImageFiles(vx::kLevelVolume).base);
    const std::wstring barWide(bar.begin(), bar.end());

    // The floor: GDI+ alone decoding one picture file into pixels.
    auto decode = [](const std::wstring& path) {
        Gdiplus::Bitmap bitmap(path.c_str());
        Gdiplus::Rect all(0, 0, static_cast<INT>(bitmap.GetWidth()), static_cast<INT>(bitmap.GetHeight()));
        Gdiplus::BitmapData data = {};
        if (bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) == Gdiplus::Ok)
            bitmap.UnlockBits(&data);
    };
    Report("floor: GDI+ decode of the device icon", iterations, [&] { decode(iconWide); });
    Report("UpdateOSD device icon (kind 1)", iterations, [&] { osd.UpdateOSD({vx::kOsdDevice, -1, 1, 0}); });
    Report("floor: GDI+ decode of the bar base", iterations, [&] { decode(barWide); });
    Report("UpdateOSD level bar 50/100 (kind 5)", iterations,
           [&] { osd.UpdateOSD({vx::kOsdLevelBar, 50, vx::kLevelVolume, 100}); });
    return 0;
}
