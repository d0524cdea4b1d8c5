// The battery gauge rendered into a 32 bpp image: its colour state and the
// pixels that show it.
#include <gtest/gtest.h>

#include "viewer_test_support.h"

using namespace quillon;
using quillontest::GaugeImage;
using quillontest::RenderGauge;
using quillontest::Rgb;

TEST(Gauge, Placeholder) {
    GaugeImage image = RenderGauge(GaugeState{}, GaugeTexts{});
    EXPECT_EQ(image.colourState, 0);
}
