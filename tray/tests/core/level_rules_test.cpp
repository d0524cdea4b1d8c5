#include "level_rules.h"
#include "osd_layout.h"

#include <gtest/gtest.h>

namespace {

TEST(LevelRules, VolumeLevelRounding) {
    struct Case { double scalar; int level; };
    const Case cases[] = {{0.994, 99}, {0.995, 100}, {0.5, 50}, {0.004, 0}, {1.0, 100}, {0.0, 0},
                          {0.2549999, 25}, {0.255, 26}};
    for (const auto& c : cases) EXPECT_EQ(vx::VolumeLevel(c.scalar), c.level) << c.scalar;
    // The callback hands over a float; its widening must not cost a percent.
    EXPECT_EQ(vx::VolumeLevel(static_cast<float>(0.53f)), 53);
}

TEST(LevelRules, StartVolumeSetsLastVolumeOnlyAtTheEnds) {
    struct Case { float scalar; int before; int after; };
    const Case cases[] = {{1.0f, 0, 100}, {0.0f, 40, 0}, {0.5f, 0, 0}, {0.999f, 7, 7}, {0.001f, 7, 7}};
    for (const auto& c : cases) EXPECT_EQ(vx::LastVolumeAfterBinding(c.scalar, c.before), c.after) << c.scalar;
}

TEST(LevelRules, BrightnessStepsAndNotifyDecision) {
    struct Step { int percent; int step; };
    for (const auto& c : {Step{100, 8}, Step{55, 3}, Step{20, 0}, Step{0, 0}, Step{19, -1}, Step{5, -2}})
        EXPECT_EQ(vx::BrightnessStep(c.percent), c.step) << c.percent;

    struct Case { bool fullScreen, skip, show, clear; };
    const Case cases[] = {
        {false, false, true, false},
        {false, true, false, true},   // the first change after resume is swallowed
        {true, true, false, false},   // full screen: nothing, the skip flag kept
        {true, false, false, false},
    };
    for (const auto& c : cases) {
        auto d = vx::DecideBrightnessNotify(c.fullScreen, c.skip);
        EXPECT_EQ(d.show, c.show) << c.fullScreen << c.skip;
        EXPECT_EQ(d.clearSkip, c.clear) << c.fullScreen << c.skip;
    }
}

TEST(LevelRules, VolumeNotifyUnderSuppression) {
    struct Case { bool suppressed, timerRunning, show, start; };
    const Case cases[] = {{false, false, true, false}, {false, true, true, false},
                          {true, false, false, true}, {true, true, false, false}};
    for (const auto& c : cases) {
        auto d = vx::DecideVolumeNotify(c.suppressed, c.timerRunning);
        EXPECT_EQ(d.show, c.show);
        EXPECT_EQ(d.startTimer, c.start);
    }
    EXPECT_EQ(vx::VolumeOsdCode(true), 8);
    EXPECT_EQ(vx::VolumeOsdCode(false), 9);
}

TEST(LevelRules, VolumeKeyShows) {
    struct Case { std::uint32_t lParam; bool suppressed; int last; int shows; };
    const Case cases[] = {
        {0x00300001, false, 100, 1},  // volume up at 100: no notification comes, the bar shows
        {0x00300001, false, 50, 0},   // at 50 the Core Audio notification shows it
        {0x012E0001, false, 0, 1},    // volume down at 0, extended bit ignored
        {0x002E0001, true, 50, 1},    // right after resume
        {0x00300001, true, 100, 2},
        {0x00200001, true, 100, 0},   // another key
        {0xFF300001, false, 0, 1},    // bits above 23 are not the scan code
        {0x30000001, false, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vx::VolumeKeyShowCount(c.lParam, c.suppressed, c.last), c.shows) << std::hex << c.lParam;
}

}  // namespace
