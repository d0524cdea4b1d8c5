#include "announcements.h"
#include "hotkey_events.h"
#include "osd_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vx::SpokenResult;

TEST(Announcements, EveryPictureSpeaksItsDeviceAndState) {
    struct Case { int kind, code, level, maximum, percent; SpokenResult spoken; };
    const Case cases[] = {
        {1, 1, -1, 0, -1, {"IDS_SPEAK_WIRELESS_ON"}},
        {1, 2, -1, 0, -1, {"IDS_SPEAK_WIRELESS_OFF"}},
        {4, 3, -1, 0, -1, {"IDS_SPEAK_BLUETOOTH_ON"}},
        {1, 4, -1, 0, -1, {"IDS_SPEAK_BLUETOOTH_OFF"}},
        {1, 5, -1, 0, -1, {"IDS_SPEAK_TOUCHPAD_ON"}},
        {1, 6, -1, 0, -1, {"IDS_SPEAK_TOUCHPAD_OFF"}},
        {1, 7, -1, 0, -1, {"IDS_SPEAK_WEBCAM_ON"}},
        {1, 8, -1, 0, -1, {"IDS_SPEAK_WEBCAM_OFF"}},
        {1, 11, -1, 0, -1, {"IDS_SPEAK_ECO_ON"}},
        {1, 12, -1, 0, -1, {"IDS_SPEAK_ECO_OFF"}},
        {1, 15, -1, 0, -1, {"IDS_SPEAK_3G_ON"}},
        {1, 16, -1, 0, -1, {"IDS_SPEAK_3G_OFF"}},
        // The centre window's codes 7 and 8 are the turbo pictures, not the webcam's.
        {3, 7, -1, 0, -1, {"IDS_SPEAK_TURBO_ON"}},
        {3, 8, -1, 0, -1, {"IDS_SPEAK_TURBO_OFF"}},
        {3, 9, -1, 0, -1, {"IDS_SPEAK_THEATER_ON"}},
        {3, 10, -1, 0, -1, {"IDS_SPEAK_THEATER_OFF"}},
        // Codes without a picture, and unknown kinds, say nothing.
        {1, 9, -1, 0, -1, {}},
        {3, 1, -1, 0, -1, {}},
        {2, 1, -1, 0, -1, {}},
        // Level bars.
        {5, 9, 40, 100, -1, {"IDS_SPEAK_VOLUME", 40}},
        {5, 9, 0, 100, -1, {"IDS_SPEAK_VOLUME", 0}},
        {5, 9, 100, 100, -1, {"IDS_SPEAK_VOLUME", 100}},
        {5, 9, 120, 100, -1, {"IDS_SPEAK_VOLUME", 100}},
        {5, 9, 40, 0, -1, {}},
        {5, 8, 40, 100, -1, {"IDS_SPEAK_MUTED"}},
        // Brightness speaks the display's percent, not the bar's step.
        {5, 6, 4, 8, 65, {"IDS_SPEAK_BRIGHTNESS", 65}},
        {5, 6, -1, 8, 15, {"IDS_SPEAK_BRIGHTNESS", 15}},
        {5, 6, 4, 8, -1, {}},
        {5, 7, 4, 8, 60, {}},
    };
    for (const auto& c : cases) {
        const SpokenResult got = vx::SpokenResultFor(c.kind, c.code, c.level, c.maximum, c.percent);
        EXPECT_EQ(got, c.spoken) << "kind " << c.kind << " code " << c.code << ": " << (got.key ? got.key : "none");
    }
}

// Every picture a hotkey can show has a text: the hotkey table and the
// theater pictures, both states.
TEST(Announcements, EveryHotkeyResultHasAText) {
    for (unsigned code : {vx::kEventWireless, vx::kEventBluetooth, vx::kEventWebcam, vx::kEventTouchpad,
                          vx::kEventTurbo, vx::kEventEco, vx::kEvent3G}) {
        const auto& row = vx::HotkeyEventFor(code);
        for (bool bit : {false, true})
            for (bool wireless : {false, true}) {
                const vx::OsdShow osd = vx::DeviceOsd(row, bit, wireless);
                EXPECT_NE(vx::SpokenResultFor(osd.kind, osd.code, -1, 0, -1).key, nullptr) << std::hex << code;
            }
    }
    for (bool on : {false, true}) {
        const vx::OsdShow osd = vx::TheaterOsd(on);
        EXPECT_NE(vx::SpokenResultFor(osd.kind, osd.code, -1, 0, -1).key, nullptr);
    }
}

TEST(Announcements, PercentFilledOnlyWherePlaced) {
    struct Case { const char* text; int percent; const char* filled; };
    const Case cases[] = {
        {"Volume %1 %", 40, "Volume 40 %"},
        {"%1%", 7, "7%"},
        {"Muted", 7, "Muted"},
        {"%s %d %n %", 3, "%s %d %n %"},  // no format but %1
        {"%1 and %1", 100, "100 and 100"},
        {"ends in %", 5, "ends in %"},
        {"", 5, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(vx::FillPercent(c.text, c.percent), c.filled) << c.text;
}

TEST(Announcements, SectionsReadInTheirOwnCodePage) {
    EXPECT_EQ(vx::SectionCodePage("1033"), 1252u);
    EXPECT_EQ(vx::SectionCodePage("1042"), 949u);
    EXPECT_EQ(vx::SectionCodePage("1028"), 950u);
    EXPECT_EQ(vx::SectionCodePage("1041"), 0u);
}

// Time lines of one window: posts and checks at given milliseconds.
TEST(Announcements, BurstSpeaksOnlyTheLevelThatStands) {
    struct Step { char op; std::uint64_t at; const char* text; };  // p: post, c: cancel, t: take
    struct Case { const char* name; std::vector<Step> steps; };
    const Case cases[] = {
        {"one result, spoken after the pause",
         {{'t', 0, nullptr}, {'p', 0, "Volume 40 %"}, {'t', 499, nullptr}, {'t', 500, "Volume 40 %"}, {'t', 2000, nullptr}}},
        {"a held key: only the last level",
         {{'p', 0, "Volume 42 %"}, {'p', 100, "Volume 44 %"}, {'p', 200, "Volume 46 %"}, {'t', 650, nullptr},
          {'p', 300, "Volume 48 %"}, {'t', 799, nullptr}, {'t', 800, "Volume 48 %"}, {'t', 5000, nullptr}}},
        {"a result after one was spoken is spoken too",
         {{'p', 0, "ECO on"}, {'t', 600, "ECO on"}, {'p', 700, "ECO off"}, {'t', 1200, "ECO off"}}},
        {"a hidden picture takes its text back",
         {{'p', 0, "Brightness 60 %"}, {'c', 300, nullptr}, {'t', 900, nullptr}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vx::SpeechDebounce debounce;
        for (const auto& s : c.steps) {
            if (s.op == 'p') {
                debounce.Post(s.text, s.at);
                EXPECT_EQ(debounce.WaitMs(s.at), vx::SpeechDebounce::kQuietMs);
            } else if (s.op == 'c') {
                debounce.Cancel();
                EXPECT_FALSE(debounce.WaitMs(s.at));
            } else {
                const auto spoken = debounce.TakeDue(s.at);
                if (s.text)
                    EXPECT_EQ(spoken.value_or("<nothing>"), s.text) << "at " << s.at;
                else
                    EXPECT_FALSE(spoken) << "at " << s.at << ": " << *spoken;
            }
        }
    }
}

TEST(Announcements, NotificationOnlyWhereNoScreenReaderHearsTheAlert) {
    struct Case { bool bound, listening, reader; vx::SpeechRoute route; };
    const Case cases[] = {
        {false, false, false, {true, false}}, {false, true, false, {true, false}},
        {true, false, false, {true, false}},  {true, true, false, {true, true}},
        {true, true, true, {true, false}},    {false, true, true, {true, false}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vx::ChooseSpeechRoute(c.bound, c.listening, c.reader), c.route)
            << c.bound << c.listening << c.reader;
}

}  // namespace
