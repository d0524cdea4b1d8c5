// Decisions of the volume and brightness level bars, free of Windows: the
// volume rounding rule, what the main window does with a brightness or
// volume notification and with a volume key reported by the hook library.
#pragma once

#include <cstdint>

namespace vx {

// The OSD codes of the level bar's icon.
inline constexpr int kCodeVolumeMuted = 8;
inline constexpr int kCodeVolume = 9;
inline constexpr int kVolumeMaximum = 100;
// Scan codes of the volume keys.
inline constexpr unsigned kScanVolumeUp = 0x30;
inline constexpr unsigned kScanVolumeDown = 0x2E;

// Percent of a master volume scalar: (scalar + 0.005) * 100 in double
// precision, truncated toward zero (0.994 gives 99, 0.995 gives 100).
int VolumeLevel(double scalar);

int VolumeOsdCode(bool muted);

// The last volume a binding's start volume sets: exactly 1.0 gives 100,
// exactly 0.0 gives 0, anything else leaves the last volume as it was.
int LastVolumeAfterBinding(float scalar, int lastVolume);

// WM_BRIGHTNESS_NOTIFY: a full-screen program in front suppresses the bar
// and leaves the skip flag; otherwise a set skip flag is used up instead of
// showing the bar.
struct BrightnessDecision {
    bool show;
    bool clearSkip;
};
BrightnessDecision DecideBrightnessNotify(bool fullScreenForeground, bool skipNext);

// WM_VOLUME_NOTIFY: shown unless suppressed; while suppressed the first
// notification starts the suppression timer, later ones leave it running.
struct VolumeDecision {
    bool show;
    bool startTimer;
};
VolumeDecision DecideVolumeNotify(bool suppressed, bool timerRunning);

// "KB_HOOK_MESSAGE": how many times the volume bar is shown for a keystroke
// lParam (scan code in bits 16-23): once while suppressed, once more at the
// end stops 0 and 100; never for a key other than the volume keys.
int VolumeKeyShowCount(std::uint32_t lParam, bool suppressed, int lastVolume);

}  // namespace vx
