// Platform-free rules of the battery gauge: its geometry, the colour state
// and ring colours, where the alarm labels go, the footer text and the
// remaining-time text. The drawing itself (GDI+) uses these.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// The battery state the gauge shows. A percent above 100 means the charge
// is unknown (the system reports 255); a remaining time with all bits set
// means the time is unknown.
struct GaugeState {
    int percent = 10;
    std::uint32_t remainingSeconds = 7708;
    bool charging = false;
    bool lowEnabled = true, criticalEnabled = true;
    int lowLevel = 10, criticalLevel = 0;
    int chargeStopLevel = 100;
};

// The gauge's texts from the viewer's string table, as narrow texts in the
// ANSI code page (the same bytes the drawing converts back).
struct GaugeTexts {
    std::string remainingPrefix;  // 13 "Remaining battery life time"
    std::string disabled;         // 15 "Disabled"
    std::string charging;         // 103 charging notice
    std::string unknown;          // 107 "Unknown"
    std::string sec;              // 111
    std::string secs;             // 112
    std::string min;              // 113
    std::string mins;             // 114
    std::string hour;             // 115
    std::string hours;            // 116
    std::string lowAlarm;         // 141 "Low Alarm"
    std::string criticalAlarm;    // 142 "Critical Alarm"
};

// Resource ids of those texts.
enum GaugeStringId : unsigned {
    kStrRemainingPrefix = 13,
    kStrDisabled = 15,
    kStrCharging = 103,
    kStrUnknown = 107,
    kStrSec = 111,
    kStrSecs = 112,
    kStrMin = 113,
    kStrMins = 114,
    kStrHour = 115,
    kStrHours = 116,
    kStrLowAlarm = 141,
    kStrCriticalAlarm = 142,
};

struct GaugeRect {
    int left, top, width, height;
};
struct GaugePoint {
    int x, y;
};

// The gauge's layout for an image of W x H pixels: the outer ellipse's
// bounds O, the concentric inner one I (about a quarter of O's size), and
// the centre of both at their base position.
struct GaugeGeometry {
    int w, h;    // W - 48, H - 62
    int dx, dy;  // w/8 - w/2, h/8 - h/2 (zero or negative)
    GaugeRect outer, inner;
    GaugePoint centre;
};
GaugeGeometry ComputeGaugeGeometry(int width, int height);

// Degrees of the ring a percentage covers: p * 360 / 100 in single
// precision. On the rim, 0 % lies at kRingStartAngle (upper left), angles
// run clockwise from the positive x axis.
float PercentAngle(int percent);
inline constexpr float kRingStartAngle = -135.0f;
inline float RimAngle(int percent) { return PercentAngle(percent) + kRingStartAngle; }

// Colour state of the ring, tested in this order: 2 (critical), 4 (low), 0.
enum GaugeColourState : int { kStateNormal = 0, kStateCritical = 2, kStateLow = 4 };
int GaugeColourStateFor(const GaugeState& state);
bool ChargeUnknown(const GaugeState& state);

struct Argb {
    std::uint8_t a, r, g, b;
    bool operator==(const Argb&) const = default;
};
// Base colour of a state and the ring's full, half and shade colours.
struct RingColours {
    Argb full, half, shade;
};
Argb BaseColour(int colourState);
RingColours RingColoursFor(int colourState);

// Which way each alarm label extends from its marker: the critical label
// goes left only when its marker lies left of the low marker.
struct LabelSides {
    bool criticalLeft;
    bool lowLeft;
};
LabelSides ChooseLabelSides(GaugePoint critical, GaugePoint low);

// A label's box after its text was measured, and the pull-in that keeps it
// inside the image: a left label leaving the image on the left moves to
// x 3, a right label crossing the right edge ends 3 pixels before it; a
// moved label is lifted to marker y - 30.
struct LabelBox {
    float left, top, width, height;
};
LabelBox PullLabelIn(LabelBox box, bool extendsLeft, GaugePoint marker, int imageWidth);
// Text origin of a label relative to its marker.
GaugePoint LabelOrigin(GaugePoint marker, bool extendsLeft);

// Label texts: "<name> <level>%" when enabled, "<name> <disabled text>"
// when not.
std::string AlarmLabelText(const std::string& name, bool enabled, int level, const std::string& disabledText);

// "<h> hour(s) <m> min(s) " or "<m> min(s) <s> sec(s) ", parts with a zero
// count left out; seconds only when there are no hours. 0 gives "".
std::string FormatRemainingTime(std::uint32_t seconds, const GaugeTexts& texts);
// Longest remaining time the footer shows (19 h 59 min 59 s).
inline constexpr std::uint32_t kMaxFooterSeconds = 71999;
// The footer: the charging notice with six dots, or the prefix and the
// remaining time, or "" when the time is unknown or too long.
std::string FooterText(const GaugeState& state, const GaugeTexts& texts);

// The centre text as UTF-16: "%3d%%" of the percent, or empty for an
// unknown charge (the drawing then shows the unknown text in red).
std::wstring CentrePercentText(int percent);

// The gauge's value as accessibility clients read it: "8 %", followed by
// ", " and the charging notice while charging; the unknown text for an
// unknown charge.
std::string GaugeValueText(const GaugeState& state, const GaugeTexts& texts);

// A drawn control's value as last told to accessibility clients: a value
// is told again only when it differs, so a refresh that changes nothing
// makes no screen reader repeat it.
class ToldValue {
public:
    // True when `value` is new (the first, or different from the last).
    bool Update(const std::string& value);

private:
    bool m_told = false;
    std::string m_value;
};

}  // namespace quillon
