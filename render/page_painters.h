// Everything the user sees: the common frame (top glow, window edge, caption
// buttons, header island, title and subtitle) and the contents of the
// current page, derived from the UI state and the setup options on every
// frame. Registers the hit targets in their Tab order.
#pragma once

#include <d2d1.h>

void PaintPage(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, float widthDips, float heightDips);
