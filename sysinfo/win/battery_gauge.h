// The viewer's battery gauge drawn with GDI+: a slanted ring raised ten
// pixels, filled clockwise with the charge, the charge in the middle, the
// two alarm levels as markers with labels on the rim and a footer with the
// remaining time or the charging notice.
#pragma once

#include "gauge_rules.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>

namespace quillon {

// The gauge's texts (ids 13, 15, 103, 107, 111-116, 141, 142) from the
// string table of `module` in `language` (1033 English, 1042 Korean),
// converted to the ANSI code page. A missing string gives an empty text.
GaugeTexts LoadGaugeTexts(HINSTANCE module, LANGID language);

// Paints the whole gauge, every layer, into `g` (an image of width x
// height pixels) and returns the colour state (0 normal, 2 critical, 4 low)
// the ring shows.
int DrawBatteryGauge(Gdiplus::Graphics& g, int width, int height, const GaugeState& state,
                     const GaugeTexts& texts);

// The gauge as the viewer refreshes it: drawn into an image it keeps (32
// bpp ARGB, anti-aliased), with the same pixels as DrawBatteryGauge on a
// fresh image. The layers below the footer are kept as copies and reused
// while their inputs stay the same: the background, alarm ticks and base
// outline or disk per size, face colour, alarm levels and known or unknown
// charge; everything but the footer per charge, alarm switches and label
// texts as well. A refresh that changes nothing the image shows draws
// nothing; one with only a new footer text draws the footer alone; one with
// a new charge draws from the ring up.
class BatteryGauge {
public:
    BatteryGauge();
    ~BatteryGauge();
    BatteryGauge(const BatteryGauge&) = delete;
    BatteryGauge& operator=(const BatteryGauge&) = delete;

    // Draws the gauge for `state` into the image, made anew for a new size;
    // returns the colour state. Without GDI+ there is no image.
    int Draw(int width, int height, const GaugeState& state, const GaugeTexts& texts);
    // The last drawing; null before the first and after Release.
    Gdiplus::Bitmap* Image() const;
    // Frees the image and the kept layers (before GDI+ shuts down).
    void Release();

private:
    struct Cache;
    std::unique_ptr<Cache> cache_;
};

// The point of the ellipse inscribed in `bounds` at `angle` degrees: the
// end of an arc from 0 sweeping `angle`, truncated to integers.
GaugePoint EllipsePoint(const GaugeRect& bounds, float angle);

}  // namespace quillon
