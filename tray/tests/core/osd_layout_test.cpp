#include "osd_layout.h"
#include "picture_cache.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vx {
void PrintTo(const LevelBarGeometry& g, std::ostream* os) {
    *os << "{level " << g.hasLevel << " full " << g.full << " fill " << g.fill << " edge " << g.edge << " cut "
        << g.capCut << " capx " << g.capSourceX << "}";
}
}  // namespace vx

namespace {

constexpr int kCap = 13;

TEST(OsdLayout, LevelBarGeometry) {
    struct Case {
        int level, maximum;
        vx::LevelBarGeometry want;
    };
    const Case cases[] = {
        // 100 of 100: 383 through the single-precision scale, the whole fill.
        {100, 100, {true, true, 383, 383 - kCap + 96, false, 0}},
        {99, 100, {true, false, 380, 380 - kCap + 96, false, 0}},
        // Fill 3 is shorter than two caps: the cap is cut, one pixel left of its end.
        {1, 100, {true, false, 3, 97, true, kCap - 1}},
        {6, 100, {true, false, 23, 96 + 11, true, kCap - 11}},
        {7, 100, {true, false, 26, 26 - kCap + 96, false, 0}},
        // 3.84 held in single precision is a little less: 50 of 100 gives 191.
        {50, 100, {true, false, 191, 191 - kCap + 96, false, 0}},
        {8, 8, {true, true, 384, 384 - kCap + 96, false, 0}},
        {7, 8, {true, false, 336, 336 - kCap + 96, false, 0}},
        {1, 8, {true, false, 48, 48 - kCap + 96, false, 0}},
        // Nothing filled: level 0 or below, or a bar without a maximum.
        {0, 100, {}},
        {-2, 8, {}},
        {5, 0, {}},
        // Beyond the maximum the bar is simply full.
        {1000000, 8, {true, true, 384, 384 - kCap + 96, false, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vx::ComputeLevelBar(c.level, c.maximum, kCap), c.want) << c.level << " of " << c.maximum;
}

TEST(OsdLayout, TickMarks) {
    const auto hundred = vx::TickPositions(100);
    ASSERT_EQ(hundred.size(), 55u);
    for (std::size_t i = 0; i < 54; ++i) EXPECT_EQ(hundred[i], 96 + 7 * static_cast<int>(i)) << i;
    EXPECT_EQ(hundred[53], 467);
    EXPECT_EQ(hundred.back(), 474);
    EXPECT_EQ(vx::TickPositions(8), (std::vector<int>{96, 144, 192, 240, 288, 336, 384, 432, 474}));
    // Other maxima stop after maximum + 1 ticks or at the end of the track.
    EXPECT_EQ(vx::TickPositions(2), (std::vector<int>{96, 288, 474}));
    EXPECT_EQ(vx::TickPositions(1), (std::vector<int>{96, 474}));
    EXPECT_TRUE(vx::TickPositions(0).empty());
}

TEST(OsdLayout, Placement) {
    struct Case {
        int kind, W, H, w, h, T;
        vx::OsdPoint want;
    };
    const Case cases[] = {
        {1, 1280, 800, 150, 150, 20, {1280 - 150 - 40, 800 - 150 - 40}},
        // 1280 - 80 - 226.5: truncated toward zero after the subtraction.
        {4, 1280, 800, 151, 150, 20, {973, 800 - 150 - 40}}  /* 973.5 */,
        {4, 1280, 800, 150, 150, 34, {1280 - 136 - 225, 800 - 150 - 68}},
        {3, 1280, 800, 261, 181, 20, {509, 309}},
        {5, 1280, 800, 497, 90, 20, {391, 800 - 90 - 40}},
        // A picture wider than the screen: divisions truncate toward zero.
        {3, 100, 100, 103, 101, 20, {-1, 0}},
        {5, 1024, 768, 0, 0, 34, {512, 768 - 68}},
        {2, 1280, 800, 10, 10, 20, {0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vx::OsdPosition(c.kind, c.W, c.H, c.w, c.h, c.T), c.want) << "kind " << c.kind << " w " << c.w;
    EXPECT_EQ(vx::TaskbarThickness(true, 780, 800), 20);
    EXPECT_EQ(vx::TaskbarThickness(true, 0, 800), 800);  // a taskbar at the left edge
    EXPECT_EQ(vx::TaskbarThickness(false, 780, 800), 34);
}

TEST(OsdLayout, BrightnessStep) {
    struct Case {
        int percent, step;
    };
    const Case cases[] = {{0, 0}, {1, -2}, {9, -2}, {10, -1}, {19, -1}, {20, 0}, {29, 0},
                          {30, 1}, {55, 3}, {99, 7}, {100, 8}};
    for (const auto& c : cases) EXPECT_EQ(vx::BrightnessStep(c.percent), c.step) << c.percent;
}

TEST(OsdLayout, PictureFilesAndTimers) {
    // Kinds 1 and 4 share the device icons; unknown codes name nothing.
    std::set<std::string> icons;
    for (int code = -1; code <= 20; ++code) {
        EXPECT_EQ(vx::SingleImageFile(1, code), vx::SingleImageFile(4, code));
        if (!vx::DeviceIconFile(code).empty()) icons.insert(std::string(vx::DeviceIconFile(code)));
    }
    EXPECT_EQ(icons.size(), 12u);
    EXPECT_EQ(vx::DeviceIconFile(1), "ICON\\Wireless_Enable.png");
    EXPECT_EQ(vx::DeviceIconFile(16), "ICON\\3G_Disable.png");
    for (int code : {0, 9, 10, 13, 14, 17}) EXPECT_TRUE(vx::DeviceIconFile(code).empty()) << code;
    EXPECT_EQ(vx::SingleImageFile(3, 9), "Center\\TheaterMode_Enable.png");
    for (int code : {1, 6, 11}) EXPECT_TRUE(vx::SingleImageFile(3, code).empty()) << code;
    EXPECT_TRUE(vx::SingleImageFile(5, 1).empty());

    EXPECT_EQ(vx::LevelBarImageFiles(8).icon, "OEM\\MI_VolM.png");
    EXPECT_EQ(vx::LevelBarImageFiles(6).base, "OEM\\M_Main.png");
    EXPECT_TRUE(vx::LevelBarImageFiles(7).base.empty());
    EXPECT_EQ(vx::OsdImagePath("C:\\PROGRA~1\\", "OEM\\Bar-R.png"), "C:\\PROGRA~1\\Image\\OEM\\Bar-R.png");

    for (int kind : vx::kOsdKinds) EXPECT_EQ(vx::OsdKindOfTimer(vx::OsdHideTimer(kind)), kind);
    EXPECT_EQ(vx::OsdHideTimer(1), 906u);
    EXPECT_EQ(vx::OsdHideTimer(5), 909u);
    EXPECT_EQ(vx::OsdHideTimer(2), 0u);
    EXPECT_EQ(vx::OsdKindOfTimer(908), 0);
}

TEST(OsdLayout, DesktopWindowClasses) {
    for (const char* name : {"WorkerW", "Progman", "#32769"}) EXPECT_TRUE(vx::IsDesktopWindowClass(name)) << name;
    for (const char* name : {"workerw", "Progman ", "#32770", "", "Shell_TrayWnd"})
        EXPECT_FALSE(vx::IsDesktopWindowClass(name)) << name;
}

}  // namespace

namespace {

// A picture that says which decode it came from.
struct Decoded {
    int generation;
};

TEST(PictureCache, AnEntryServesOnlyTheFileVersionItWasDecodedFrom) {
    vx::PictureCache<Decoded> cache(1000);
    const vx::FileStamp first{100, 7}, rewritten{100, 8}, resized{120, 7};
    EXPECT_EQ(cache.Find("a.png", first), nullptr);
    cache.Store("a.png", first, std::make_shared<Decoded>(Decoded{1}), 300);
    ASSERT_NE(cache.Find("a.png", first), nullptr);
    EXPECT_EQ(cache.Find("a.png", first)->generation, 1);
    // A file replaced on disk (another time or size) is not served from the
    // old decode, and its stale entry goes.
    for (const vx::FileStamp& changed : {rewritten, resized}) {
        cache.Store("a.png", first, std::make_shared<Decoded>(Decoded{1}), 300);
        EXPECT_EQ(cache.Find("a.png", changed), nullptr);
        EXPECT_EQ(cache.Count(), 0u);
        EXPECT_EQ(cache.Find("a.png", first), nullptr);
    }
    // A removed file is forgotten.
    cache.Store("a.png", first, std::make_shared<Decoded>(Decoded{2}), 300);
    cache.Forget("a.png");
    EXPECT_EQ(cache.Find("a.png", first), nullptr);
    EXPECT_EQ(cache.UsedBytes(), 0u);
}

TEST(PictureCache, StaysWithinItsBudgetDroppingTheLeastRecentlyUsed) {
    vx::PictureCache<Decoded> cache(1000);
    const vx::FileStamp s{1, 1};
    cache.Store("a", s, std::make_shared<Decoded>(Decoded{1}), 400);
    cache.Store("b", s, std::make_shared<Decoded>(Decoded{2}), 400);
    ASSERT_NE(cache.Find("a", s), nullptr);  // "b" is now the least recently used
    cache.Store("c", s, std::make_shared<Decoded>(Decoded{3}), 400);
    EXPECT_NE(cache.Find("a", s), nullptr);
    EXPECT_EQ(cache.Find("b", s), nullptr);
    EXPECT_NE(cache.Find("c", s), nullptr);
    EXPECT_EQ(cache.UsedBytes(), 800u);
    // Storing again under the same path replaces, never doubles.
    cache.Store("c", s, std::make_shared<Decoded>(Decoded{4}), 500);
    EXPECT_EQ(cache.UsedBytes(), 900u);
    EXPECT_EQ(cache.Find("c", s)->generation, 4);
    // A picture larger than the whole budget is not kept, and evicts nothing.
    cache.Store("huge", s, std::make_shared<Decoded>(Decoded{5}), 1001);
    EXPECT_EQ(cache.Find("huge", s), nullptr);
    EXPECT_EQ(cache.Count(), 2u);
    // A picture still in use stays valid after its entry is evicted.
    auto held = cache.Find("a", s);
    cache.Store("d", s, std::make_shared<Decoded>(Decoded{6}), 1000);
    EXPECT_EQ(cache.Count(), 1u);
    EXPECT_EQ(held->generation, 1);
}

}  // namespace
