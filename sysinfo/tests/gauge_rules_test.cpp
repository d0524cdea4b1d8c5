// The gauge's platform-free rules: geometry, colours, label placement and
// the footer's time text in both languages.
#include <gtest/gtest.h>

#include <string>

#include "gauge_rules.h"

using namespace quillon;

namespace {
GaugeTexts English() {
    GaugeTexts t;
    t.remainingPrefix = "Remaining battery life time";
    t.disabled = "Disabled";
    t.charging = "Charging the battery";
    t.unknown = "Unknown";
    t.sec = "sec";
    t.secs = "secs";
    t.min = "min";
    t.mins = "mins";
    t.hour = "hour";
    t.hours = "hours";
    t.lowAlarm = "Low Alarm";
    t.criticalAlarm = "Critical Alarm";
    return t;
}
// The Korean table's units as UTF-8 bytes: the rules only copy bytes.
GaugeTexts Korean() {
    GaugeTexts t;
    t.remainingPrefix = "남은 배터리 사용시간";
    t.sec = t.secs = "초";
    t.min = t.mins = "분";
    t.hour = t.hours = "시간";
    t.charging = "배터리 충전중";
    return t;
}
}  // namespace

TEST(GaugeGeometry, DialogSizedAndDegenerateImages) {
    // 245 x 201 is the gauge area the dialog's template gives at 96 dpi.
    const GaugeGeometry g = ComputeGaugeGeometry(245, 201);
    EXPECT_EQ(g.w, 197);
    EXPECT_EQ(g.h, 139);
    EXPECT_EQ(g.dx, 24 - 98);
    EXPECT_EQ(g.dy, 17 - 69);
    EXPECT_EQ(g.outer.left, 24);
    EXPECT_EQ(g.outer.top, 40);
    EXPECT_EQ(g.outer.width, 197);
    EXPECT_EQ(g.outer.height, 139);
    EXPECT_EQ(g.inner.left, 24 + 74);
    EXPECT_EQ(g.inner.top, 40 + 52);
    EXPECT_EQ(g.inner.width, 197 - 148);
    EXPECT_EQ(g.inner.height, 139 - 104);
    EXPECT_EQ(g.centre.x, 24 + 98);
    EXPECT_EQ(g.centre.y, 40 + 69);

    // Smaller than the margins: negative sizes truncate towards zero.
    const GaugeGeometry tiny = ComputeGaugeGeometry(40, 50);
    EXPECT_EQ(tiny.w, -8);
    EXPECT_EQ(tiny.dx, -1 - -4);
    EXPECT_EQ(tiny.h, -12);
    EXPECT_EQ(tiny.dy, -1 - -6);
}

TEST(GaugeGeometry, AnglesStartUpperLeft) {
    EXPECT_FLOAT_EQ(RimAngle(0), -135.0f);
    EXPECT_FLOAT_EQ(RimAngle(50), 45.0f);
    EXPECT_FLOAT_EQ(RimAngle(100), 225.0f);
    EXPECT_FLOAT_EQ(PercentAngle(5), 18.0f);
    EXPECT_FLOAT_EQ(PercentAngle(255), 918.0f);
}

TEST(GaugeColour, StateOrderAndDerivedColours) {
    struct Case {
        int percent;
        bool critOn;
        int crit;
        bool lowOn;
        int low;
        int state;
    } cases[] = {
        {5, true, 5, true, 10, kStateCritical},   // at the critical level
        {6, true, 5, true, 10, kStateLow},        // above critical, at or below low
        {10, true, 5, true, 10, kStateLow},
        {11, true, 5, true, 10, kStateNormal},
        {5, false, 5, true, 10, kStateLow},       // critical off falls through to low
        {5, false, 5, false, 10, kStateNormal},
        {0, true, 0, true, 10, kStateCritical},   // the default critical level 0
        {20, true, 30, true, 10, kStateCritical}, // critical tested before low
        {255, true, 0, true, 10, kStateNormal},   // unknown charge
    };
    for (const Case& c : cases) {
        GaugeState s;
        s.percent = c.percent;
        s.criticalEnabled = c.critOn;
        s.criticalLevel = c.crit;
        s.lowEnabled = c.lowOn;
        s.lowLevel = c.low;
        EXPECT_EQ(GaugeColourStateFor(s), c.state) << c.percent << " crit " << c.crit << " low " << c.low;
    }

    const RingColours green = RingColoursFor(kStateNormal);
    EXPECT_EQ(green.full, (Argb{150, 50, 255, 50}));
    EXPECT_EQ(green.half, (Argb{150, 25, 127, 25}));
    EXPECT_EQ(green.shade, (Argb{150, 30, 153, 30}));
    EXPECT_EQ(RingColoursFor(kStateCritical).half, (Argb{150, 127, 0, 0}));
    EXPECT_EQ(RingColoursFor(kStateLow).shade, (Argb{150, 153, 0, 153}));
}

TEST(GaugeLabels, SidesAndPullIn) {
    // Critical left of low: critical extends left. Equal x: critical right.
    EXPECT_TRUE(ChooseLabelSides({10, 5}, {20, 5}).criticalLeft);
    EXPECT_FALSE(ChooseLabelSides({10, 5}, {20, 5}).lowLeft);
    EXPECT_FALSE(ChooseLabelSides({20, 5}, {20, 9}).criticalLeft);
    EXPECT_TRUE(ChooseLabelSides({20, 5}, {20, 9}).lowLeft);
    EXPECT_FALSE(ChooseLabelSides({30, 5}, {20, 5}).criticalLeft);

    EXPECT_EQ(LabelOrigin({50, 60}, true).x, 42);
    EXPECT_EQ(LabelOrigin({50, 60}, false).x, 58);
    EXPECT_EQ(LabelOrigin({50, 60}, false).y, 40);

    const GaugePoint marker{40, 70};
    struct Case {
        LabelBox in;
        bool left;
        float outLeft, outTop;
    } cases[] = {
        {{-0.5f, 50, 80, 12}, true, 3, 40},     // leaves the image on the left
        {{0, 50, 80, 12}, true, 0, 50},         // touching 0 stays
        {{170, 50, 80, 12}, false, 162, 40},    // 170 + 80 > 245: ends at 242
        {{165, 50, 80, 12}, false, 165, 50},    // exactly the width stays
        {{-20, 50, 80, 12}, false, -20, 50},    // a right label is never moved left-wards in
        {{200, 50, 80, 12}, true, 200, 50},     // a left label is never pulled from the right
    };
    for (const Case& c : cases) {
        const LabelBox out = PullLabelIn(c.in, c.left, marker, 245);
        EXPECT_FLOAT_EQ(out.left, c.outLeft) << c.in.left;
        EXPECT_FLOAT_EQ(out.top, c.outTop) << c.in.left;
        EXPECT_FLOAT_EQ(out.width, c.in.width);
    }

    EXPECT_EQ(AlarmLabelText("Critical Alarm", true, 0, "Disabled"), "Critical Alarm 0%");
    EXPECT_EQ(AlarmLabelText("Low Alarm", false, 10, "Disabled"), "Low Alarm Disabled");
}

TEST(RemainingTime, EnglishAndKorean) {
    struct Case {
        std::uint32_t seconds;
        const char* english;
        const char* korean;
    } cases[] = {
        {7708, "2 hours 8 mins ", "2 시간 8 분 "},  // seconds dropped when there are hours
        {61, "1 min 1 sec ", "1 분 1 초 "},
        {3600, "1 hour ", "1 시간 "},
        {3601, "1 hour ", "1 시간 "},
        {3660, "1 hour 1 min ", "1 시간 1 분 "},
        {59, "59 secs ", "59 초 "},
        {120, "2 mins ", "2 분 "},
        {1, "1 sec ", "1 초 "},
        {0, "", ""},
        {71999, "19 hours 59 mins ", "19 시간 59 분 "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatRemainingTime(c.seconds, English()), c.english) << c.seconds;
        EXPECT_EQ(FormatRemainingTime(c.seconds, Korean()), c.korean) << c.seconds;
    }
    // The largest value still formats without overflow (it is not shown).
    EXPECT_EQ(FormatRemainingTime(0xFFFFFFFFu, English()), "1193046 hours 28 mins ");
}

TEST(Footer, ChargingTimeAndUnknown) {
    GaugeState s;
    EXPECT_EQ(FooterText(s, English()), "Remaining battery life time 2 hours 8 mins ");
    EXPECT_EQ(FooterText(s, Korean()), "남은 배터리 사용시간 2 시간 8 분 ");
    struct Case {
        std::uint32_t seconds;
        bool charging;
        const char* footer;
    } cases[] = {
        {71999, false, "Remaining battery life time 19 hours 59 mins "},
        {72000, false, ""},
        {0xFFFFFFFFu, false, ""},
        {0, false, ""},  // nothing to format
        {0xFFFFFFFFu, true, "Charging the battery......"},
        {7708, true, "Charging the battery......"},
    };
    for (const Case& c : cases) {
        s.remainingSeconds = c.seconds;
        s.charging = c.charging;
        EXPECT_EQ(FooterText(s, English()), c.footer) << c.seconds << ' ' << c.charging;
    }
    s.charging = true;
    EXPECT_EQ(FooterText(s, Korean()), "배터리 충전중......");
}

TEST(CentreText, PaddedToThreePlaces) {
    EXPECT_EQ(CentrePercentText(5), L"  5%");
    EXPECT_EQ(CentrePercentText(42), L" 42%");
    EXPECT_EQ(CentrePercentText(100), L"100%");
    EXPECT_EQ(CentrePercentText(0), L"  0%");
}

namespace {

using namespace quillon;

TEST(GaugeValue, PercentWithTheChargingNoticeInTheDialogsLanguage) {
    struct Case { int percent; bool charging; bool korean; const char* value; };
    const Case cases[] = {
        {8, true, false, "8 %, Charging the battery"},
        {8, false, false, "8 %"},
        {100, false, false, "100 %"},
        {0, true, false, "0 %, Charging the battery"},
        {255, true, false, "Unknown"},
        {-1, false, false, "Unknown"},
        {57, true, true, "57 %, 배터리 충전중"},
    };
    for (const auto& c : cases) {
        GaugeState s;
        s.percent = c.percent;
        s.charging = c.charging;
        EXPECT_EQ(GaugeValueText(s, c.korean ? Korean() : English()), c.value) << c.percent;
    }
}

TEST(GaugeValue, ToldAgainOnlyWhenItChanged) {
    struct Step { const char* value; bool told; };
    const Step steps[] = {{"8 %", true}, {"8 %", false}, {"8 %", false}, {"9 %", true}, {"9 %", false},
                          {"9 %, Charging the battery", true}, {"8 %", true}};
    ToldValue told;
    for (const auto& s : steps) EXPECT_EQ(told.Update(s.value), s.told) << s.value;
}

}  // namespace
