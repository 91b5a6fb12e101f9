// Everything the user sees: the common frame (top glow, window edge, caption
// buttons, header island, title and subtitle) and the contents of the
// current page, derived from the UI state and the setup options on every
// frame. Registers the hit targets in their Tab order.
#pragma once

#include <d2d1.h>

#include <string>
#include <string_view>

void PaintPage(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, float widthDips, float heightDips);

// The title and subtitle the current page shows.
void PageTexts(const wchar_t*& title, std::wstring_view& subtitle);

// "n%": the fraction in whole percent, rounded half away from zero.
std::wstring PercentageText(float fraction);
