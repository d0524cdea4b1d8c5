// The viewer's battery gauge as the viewer refreshes it: one gauge object
// drawing into its image of the dialog's gauge area (32 bpp ARGB,
// anti-aliased), refreshed again and again. Three figures:
//  - a refresh with a new charge (the ring and everything above it drawn
//    anew over the kept base), the remaining time changing as well;
//  - a refresh with the same charge and a new remaining time (the footer
//    drawn anew over the kept layers below it);
//  - a drawing of every layer on a plain image (DrawBatteryGauge), what
//    each refresh cost before the layers were kept.
// They are set beside two floors measured in the same rounds: one fill of
// the whole image, and one anti-aliased filled ellipse of the ring's size.
// All are interleaved so they see the same conditions.
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
        state.criticalLevel = 5;
        state.lowLevel = 10;
        Gdiplus::Bitmap image(kWidth, kHeight, PixelFormat32bppARGB);
        Gdiplus::Graphics g(&image);
        g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        Gdiplus::SolidBrush face(Gdiplus::Color(255, 240, 240, 240));
        Gdiplus::SolidBrush green(Gdiplus::Color(150, 50, 255, 50));
        quillon::BatteryGauge gauge;

        std::vector<double> newCharge, sameCharge, everyLayer, fill, ellipse;
        int colourState = -1;
        for (int i = 0; i < rounds + 5; ++i) {
            // Charges 100 down to 11: above both alarm levels, a normal ring.
            state.percent = 100 - i % 90;
            state.remainingSeconds = 7708 - 37 * static_cast<unsigned>(i % 90);
            double t0 = bench::NowUs();
            colourState = gauge.Draw(kWidth, kHeight, state, texts);
            double t1 = bench::NowUs();
            state.remainingSeconds -= 60;
            gauge.Draw(kWidth, kHeight, state, texts);
            double t2 = bench::NowUs();
            quillon::DrawBatteryGauge(g, kWidth, kHeight, state, texts);
            g.Flush(Gdiplus::FlushIntentionSync);
            double t3 = bench::NowUs();
            g.FillRectangle(&face, 0, 0, kWidth, kHeight);
            g.Flush(Gdiplus::FlushIntentionSync);
            double t4 = bench::NowUs();
            g.FillEllipse(&green, 24, 40, kWidth - 48, kHeight - 62);
            g.Flush(Gdiplus::FlushIntentionSync);
            double t5 = bench::NowUs();
            if (i < 5) continue;  // warm-up: fonts and caches
            newCharge.push_back((t1 - t0) / 1000.0);
            sameCharge.push_back((t2 - t1) / 1000.0);
            everyLayer.push_back((t3 - t2) / 1000.0);
            fill.push_back((t4 - t3) / 1000.0);
            ellipse.push_back((t5 - t4) / 1000.0);
        }
        const bench::Summary sn = bench::Summarise(newCharge), ss = bench::Summarise(sameCharge),
                             sa = bench::Summarise(everyLayer), sf = bench::Summarise(fill),
                             se = bench::Summarise(ellipse);
        std::printf("%s gauge %dx%d, state %d (n=%zu): new charge median %.3f ms p99 %.3f ms; same charge median "
                    "%.3f ms p99 %.3f ms; every layer median %.3f ms p99 %.3f ms; image fill %.3f ms; one ellipse "
                    "%.3f ms\n",
                    sizeof(void*) == 8 ? "win64" : "win32", kWidth, kHeight, colourState, sn.n, sn.median, sn.p99,
                    ss.median, ss.p99, sa.median, sa.p99, sf.median, se.median);
        if (colourState != 0 || !gauge.Image()) status = 1;
        bench::PrintRow("battery gauge drawing", "ms", sn, "fill of the image", sf);
        bench::PrintRow("battery gauge drawing", "ms", sn, "one anti-aliased ellipse", se);
        bench::PrintRow("battery gauge refresh, same charge", "ms", ss, "one anti-aliased ellipse", se);
        bench::PrintRow("battery gauge, every layer drawn", "ms", sa, "one anti-aliased ellipse", se);
        gauge.Release();
    }
    Gdiplus::GdiplusShutdown(token);
    return status;
}
