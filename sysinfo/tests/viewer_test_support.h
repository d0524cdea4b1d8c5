// Helpers of the viewer's Windows tests and the gauge gallery: GDI+ for the
// process, a gauge rendered into a 32 bpp ARGB image as the dialog renders
// it, and its pixels.
#pragma once

#include "battery_gauge.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillontest {

// The gauge area of the dialog's template at 96 dpi.
inline constexpr int kGaugeWidth = 245;
inline constexpr int kGaugeHeight = 201;

// Starts GDI+ once for the process (the font family cache of GDI+'s C++
// wrapper outlives a shutdown, so it is never shut down in between).
bool StartGdiplus();

struct Rgb {
    int r, g, b;
};

struct GaugeImage {
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
    int width = 0, height = 0;
    int colourState = -1;
    // The pixel composed over nothing (the bitmap is opaque after the
    // background fill).
    Rgb At(int x, int y) const;
};

GaugeImage RenderGauge(const quillon::GaugeState& state, const quillon::GaugeTexts& texts,
                       int width = kGaugeWidth, int height = kGaugeHeight);

// Saves a GDI+ image as PNG; false when GDI+ has no PNG encoder or the
// file could not be written.
bool SavePng(Gdiplus::Image& image, const std::wstring& path);

}  // namespace quillontest
