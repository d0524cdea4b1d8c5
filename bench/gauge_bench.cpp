// The viewer's battery gauge: time of one DrawBatteryGauge into an image of
// the dialog's gauge area (32 bpp ARGB, anti-aliased, as the dialog draws
// it), set beside two floors measured in the same rounds: one fill of the
// whole image, and one anti-aliased filled ellipse of the ring's size.
// The three are interleaved so they see the same conditions.
//   gauge_bench [rounds]      (default 300)
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "battery_gauge.h"
#include "bench_clock.h"
#include "bench_report.h"

namespace {
constexpr int kWidth = 245, kHeight = 201;  // the template's gauge area at 96 dpi
}

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
    if (rounds < 10) rounds = 10;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
        std::printf("GDI+ did not start\n");
        return 1;
    }
    int status = 0;
    {
        const quillon::GaugeTexts texts = quillon::LoadGaugeTexts(GetModuleHandleA(nullptr), 1033);
        quillon::GaugeState state;
        state.percent = 72;
        state.criticalLevel = 5;
        Gdiplus::Bitmap image(kWidth, kHeight, PixelFormat32bppARGB);
        Gdiplus::Graphics g(&image);
        g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        Gdiplus::SolidBrush face(Gdiplus::Color(255, 240, 240, 240));
        Gdiplus::SolidBrush green(Gdiplus::Color(150, 50, 255, 50));

        std::vector<double> gauge, fill, ellipse;
        int colourState = -1;
        for (int i = 0; i < rounds + 5; ++i) {
            double t0 = bench::NowUs();
            colourState = quillon::DrawBatteryGauge(g, kWidth, kHeight, state, texts);
            g.Flush(Gdiplus::FlushIntentionSync);
            double t1 = bench::NowUs();
            g.FillRectangle(&face, 0, 0, kWidth, kHeight);
            g.Flush(Gdiplus::FlushIntentionSync);
            double t2 = bench::NowUs();
            g.FillEllipse(&green, 24, 40, kWidth - 48, kHeight - 62);
            g.Flush(Gdiplus::FlushIntentionSync);
            double t3 = bench::NowUs();
            if (i < 5) continue;  // warm-up: fonts and caches
            gauge.push_back((t1 - t0) / 1000.0);
            fill.push_back((t2 - t1) / 1000.0);
            ellipse.push_back((t3 - t2) / 1000.0);
        }
        const bench::Summary sg = bench::Summarise(gauge), sf = bench::Summarise(fill), se = bench::Summarise(ellipse);
        std::printf("%s gauge %dx%d, state %d: median %.3f ms p99 %.3f ms (n=%zu); image fill %.3f ms; one ellipse %.3f ms\n",
                    sizeof(void*) == 8 ? "win64" : "win32", kWidth, kHeight, colourState, sg.median, sg.p99, sg.n,
                    sf.median, se.median);
        if (colourState != 0) status = 1;
        bench::PrintRow("battery gauge drawing", "ms", sg, "fill of the image", sf);
        bench::PrintRow("battery gauge drawing", "ms", sg, "one anti-aliased ellipse", se);
    }
    Gdiplus::GdiplusShutdown(token);
    return status;
}
