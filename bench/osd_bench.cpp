// OSD benchmark: one UpdateOSD (load the pictures from disk, place the
// window, compose and present with UpdateLayeredWindow) on a real OSD window,
// for a device icon and for a level bar, against a bare GDI+ decode of one
// picture file measured in the same run. Prints median and p99 in
// milliseconds and a result row for each; asserts nothing. Usage: osd_bench [iterations]
#include "osd_window.h"
#include "settings.h"

#include "bench_clock.h"
#include "bench_report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

// Times `step` (after a warm-up that fills the caches and the file system's).
bench::Summary Measure(int iterations, const std::function<void()>& step) {
    for (int i = 0; i < 20; ++i) step();
    std::vector<double> ms;
    ms.reserve(iterations);
    for (int i = 0; i < iterations; ++i) {
        const double start = bench::NowUs();
        step();
        ms.push_back((bench::NowUs() - start) / 1000.0);
    }
    return bench::Summarise(ms);
}

void Report(const char* what, const bench::Summary& s, const char* floorName, const bench::Summary& floor) {
    std::printf("osd_bench %-5s %-36s median %7.3f ms  p99 %7.3f ms  (n=%zu; %s median %.3f ms)\n",
                sizeof(void*) == 8 ? "win64" : "win32", what, s.median, s.p99, s.n, floorName, floor.median);
    bench::PrintRow(what, "ms", s, floorName, floor);
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
    const bench::Summary iconFloor = Measure(iterations, [&] { decode(iconWide); });
    const bench::Summary iconUpdate = Measure(iterations, [&] { osd.UpdateOSD({vx::kOsdDevice, -1, 1, 0}); });
    const bench::Summary barFloor = Measure(iterations, [&] { decode(barWide); });
    const bench::Summary barUpdate =
        Measure(iterations, [&] { osd.UpdateOSD({vx::kOsdLevelBar, 50, vx::kLevelVolume, 100}); });
    Report("UpdateOSD device icon (kind 1)", iconUpdate, "GDI+ decode of the icon", iconFloor);
    Report("UpdateOSD level bar 50/100 (kind 5)", barUpdate, "GDI+ decode of the bar base", barFloor);
    return 0;
}
