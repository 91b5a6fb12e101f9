// The pieces every frame is composed of: lit rims, caption buttons, push
// buttons, check boxes, icons and text. Every interactive primitive registers
// its hit target first, so the order of the calls in a frame is the order of
// hitTargets: the later target wins a hit test, and it is the Tab order.
// Geometry in DIPs; colours are straight-alpha RGBA set on the shared brush
// right before each use.
#pragma once

#include "setup/owners.h"

#include <d2d1.h>
#include <dwrite.h>

#include <cstdint>
#include <string_view>

enum ButtonKind : int32_t { ButtonSecondary = 0, ButtonPrimary = 1, ButtonDanger = 2 };

using Rect = D2D1_RECT_F;
using Color = D2D1_COLOR_F;

inline Rect Inset(const Rect& r, float d) { return Rect{r.left + d, r.top + d, r.right - d, r.bottom - d}; }

// `name` is the element's label as drawn (a constant string).
void AddHitTarget(int32_t action, const Rect& rect, const wchar_t* name);
// A text drawn in `rect` that is no target's label, for assistive
// technology; placed after the targets registered so far. Empty texts say
// nothing and are left out.
void AddFrameText(std::wstring_view text, const Rect& rect, bool document = false);

// The system colours of a high-contrast frame, read at the start of every
// frame.
enum SystemInk : uint8_t {
    InkWindow,
    InkWindowText,
    InkButtonFace,
    InkButtonText,
    InkHighlight,
    InkHighlightText,
    InkLink,
    InkGrayText,
    kSystemInkCount
};
extern Color systemInks[kSystemInkCount];
void LoadSystemInks();
// `dark` in the window's own look; under high contrast the system colour.
// Use it within the expression: it may be `dark` itself.
const Color& Ink(const Color& dark, SystemInk system);

// A linear gradient over up to three stops (straight alpha), null when it
// cannot be created.
ComPtr<ID2D1LinearGradientBrush> CreateGradientBrush(ID2D1RenderTarget* rt, const D2D1_GRADIENT_STOP* stops,
                                                     uint32_t count, D2D1_POINT_2F start, D2D1_POINT_2F end);
// A three-stop white gradient that fades out from `start` to `end`; null when
// it cannot be created.
ComPtr<ID2D1LinearGradientBrush> CreateSheenBrush(ID2D1RenderTarget* rt, D2D1_POINT_2F start, D2D1_POINT_2F end,
                                                  float peakAlpha);
void DrawRoundedRim(ID2D1RenderTarget* rt, const Rect& rect, float radius, float strokeWidth, float opacity,
                    float sheen);

// These three draw in `color`, or under high contrast in the system colour
// `ink`: by default the window's for fills, its text colour for lines and
// text.
void FillRounded(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, const Rect& rect, float radius, const Color& color,
                 SystemInk ink = InkWindow);
void StrokeRounded(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, const Rect& rect, float radius,
                   const Color& color, float width, SystemInk ink = InkWindowText);
// Draws `text` with the format (skipped when the format is null) after
// setting its horizontal alignment; `clip` asks Direct2D to clip to `rect`.
void DrawTextIn(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, std::wstring_view text, IDWriteTextFormat* format,
                const Rect& rect, const Color& color, DWRITE_TEXT_ALIGNMENT alignment, bool clip,
                SystemInk ink = InkWindowText);

void DrawCaptionButton(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, int32_t action, const Rect& rect,
                       bool close);
// `label` may be null or empty; `glyph` is an icon font code point or 0.
void DrawButton(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, int32_t action, const Rect& rect,
                const wchar_t* label, wchar_t glyph, ButtonKind kind);
// A 24-DIP row at (x, y): the box and its label, all of it clickable.
void DrawCheckBox(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, int32_t action, float x, float y, float width,
                  bool checked, const wchar_t* label);
