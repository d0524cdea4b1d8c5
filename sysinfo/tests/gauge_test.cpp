// The battery gauge rendered into a 32 bpp image as the dialog renders it:
// the colour state it returns and the pixels that show it.
#include <gtest/gtest.h>

#include "viewer_test_support.h"

#include <algorithm>
#include <cstdint>
#include <string>

using namespace quillon;
using quillontest::GaugeImage;
using quillontest::kGaugeHeight;
using quillontest::kGaugeWidth;
using quillontest::RenderGauge;
using quillontest::Rgb;

namespace {

GaugeTexts English() {
    return LoadGaugeTexts(GetModuleHandleA(nullptr), 1033);
}

GaugeState State(int percent, int critical = 5, int low = 10) {
    GaugeState s;
    s.percent = percent;
    s.criticalLevel = critical;
    s.lowLevel = low;
    return s;
}

bool Red(Rgb c) {
    return c.r > c.g + 60 && c.r > c.b + 60;
}
bool Green(Rgb c) {
    return c.g > c.r + 60 && c.g > c.b + 60;
}
bool Magenta(Rgb c) {
    return c.r > c.g + 60 && c.b > c.g + 60;
}
bool Blue(Rgb c) {
    return c.b > c.r + 60 && c.b > c.g + 60;
}
bool Yellowish(Rgb c) {
    return c.r > 220 && c.g > 220 && c.b < c.r - 40;
}
bool Greyish(Rgb c) {
    return std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b}) < 16;
}
int Brightness(Rgb c) {
    return c.r + c.g + c.b;
}

Rgb Face() {
    const COLORREF f = GetSysColor(COLOR_BTNFACE);
    return {GetRValue(f), GetGValue(f), GetBValue(f)};
}
bool IsFace(Rgb c) {
    const Rgb f = Face();
    return c.r == f.r && c.g == f.g && c.b == f.b;
}

const GaugeGeometry kGeo = ComputeGaugeGeometry(kGaugeWidth, kGaugeHeight);

GaugeRect Lifted(GaugeRect r, int lift) {
    r.top -= lift;
    return r;
}
// Halfway between the outer and inner rim at a rim angle, `lift` pixels up.
GaugePoint RingMid(float angle, int lift) {
    const GaugePoint o = EllipsePoint(Lifted(kGeo.outer, lift), angle);
    const GaugePoint i = EllipsePoint(Lifted(kGeo.inner, lift), angle);
    return {(o.x + i.x) / 2, (o.y + i.y) / 2};
}
Rgb At(const GaugeImage& image, GaugePoint p) {
    return image.At(p.x, p.y);
}

// Pixels of a rectangle that satisfy a predicate.
template <class Predicate>
int Count(const GaugeImage& image, int left, int top, int right, int bottom, Predicate predicate) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) n += predicate(image.At(x, y));
    return n;
}
// The centre text's area.
template <class Predicate>
int CountCentre(const GaugeImage& image, Predicate predicate) {
    return Count(image, kGeo.centre.x - 40, kGeo.centre.y - 15, kGeo.centre.x + 40, kGeo.centre.y + 6, predicate);
}

}  // namespace

TEST(Gauge, EllipsePointFollowsTheArc) {
    ASSERT_TRUE(quillontest::StartGdiplus());
    const GaugeRect o = kGeo.outer;  // 24, 40, 197 x 139
    struct Case {
        float angle;
        int x, y;
    } cases[] = {
        {0, 24 + 197, 40 + 69},      // right end (half of 139 truncated)
        {90, 24 + 98, 40 + 139},     // bottom
        {180, 24, 40 + 69},          // left end
        {-90, 24 + 98, 40},          // top
        {270, 24 + 98, 40},
    };
    for (const Case& c : cases) {
        const GaugePoint p = EllipsePoint(o, c.angle);
        EXPECT_NEAR(p.x, c.x, 1) << c.angle;
        EXPECT_NEAR(p.y, c.y, 1) << c.angle;
    }
    // Upper left at -135: on the ellipse, left of and above the centre.
    const GaugePoint p = EllipsePoint(o, -135);
    const double ex = (p.x - 122.5) / 98.5, ey = (p.y - 109.5) / 69.5;
    EXPECT_NEAR(ex * ex + ey * ey, 1.0, 0.05);
    EXPECT_LT(p.x, 122);
    EXPECT_LT(p.y, 109);
}

TEST(Gauge, ColourStateAndRingColourFollowTheAlarms) {
    const GaugeTexts texts = English();
    struct Case {
        int percent;
        bool criticalOn;
        bool lowOn;
        int state;
        float filledAngle;  // a rim angle inside the filled part
        bool (*colour)(Rgb);
    } cases[] = {
        {5, true, true, 2, -126, Red},  // at the critical level 5
        {8, true, true, 4, -121, Magenta},
        {10, true, true, 4, -120, Magenta},
        {10, true, false, 0, -120, Green},  // low alarm off
        {5, false, true, 4, -126, Magenta}, // critical off falls to low
        {60, true, true, 0, 0, Green},
    };
    for (const Case& c : cases) {
        GaugeState s = State(c.percent);
        s.criticalEnabled = c.criticalOn;
        s.lowEnabled = c.lowOn;
        const GaugeImage image = RenderGauge(s, texts);
        ASSERT_TRUE(image.bitmap) << "GDI+";
        EXPECT_EQ(image.colourState, c.state) << c.percent;
        const Rgb top = At(image, RingMid(c.filledAngle, 10));
        EXPECT_TRUE(c.colour(top)) << c.percent << ": " << top.r << ',' << top.g << ',' << top.b;
        // Beyond the charge the ring is empty.
        EXPECT_TRUE(IsFace(At(image, RingMid(150, 10)))) << c.percent;
        EXPECT_TRUE(IsFace(At(image, RingMid(150, 0)))) << c.percent;
    }
}

TEST(Gauge, FullChargeFillsTheWholeRingWithALineAtTheStart) {
    const GaugeImage image = RenderGauge(State(100), English());
    EXPECT_EQ(image.colourState, 0);
    for (float angle : {-130.0f, -90.0f, 0.0f, 90.0f, 180.0f, 220.0f}) {
        const Rgb c = At(image, RingMid(angle, 10));
        EXPECT_TRUE(Green(c)) << angle << ": " << c.r << ',' << c.g << ',' << c.b;
    }
    // The radial line at -135 degrees on the top face: lighter than the
    // ring a little to either side along its whole length.
    const GaugePoint o = EllipsePoint(Lifted(kGeo.outer, 10), -135);
    const GaugePoint i = EllipsePoint(Lifted(kGeo.inner, 10), -135);
    int lighter = 0, samples = 0;
    for (int t = 2; t <= 8; ++t) {
        const int x = o.x + (i.x - o.x) * t / 10, y = o.y + (i.y - o.y) * t / 10;
        int brightest = 0;
        for (int d = -1; d <= 1; ++d) brightest = std::max(brightest, Brightness(image.At(x + d, y)));
        ++samples;
        lighter += brightest > Brightness(image.At(x + 6, y - 4)) + 60 && brightest > Brightness(image.At(x - 6, y + 4)) + 60;
    }
    EXPECT_EQ(lighter, samples);
    EXPECT_GT(CountCentre(image, Green), 10);
    EXPECT_EQ(CountCentre(image, Red), 0);
    // The inner hole stays empty.
    EXPECT_TRUE(IsFace(image.At(kGeo.centre.x, kGeo.centre.y - 16)));
}

TEST(Gauge, UnknownChargeShowsAGreyDiskAndTheUnknownTextInRed) {
    const GaugeTexts texts = English();
    ASSERT_EQ(texts.unknown, "Unknown");
    const GaugeImage image = RenderGauge(State(255), texts);
    EXPECT_EQ(image.colourState, 0);
    // A disk, not a ring: the hole is filled, grey to white.
    const Rgb hole = image.At(kGeo.centre.x, kGeo.centre.y - 16);
    EXPECT_TRUE(Greyish(hole) && !IsFace(hole)) << hole.r << ',' << hole.g << ',' << hole.b;
    const Rgb upperLeft = At(image, RingMid(-135, 10));
    const Rgb lowerRight = At(image, RingMid(45, 10));
    EXPECT_TRUE(Greyish(upperLeft) && Greyish(lowerRight));
    EXPECT_GT(Brightness(upperLeft), Brightness(lowerRight) + 30);  // lit from the upper left
    EXPECT_GT(CountCentre(image, Red), 10);
    EXPECT_EQ(CountCentre(image, Green), 0);
    // The alarm labels are still drawn.
    EXPECT_GT(Count(image, 0, 0, kGaugeWidth, 40, Yellowish), 100);
}

TEST(Gauge, EmptyKnownChargeDrawsOnlyTheBaseOutlineWithTheMarkersOnIt) {
    const GaugeImage image = RenderGauge(State(0), English());
    EXPECT_EQ(image.colourState, 2);  // 0 is at or below the critical level 5
    for (float angle : {0.0f, 90.0f, 180.0f})
        for (int lift : {0, 10}) EXPECT_TRUE(IsFace(At(image, RingMid(angle, lift)))) << angle << ' ' << lift;
    // The outline at the base, nothing above it.
    const GaugePoint bottom{kGeo.centre.x, kGeo.outer.top + kGeo.outer.height};
    EXPECT_LT(Brightness(image.At(bottom.x, bottom.y)), Brightness(Face()) - 20);
    for (int y = bottom.y - 12; y < bottom.y - 2; ++y) EXPECT_TRUE(IsFace(image.At(bottom.x, y))) << y;
    // The critical marker sits on the base ellipse.
    const GaugePoint base = EllipsePoint(kGeo.outer, RimAngle(5));
    EXPECT_TRUE(Red(image.At(base.x, base.y - 11)));
    EXPECT_FALSE(Red(image.At(base.x, base.y - 21)));
}

TEST(Gauge, CriticalLevelZeroMarksTheStartAndItsLabelIsPulledIntoTheImage) {
    const GaugeTexts texts = English();
    GaugeState s = State(50, 0, 10);
    const GaugeImage enabled = RenderGauge(s, texts);
    s.criticalEnabled = false;
    const GaugeImage disabled = RenderGauge(s, texts);

    // The marker on the lifted rim at -135 degrees: red when enabled, dark
    // when not.
    const GaugePoint pc = EllipsePoint(Lifted(kGeo.outer, 10), -135);
    EXPECT_TRUE(Red(enabled.At(pc.x, pc.y - 11)));
    EXPECT_FALSE(Red(disabled.At(pc.x, pc.y - 11)));
    EXPECT_LT(Brightness(disabled.At(pc.x, pc.y - 11)), Brightness(Face()) - 20);

    // Its label extends left (the low marker lies to the right), would leave
    // the image and is moved to x 3, lifted to 30 pixels above the marker.
    for (const GaugeImage* image : {&enabled, &disabled}) {
        EXPECT_TRUE(IsFace(image->At(1, pc.y - 25)));
        EXPECT_LT(Brightness(image->At(3, pc.y - 25)), Brightness(Face()));  // the frame's left edge
        EXPECT_TRUE(Yellowish(image->At(5, pc.y - 28)));
    }
    // "Critical Alarm 0%" in red; the disabled label's grey text has none.
    EXPECT_GT(Count(enabled, 3, pc.y - 30, 100, pc.y - 15, Red), 10);
    EXPECT_EQ(Count(disabled, 3, pc.y - 30, 100, pc.y - 15, Red), 0);
}

TEST(Gauge, LabelsStayWhereTheyFitAndArePulledInOnTheRight) {
    const GaugeTexts texts = English();
    // Low at 10 %: its label extends right from the marker and fits.
    const GaugeImage fits = RenderGauge(State(50, 5, 10), texts);
    const GaugePoint pl = EllipsePoint(Lifted(kGeo.outer, 10), RimAngle(10));
    EXPECT_TRUE(Yellowish(fits.At(pl.x + 12, pl.y - 17)));
    EXPECT_GT(Count(fits, pl.x + 8, pl.y - 20, kGaugeWidth, pl.y - 5, Blue), 10);

    // Low at 35 %: its marker is near the right edge; the label ends 3
    // pixels before it and is lifted.
    const GaugeImage pulled = RenderGauge(State(50, 5, 35), texts);
    const GaugePoint edge = EllipsePoint(Lifted(kGeo.outer, 10), RimAngle(35));
    ASSERT_GT(edge.x + 8 + 60, kGaugeWidth);  // it would not fit
    EXPECT_TRUE(IsFace(pulled.At(kGaugeWidth - 2, edge.y - 25)));
    // Lifted: text above the row where an unmoved label's box starts.
    EXPECT_GT(Count(pulled, kGaugeWidth / 2, edge.y - 29, kGaugeWidth, edge.y - 20, Blue), 5);
    // Its text ends a few pixels before the right edge.
    int rightmost = -1;
    for (int y = edge.y - 30; y < edge.y - 12; ++y)
        for (int x = 0; x < kGaugeWidth; ++x)
            if (Blue(pulled.At(x, y))) rightmost = std::max(rightmost, x);
    EXPECT_GE(rightmost, kGaugeWidth - 14);
    EXPECT_LE(rightmost, kGaugeWidth - 4);
}

TEST(Gauge, FooterShowsTheTimeTheChargingNoticeOrAnEmptyBox) {
    const GaugeTexts texts = English();
    ASSERT_FALSE(texts.charging.empty());
    auto footerBlue = [](const GaugeImage& image) {
        return Count(image, 0, kGaugeHeight - 20, kGaugeWidth, kGaugeHeight, Blue);
    };
    GaugeState s = State(50);
    const GaugeImage time = RenderGauge(s, texts);  // 7708 s
    s.remainingSeconds = 0xFFFFFFFFu;
    const GaugeImage unknown = RenderGauge(s, texts);
    s.remainingSeconds = 72000;
    const GaugeImage tooLong = RenderGauge(s, texts);
    s.charging = true;
    const GaugeImage charging = RenderGauge(s, texts);

    EXPECT_GT(footerBlue(time), 40);
    EXPECT_GT(footerBlue(charging), 40);
    EXPECT_EQ(footerBlue(unknown), 0);
    EXPECT_EQ(footerBlue(tooLong), 0);
    // The long time text is centred: as much of it left of the middle as right.
    const int left = Count(time, 0, kGaugeHeight - 20, kGaugeWidth / 2, kGaugeHeight, Blue);
    const int right = Count(time, kGaugeWidth / 2, kGaugeHeight - 20, kGaugeWidth, kGaugeHeight, Blue);
    EXPECT_GT(left, footerBlue(time) / 4);
    EXPECT_GT(right, footerBlue(time) / 4);
    // The empty footer still has its small box around the middle.
    EXPECT_LT(Brightness(unknown.At(kGaugeWidth / 2, kGaugeHeight - 19)), Brightness(Face()));
    EXPECT_TRUE(IsFace(unknown.At(kGaugeWidth / 2 - 10, kGaugeHeight - 19)));
}

namespace {
// The first pixel (x, y) where two images differ, or "" when their sizes
// and every pixel's four channels are the same.
std::string FirstDifference(Gdiplus::Bitmap& a, Gdiplus::Bitmap& b) {
    const UINT w = a.GetWidth(), h = a.GetHeight();
    if (b.GetWidth() != w || b.GetHeight() != h) return "sizes differ";
    Gdiplus::Rect all(0, 0, static_cast<INT>(w), static_cast<INT>(h));
    Gdiplus::BitmapData da{}, db{};
    if (a.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &da) != Gdiplus::Ok) return "no pixels";
    if (b.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &db) != Gdiplus::Ok) {
        a.UnlockBits(&da);
        return "no pixels";
    }
    std::string found;
    for (UINT y = 0; y < h && found.empty(); ++y) {
        const auto* ra = reinterpret_cast<const std::uint32_t*>(static_cast<const BYTE*>(da.Scan0) + y * da.Stride);
        const auto* rb = reinterpret_cast<const std::uint32_t*>(static_cast<const BYTE*>(db.Scan0) + y * db.Stride);
        for (UINT x = 0; x < w && found.empty(); ++x)
            if (ra[x] != rb[x]) found = std::to_string(x) + "," + std::to_string(y);
    }
    b.UnlockBits(&db);
    a.UnlockBits(&da);
    return found;
}
}  // namespace

// One gauge refreshed through a run of states, as the viewer refreshes it,
// gives at every frame exactly the pixels of a fresh full drawing: each
// input of a kept layer (size, alarm levels, known charge, charge, alarm
// switches, label texts) changes once with everything else left alone.
TEST(GaugeRefresh, EveryFrameHasThePixelsOfAFreshDrawing) {
    ASSERT_TRUE(quillontest::StartGdiplus());
    const GaugeTexts en = English();
    const GaugeTexts ko = LoadGaugeTexts(GetModuleHandleA(nullptr), 1042);
    ASSERT_NE(en.lowAlarm, ko.lowAlarm);
    GaugeTexts renamed = en;
    renamed.disabled = "Off";
    GaugeState charging = State(8);
    charging.charging = true;
    GaugeState normal = State(40);
    GaugeState sameMinute = normal;
    sameMinute.remainingSeconds += 4;  // the footer still reads 2 hours 8 mins
    GaugeState later = normal;
    later.remainingSeconds = 3000;
    GaugeState lowOff = later;
    lowOff.lowEnabled = false;
    GaugeState moved = lowOff;
    moved.lowLevel = 30;
    const struct Frame {
        const char* name;
        GaugeState state;
        const GaugeTexts* texts;
        int width, height;
    } frames[] = {
        {"charging 8%", charging, &en, kGaugeWidth, kGaugeHeight},
        {"normal 40%", normal, &en, kGaugeWidth, kGaugeHeight},
        {"same again", normal, &en, kGaugeWidth, kGaugeHeight},
        {"same footer text", sameMinute, &en, kGaugeWidth, kGaugeHeight},
        {"new remaining time", later, &en, kGaugeWidth, kGaugeHeight},
        {"low alarm off", lowOff, &en, kGaugeWidth, kGaugeHeight},
        {"disabled text", lowOff, &renamed, kGaugeWidth, kGaugeHeight},
        {"low level 30", moved, &en, kGaugeWidth, kGaugeHeight},
        {"unknown", State(255), &en, kGaugeWidth, kGaugeHeight},
        {"unknown text", State(255), &ko, kGaugeWidth, kGaugeHeight},
        {"full", State(100), &en, kGaugeWidth, kGaugeHeight},
        {"empty", State(0), &en, kGaugeWidth, kGaugeHeight},
        {"larger", State(0), &en, kGaugeWidth + 30, kGaugeHeight + 20},
        {"larger 40%", normal, &en, kGaugeWidth + 30, kGaugeHeight + 20},
        {"Korean", normal, &ko, kGaugeWidth + 30, kGaugeHeight + 20},
        {"back to the first size", normal, &ko, kGaugeWidth, kGaugeHeight},
    };
    BatteryGauge gauge;
    for (const Frame& f : frames) {
        const int state = gauge.Draw(f.width, f.height, f.state, *f.texts);
        const GaugeImage fresh = RenderGauge(f.state, *f.texts, f.width, f.height);
        ASSERT_TRUE(gauge.Image() && fresh.bitmap) << f.name;
        EXPECT_EQ(state, fresh.colourState) << f.name;
        EXPECT_EQ(FirstDifference(*gauge.Image(), *fresh.bitmap), "") << f.name;
    }
    gauge.Release();
    EXPECT_EQ(gauge.Image(), nullptr);
}

TEST(GaugeTextsFromResources, BothLanguages) {
    const GaugeTexts en = English();
    EXPECT_EQ(en.remainingPrefix, "Remaining battery life time");
    EXPECT_EQ(en.disabled, "Disabled");
    EXPECT_EQ(en.charging, "Charging the battery");
    EXPECT_EQ(en.hours, "hours");
    EXPECT_EQ(en.sec, "sec");
    EXPECT_EQ(en.lowAlarm, "Low Alarm");
    EXPECT_EQ(en.criticalAlarm, "Critical Alarm");
    EXPECT_EQ(FooterText(GaugeState{}, en), "Remaining battery life time 2 hours 8 mins ");

    const GaugeTexts ko = LoadGaugeTexts(GetModuleHandleA(nullptr), 1042);
    EXPECT_FALSE(ko.charging.empty());
    EXPECT_FALSE(ko.unknown.empty());
    // A language without a table gives empty texts.
    EXPECT_TRUE(LoadGaugeTexts(GetModuleHandleA(nullptr), 1031).remainingPrefix.empty());
}

namespace {
std::wstring Wide(const std::string& ansi) {
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), n);
    return w;
}
}  // namespace

// Run under a Korean system locale (sysinfo_viewer_test_korean): the
// Korean table survives the conversion to the ANSI code page and back.
TEST(GaugeKorean, TextsSurviveTheKoreanCodePage) {
    if (GetACP() != 949) GTEST_SKIP() << "needs the Korean code page, ANSI code page is " << GetACP();
    const GaugeTexts ko = LoadGaugeTexts(GetModuleHandleA(nullptr), 1042);
    EXPECT_EQ(Wide(ko.hours), L"\uC2DC\uAC04");  // 시간
    EXPECT_EQ(Wide(FooterText(GaugeState{}, ko)),
              L"\uB0A8\uC740 \uBC30\uD130\uB9AC \uC0AC\uC6A9\uC2DC\uAC04 2 \uC2DC\uAC04 8 \uBD84 ");
    GaugeState charging;
    charging.charging = true;
    EXPECT_EQ(Wide(FooterText(charging, ko)), L"\uBC30\uD130\uB9AC \uCDA9\uC804\uC911......");
    EXPECT_EQ(Wide(ko.unknown), L"\uC54C\uC218\uC5C6\uC74C");  // 알수없음
    const GaugeImage image = RenderGauge(State(255), ko);
    EXPECT_GT(CountCentre(image, Red), 10);
}
