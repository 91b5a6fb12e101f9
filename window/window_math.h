// The arithmetic of the window's place on screen and of the licence's scroll.
// It needs no Windows header, so the host build tests exactly what ships.
#pragma once

#include <algorithm>
#include <cstdint>

// The start of a span `length` long that starts at `start`, moved as little
// as it takes to lie within [low, high); a span longer than that starts at
// `low` (a window's top-left corner stays on screen).
constexpr int KeepInside(int start, int length, int low, int high) {
    return std::max(std::min(start, high - length), low);
}

// A page `wanted` DIPs high on a work area `pixels` high at `dpi`: as high as
// it wants where that fits, else as high as the work area, never under
// `least`. Whole DIPs, so that the window's pixels never exceed the area's.
constexpr float FitHeight(float wanted, float least, int pixels, uint32_t dpi) {
    return std::max(std::min(wanted, float(int64_t(pixels) * 96 / int64_t(dpi))), least);
}

// The licence's scroll offset moved by `step` DIPs, within 0..`last` (0
// when `last` is not positive: a licence that fits does not scroll).
constexpr int32_t ScrollLicense(int32_t scroll, int32_t step, int32_t last) {
    return std::max(std::min(scroll + step, last), 0);
}
