#include "level_rules.h"

namespace vx {

int VolumeLevel(double scalar) { return static_cast<int>((scalar + 0.005) * 100); }

int VolumeOsdCode(bool muted) { return muted ? kCodeVolumeMuted : kCodeVolume; }

int LastVolumeAfterBinding(float scalar, int lastVolume) {
    if (scalar == 1.0f) return 100;
    if (scalar == 0.0f) return 0;
    return lastVolume;
}

BrightnessDecision DecideBrightnessNotify(bool fullScreenForeground, bool skipNext) {
    if (fullScreenForeground) return {false, false};
    if (skipNext) return {false, true};
    return {true, false};
}

VolumeDecision DecideVolumeNotify(bool suppressed, bool timerRunning) {
    if (!suppressed) return {true, false};
    return {false, !timerRunning};
}

int VolumeKeyShowCount(std::uint32_t lParam, bool suppressed, int lastVolume) {
    const unsigned scan = (lParam >> 16) & 0xFF;
    if (scan != kScanVolumeUp && scan != kScanVolumeDown) return 0;
    return (suppressed ? 1 : 0) + (lastVolume == 0 || lastVolume == 100 ? 1 : 0);
}

}  // namespace vx
