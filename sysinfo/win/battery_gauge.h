// The viewer's battery gauge drawn with GDI+: a slanted ring raised ten
// pixels, filled clockwise with the charge, the charge in the middle, the
// two alarm levels as markers with labels on the rim and a footer with the
// remaining time or the charging notice.
#pragma once

#include "gauge_rules.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

namespace quillon {

// The gauge's texts (ids 13, 15, 103, 107, 111-116, 141, 142) from the
// string table of `module` in `language` (1033 English, 1042 Korean),
// converted to the ANSI code page. A missing string gives an empty text.
GaugeTexts LoadGaugeTexts(HINSTANCE module, LANGID language);

// Paints the whole gauge into `g` (an image of width x height pixels) and
// returns the colour state (0 normal, 2 critical, 4 low) the ring shows.
int DrawBatteryGauge(Gdiplus::Graphics& g, int width, int height, const GaugeState& state,
                     const GaugeTexts& texts);

// The point of the ellipse inscribed in `bounds` at `angle` degrees: the
// end of an arc from 0 sweeping `angle`, truncated to integers.
GaugePoint EllipsePoint(const GaugeRect& bounds, float angle);

}  // namespace quillon
