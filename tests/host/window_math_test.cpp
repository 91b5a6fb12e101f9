// The window's place on screen and the licence's scroll, as arithmetic: the
// same header the setup program is built with.
#include "window/window_math.h"

#include <gtest/gtest.h>

namespace {

// A span moves as little as it takes into [low, high); one too long for it
// keeps its start at low.
TEST(WindowMathTest, KeepInside_MovesAsLittleAsItTakesAndKeepsTheStartOfALongSpan) {
    struct Case {
        int start, length, low, high, expected;
    };
    const Case cases[] = {
        {84, 632, 0, 800, 84},     // fits where it is
        {84, 904, 0, 800, 0},      // taller than the area: its top at the top
        {300, 452, 0, 1024, 300},  // grows and still fits
        {700, 452, 0, 1024, 572},  // grows past the bottom: up by as much
        {-50, 460, 0, 1280, 0},    // partly above or left of it
        {1000, 460, 0, 1280, 820}, // partly right of it
        {500, 200, 100, 600, 400}, // an area that does not start at 0
        {50, 200, 100, 600, 100},
        {-2000, 460, -1280, 0, -1280},  // a monitor left of the primary one
        {0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeepInside(c.start, c.length, c.low, c.high), c.expected)
            << c.start << "+" << c.length << " in " << c.low << ".." << c.high;
    }
}

// The licence page takes its own height where it fits, the work area's
// (whole DIPs: never a pixel more) where not, and never less than the least.
TEST(WindowMathTest, FitHeight_TheWantedHeightOrTheWorkAreasButNeverUnderTheLeast) {
    struct Case {
        int pixels;
        uint32_t dpi;
        float expected;
    };
    const Case cases[] = {
        {1024, 96, 452}, {800, 192, 400}, {801, 192, 400}, {700, 144, 452}, {560, 120, 448},
        {599, 144, 399}, {500, 192, 316}, {0, 96, 316},    {-5, 96, 316},
    };
    for (const Case& c : cases) {
        const float height = FitHeight(452, 316, c.pixels, c.dpi);
        EXPECT_EQ(height, c.expected) << c.pixels << " px at " << c.dpi;
        if (height > 316) EXPECT_LE(height * float(c.dpi) / 96.0f, float(c.pixels) + 0.5f);
    }
}

// Within 0..last; a licence that fits (last 0 or less) does not scroll.
TEST(WindowMathTest, ScrollLicense_StaysWithinTheTextAndAFittingLicenceNeverScrolls) {
    struct Case {
        int32_t scroll, step, last, expected;
    };
    const Case cases[] = {
        {0, 30, 0, 0},          {0, -30, 0, 0},         {0, 30, -12, 0},   {0, 10, 34, 10},
        {30, 10, 34, 34},       {34, 10, 34, 34},       {34, -10, 34, 24}, {5, -10, 34, 0},
        {12, 1 << 24, 34, 34},  {12, -(1 << 24), 34, 0}, {0, -30, 34, 0},   {140, -30, 34, 34},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScrollLicense(c.scroll, c.step, c.last), c.expected)
            << c.scroll << " by " << c.step << " within " << c.last;
    }
}

}  // namespace
