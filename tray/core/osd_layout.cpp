#include "osd_layout.h"

#include <algorithm>

namespace vx {

namespace {

struct CodeFile {
    int code;
    std::string_view file;
};

constexpr CodeFile kDeviceIcons[] = {
    {1, "ICON\\Wireless_Enable.png"},   {2, "ICON\\Wireless_Disable.png"},
    {3, "ICON\\BlueTooth_Enable.png"},  {4, "ICON\\BlueTooth_Disable.png"},
    {5, "ICON\\TouchPad_Enable.png"},   {6, "ICON\\TouchPad_Disable.png"},
    {7, "ICON\\WebCam_Enable.png"},     {8, "ICON\\WebCam_Disable.png"},
    {11, "ICON\\ECO_Enable.png"},       {12, "ICON\\ECO_Disable.png"},
    {15, "ICON\\3G_Enable.png"},        {16, "ICON\\3G_Disable.png"},
};

constexpr CodeFile kCentreImages[] = {
    {7, "Center\\Turbo_Enable.png"},
    {8, "Center\\Turbo_Disable.png"},
    {9, "Center\\TheaterMode_Enable.png"},
    {10, "Center\\TheaterMode_Disable.png"},
};

template <std::size_t N>
std::string_view FileOf(const CodeFile (&table)[N], int code) {
    for (const auto& entry : table)
        if (entry.code == code) return entry.file;
    return {};
}

struct KindTimer {
    int kind;
    unsigned timer;
};
constexpr KindTimer kHideTimers[] = {{kOsdDevice, 906}, {kOsdCentre, 905}, {kOsdSecondDevice, 907}, {kOsdLevelBar, 909}};

constexpr char kDesktopClasses[][8] = {"WorkerW", "Progman", "#32769"};

}  // namespace

bool IsOsdKind(int kind) { return OsdHideTimer(kind) != 0; }

unsigned OsdHideTimer(int kind) {
    for (const auto& entry : kHideTimers)
        if (entry.kind == kind) return entry.timer;
    return 0;
}

int OsdKindOfTimer(unsigned timerId) {
    for (const auto& entry : kHideTimers)
        if (entry.timer == timerId) return entry.kind;
    return 0;
}

std::string_view DeviceIconFile(int code) { return FileOf(kDeviceIcons, code); }
std::string_view CentreImageFile(int code) { return FileOf(kCentreImages, code); }

LevelBarFiles LevelBarImageFiles(int levelType) {
    std::string_view icon;
    switch (levelType) {
    case kLevelBrightness: icon = "OEM\\MI_Bright.png"; break;
    case kLevelMutedVolume: icon = "OEM\\MI_VolM.png"; break;
    case kLevelVolume: icon = "OEM\\MI_Vol.png"; break;
    default: return {};
    }
    return {"OEM\\M_Main.png", "OEM\\M_Down.png", "OEM\\Bar-R.png", icon};
}

std::string_view SingleImageFile(int kind, int code) {
    switch (kind) {
    case kOsdDevice:
    case kOsdSecondDevice: return DeviceIconFile(code);
    case kOsdCentre: return CentreImageFile(code);
    default: return {};
    }
}

std::string OsdImagePath(std::string_view imageDirectory, std::string_view relativeName) {
    std::string path(imageDirectory);
    path += "Image\\";
    path += relativeName;
    return path;
}

int TaskbarThickness(bool taskbarFound, int top, int bottom) {
    return taskbarFound ? bottom - top : kTaskbarThicknessWithoutTaskbar;
}

OsdPoint OsdPosition(int kind, int W, int H, int w, int h, int T) {
    switch (kind) {
    case kOsdDevice: return {W - w - 2 * T, H - h - 2 * T};
    case kOsdCentre: return {(W - w) / 2, (H - h) / 2};
    case kOsdSecondDevice: return {static_cast<int>(W - 4 * T - 1.5 * w), H - h - 2 * T};
    case kOsdLevelBar: return {(W - w) / 2, H - h - 2 * T};
    default: return {};
    }
}

LevelBarGeometry ComputeLevelBar(int level, int maximum, int capWidth) {
    LevelBarGeometry g;
    // A bar without a positive maximum has no scale: it is drawn empty.
    if (level <= 0 || maximum <= 0) return g;
    g.hasLevel = true;
    // Through memory: the 32-bit build's x87 unit would otherwise keep the
    // quotient at extended precision (3.84 instead of 3.8399999...).
    volatile float scale = static_cast<float>(kBarFullLength) / static_cast<float>(maximum);
    // The scale is held in single precision, the product is not rounded back
    // to it: 100 of 100 gives 383.99999..., so 383.
    const double product = static_cast<double>(level) * static_cast<double>(scale);
    g.fill = product >= kBarFullLength ? kBarFullLength : static_cast<int>(product);
    g.full = g.fill >= kBarFullFrom;
    if (g.fill < 2 * capWidth) {
        g.capCut = true;
        g.edge = g.fill / 2 + kBarTrackX;
        g.capSourceX = capWidth - g.fill / 2;
    } else {
        g.edge = g.fill - capWidth + kBarTrackX;
        g.capSourceX = 0;
    }
    return g;
}

std::vector<int> TickPositions(int maximum) {
    std::vector<int> ticks;
    if (maximum <= 0) return ticks;
    // 7 and 48 are the spacings of the two bars in use; any other maximum
    // spreads its steps over the track.
    const int spacing = maximum == 100 ? 7 : maximum == 8 ? 48 : std::max(1, kBarFullLength / maximum);
    int x = kBarTrackX;
    while (static_cast<long long>(ticks.size()) < static_cast<long long>(maximum) + 1) {
        if (x >= 470) {
            ticks.push_back(kTickLastX);
            break;
        }
        ticks.push_back(x);
        x += spacing;
    }
    return ticks;
}

int BrightnessStep(int percent) { return percent == 0 ? 0 : percent / 10 - 2; }

bool IsDesktopWindowClass(std::string_view className) {
    for (const auto* desktop : kDesktopClasses)
        if (className == desktop) return true;
    return false;
}

}  // namespace vx
