// The capsule at the top of every page: a coloured glow, a status dot, a
// label naming the state, and four bars that move with the animation clock.
// Blue while idle or working, green on success, red before an uninstall and
// on failure. Registers no hit target.
#pragma once

#include <d2d1.h>

void PaintHeaderIsland(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, float centerX, float top);
