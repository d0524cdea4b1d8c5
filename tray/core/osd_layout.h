// Decisions of the on-screen display (OSD) that need no Windows: the kinds
// and their hide timers, the picture files, where each kind is placed, the
// level bar's geometry and tick marks, and the brightness-to-step rule.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// OSD kinds: one window each, owned by the main window.
inline constexpr int kOsdDevice = 1;        // bottom right
inline constexpr int kOsdCentre = 3;        // screen centre
inline constexpr int kOsdSecondDevice = 4;  // bottom, left of kind 1
inline constexpr int kOsdLevelBar = 5;      // bottom centre
inline constexpr int kOsdKinds[] = {kOsdDevice, kOsdCentre, kOsdSecondDevice, kOsdLevelBar};

// Level types of kind 5.
inline constexpr int kLevelBrightness = 6;
inline constexpr int kLevelMutedVolume = 8;
inline constexpr int kLevelVolume = 9;

// What the main window hands to an OSD window.
struct OSDRequest {
    std::int32_t kind = 0;
    std::int32_t level = -1;    // kinds 1, 3, 4: -1
    std::int32_t code = 0;      // picture code, or the level type of kind 5
    std::int32_t maximum = 0;   // kind 5: the level that fills the bar
};

bool IsOsdKind(int kind);
// The main window's hide timer of a kind (906, 905, 907, 909); 0 for any other kind.
unsigned OsdHideTimer(int kind);
// The kind a hide timer belongs to; 0 for any other timer.
int OsdKindOfTimer(unsigned timerId);
inline constexpr unsigned kOsdHidePeriodMs = 2000;

// ---- Picture files, relative to the folder Image beside the program ----

// Kinds 1 and 4: the device icon of a code; empty when the code names none.
std::string_view DeviceIconFile(int code);
// Kind 3: the centre picture of a code; empty when the code names none.
std::string_view CentreImageFile(int code);

struct LevelBarFiles {
    std::string_view base, fill, cap, icon;  // all empty for an unknown level type
};
LevelBarFiles LevelBarImageFiles(int levelType);

// The one picture of kinds 1, 3 and 4 (empty for kind 5 and unknown kinds).
std::string_view SingleImageFile(int kind, int code);

// "%sImage\%s": the image directory ends in a backslash.
std::string OsdImagePath(std::string_view imageDirectory, std::string_view relativeName);

// ---- Placement ----

inline constexpr int kTaskbarThicknessWithoutTaskbar = 34;

// T: the taskbar window's height (bottom - top) whichever edge it sits on,
// or 34 when there is no taskbar.
int TaskbarThickness(bool taskbarFound, int top, int bottom);

struct OsdPoint {
    int x = 0;
    int y = 0;
    bool operator==(const OsdPoint&) const = default;
};

// The top-left corner of a kind's window on a W x H primary screen for a
// w x h picture; (0, 0) for an unknown kind.
OsdPoint OsdPosition(int kind, int screenW, int screenH, int imageW, int imageH, int taskbarThickness);

// ---- Level bar (kind 5) ----

inline constexpr int kBarTrackX = 96;        // the track begins here
inline constexpr int kBarFullLength = 384;   // a full bar
inline constexpr int kBarFullFrom = 383;     // a fill this long draws the whole fill picture
inline constexpr int kBarFillHeight = 90;    // rows of the fill picture drawn left of the edge
inline constexpr int kBarCapY = 34;
inline constexpr int kBarCapDrawWidth = 13;
inline constexpr int kBarCapDrawHeight = 32;
inline constexpr int kBarIconX = 15;
inline constexpr int kBarIconY = 15;

struct LevelBarGeometry {
    bool hasLevel = false;  // level > 0: fill and cap (or the whole fill) are drawn
    bool full = false;      // fill >= 383: the whole fill picture, stretched to the base
    int fill = 0;           // filled length in pixels
    int edge = 0;           // the fill picture is drawn from x 0 up to here; the cap starts here
    bool capCut = false;    // fill < 2 * cap width: only the cap's right part is drawn
    int capSourceX = 0;     // where the drawn part of the cap begins in the cap picture
    bool operator==(const LevelBarGeometry&) const = default;
};

// scale = 384 / maximum in single precision, fill = level * scale truncated.
LevelBarGeometry ComputeLevelBar(int level, int maximum, int capWidth);

inline constexpr int kTickY = 70;
inline constexpr int kTickWidth = 1;
inline constexpr int kTickHeight = 5;
inline constexpr int kTickLastX = 474;
// Tick colour, ARGB.
inline constexpr std::uint8_t kTickAlpha = 200, kTickRed = 120, kTickGreen = 120, kTickBlue = 120;

// The x of every tick mark for a bar of this maximum, in drawing order.
std::vector<int> TickPositions(int maximum);

// ---- Brightness ----

// The level-bar step of a brightness in percent: 0 for 0, otherwise
// b / 10 - 2 (so 100 gives 8, and 1 to 19 give a negative step).
int BrightnessStep(int percent);
inline constexpr int kBrightnessMaximum = 8;

// ---- Full-screen test ----

// The desktop windows, never taken for a full-screen program.
bool IsDesktopWindowClass(std::string_view className);

}  // namespace vx
