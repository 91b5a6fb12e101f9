#include "render/primitives.h"

#include "render/render_surface.h"
#include "render/text_formats.h"
#include "window/ui_state.h"

#include <algorithm>

namespace {

// Outlines in a compact form: the first byte says whether the shape is
// filled; then each figure is its point count (with FigureClosed set when
// the figure is closed) followed by x, y pairs in `unit`s from the origin; a
// zero count ends the shape.
enum : uint8_t { ShapeStroked = 0, ShapeFilled = 1, FigureClosed = 0x80 };

// The check mark, in tenths of a DIP from the box's top-left corner.
constexpr uint8_t kCheckMark[] = {ShapeStroked, 3, 36, 84, 68, 115, 124, 48, 0};

// Stand-ins for the icon font's glyphs where no icon font exists, in half
// DIPs of a 14 x 14 DIP cell: a download arrow (stem, head, base), a bin
// (lid, handle, body, two slats), a folder and a play triangle.
// clang-format off
constexpr uint8_t kDownloadIcon[] = {ShapeStroked,
                                     2, 14, 3, 14, 19,
                                     3, 7, 12, 14, 19, 21, 12,
                                     2, 4, 25, 24, 25,
                                     0};
constexpr uint8_t kBinIcon[] = {ShapeStroked,
                                2, 3, 7, 25, 7,
                                4, 10, 7, 10, 3, 18, 3, 18, 7,
                                4, 6, 7, 8, 25, 20, 25, 22, 7,
                                2, 12, 11, 12, 21,
                                2, 16, 11, 16, 21,
                                0};
// clang-format on
constexpr uint8_t kFolderIcon[] = {ShapeStroked, 6 | FigureClosed, 2, 5, 11, 5, 14, 8, 26, 8, 26, 23, 2, 23, 0};
constexpr uint8_t kPlayIcon[] = {ShapeFilled, 3 | FigureClosed, 8, 4, 24, 14, 8, 24, 0};

struct IconShape {
    wchar_t glyph;
    const uint8_t* shape;
};
constexpr IconShape kIconShapes[] = {
    {0xE896, kDownloadIcon}, {0xE74D, kBinIcon}, {0xE8B7, kFolderIcon}, {0xE768, kPlayIcon}};

// Fills, by button kind (secondary, primary, danger) and state (normal,
// hovered, pressed).
constexpr Color kButtonFills[3][3] = {
    {{1, 1, 1, 0.09f}, {1, 1, 1, 0.16f}, {1, 1, 1, 0.22f}},
    {{0.94f, 0.94f, 0.94f, 1}, {1, 1, 1, 1}, {0.86f, 0.86f, 0.86f, 1}},
    {{0.90f, 0.25f, 0.23f, 0.18f}, {0.90f, 0.25f, 0.23f, 0.28f}, {0.90f, 0.25f, 0.23f, 0.36f}},
};
constexpr Color kButtonText[3] = {{1, 1, 1, 0.96f}, {0.05f, 0.05f, 0.07f, 1.0f}, {1.0f, 0.85f, 0.84f, 1.0f}};
constexpr Color kPrimaryEdge{1, 1, 1, 0.35f};
constexpr Color kDangerEdge[2] = {{1.0f, 0.44f, 0.40f, 0.45f}, {1.0f, 0.44f, 0.40f, 0.72f}};
constexpr Color kToggleFocusEdge{0.55f, 0.76f, 1.0f, 1.0f};
constexpr Color kCheckMarkColor{0.06f, 0.06f, 0.08f, 1.0f};

void DrawShape(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, const uint8_t* shape, float x, float y, float unit,
               float strokeWidth) {
    ComPtr<ID2D1PathGeometry> path;
    ComPtr<ID2D1GeometrySink> sink;
    if (FAILED(renderSurface.d2dFactory->CreatePathGeometry(&path)) || FAILED(path->Open(&sink))) return;
    const bool filled = *shape++ == ShapeFilled;
    for (uint8_t count; (count = *shape++) != 0;) {
        for (int i = 0; i < (count & ~FigureClosed); ++i, shape += 2) {
            const D2D1_POINT_2F p{x + float(shape[0]) * unit, y + float(shape[1]) * unit};
            if (i == 0) {
                sink->BeginFigure(p, filled ? D2D1_FIGURE_BEGIN_FILLED : D2D1_FIGURE_BEGIN_HOLLOW);
            } else {
                sink->AddLine(p);
            }
        }
        sink->EndFigure(count & FigureClosed ? D2D1_FIGURE_END_CLOSED : D2D1_FIGURE_END_OPEN);
    }
    if (FAILED(sink->Close())) return;
    if (filled) {
        rt->FillGeometry(path.Get(), brush);
    } else {
        rt->DrawGeometry(path.Get(), brush, strokeWidth);
    }
}

// The glyph centred in `cell` in the brush's colour; where no icon font
// exists, its outline in a 14-DIP square centred in the cell.
void DrawIcon(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, wchar_t glyph, const Rect& cell) {
    if (iconGlyphsAvailable) {
        iconFormat->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER);
        rt->DrawText(&glyph, 1, iconFormat.Get(), cell, brush);
        return;
    }
    for (const IconShape& icon : kIconShapes) {
        if (icon.glyph != glyph) continue;
        DrawShape(rt, brush, icon.shape, (cell.left + cell.right) / 2 - 7, (cell.top + cell.bottom) / 2 - 7, 0.5f,
                  1.2f);
    }
}

void DrawLine(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, float x0, float y0, float x1, float y1, float width) {
    rt->DrawLine(D2D1_POINT_2F{x0, y0}, D2D1_POINT_2F{x1, y1}, brush, width);
}

// Two strokes from (x - 4, y - e) through (x, y + e) to (x + 4, y - e).
void DrawChevron(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, float x, float y, float e, float width) {
    DrawLine(rt, brush, x - 4, y - e, x, y + e, width);
    DrawLine(rt, brush, x, y + e, x + 4, y - e, width);
}

}  // namespace

void AddHitTarget(int32_t action, const Rect& rect, const wchar_t* name) {
    hitTargets.push_back(HitTarget{action, rect.left, rect.top, rect.right, rect.bottom, name});
}

void AddFrameText(std::wstring_view text, const Rect& rect, bool document) {
    if (text.empty() || frameTextCount == kMaxFrameTexts) return;
    frameTexts[frameTextCount++] = FrameText{{ActionNone, rect.left, rect.top, rect.right, rect.bottom},
                                             uint32_t(frameTextChars.size()),
                                             uint32_t(text.size()),
                                             uint32_t(hitTargets.size()),
                                             document};
    frameTextChars.append(text);
}

Color systemInks[kSystemInkCount];

void LoadSystemInks() {
    static constexpr uint8_t kSystemColors[kSystemInkCount] = {COLOR_WINDOW,   COLOR_WINDOWTEXT, COLOR_BTNFACE,
                                                               COLOR_BTNTEXT,  COLOR_HIGHLIGHT,  COLOR_HIGHLIGHTTEXT,
                                                               COLOR_HOTLIGHT, COLOR_GRAYTEXT};
    for (int i = 0; i < kSystemInkCount; ++i) {
        const COLORREF c = GetSysColor(kSystemColors[i]);
        systemInks[i] = Color{float(GetRValue(c)) / 255, float(GetGValue(c)) / 255, float(GetBValue(c)) / 255, 1};
    }
}

const Color& Ink(const Color& dark, SystemInk system) { return highContrast ? systemInks[system] : dark; }

ComPtr<ID2D1LinearGradientBrush> CreateGradientBrush(ID2D1RenderTarget* rt, const D2D1_GRADIENT_STOP* stops,
                                                     uint32_t count, D2D1_POINT_2F start, D2D1_POINT_2F end) {
    D2D1_GRADIENT_STOP given[3];
    for (uint32_t i = 0; i < count && i < 3; ++i) {
        given[i] = stops[i];
        if (!gradientStopsPremultiplied) continue;
        D2D1_COLOR_F& c = given[i].color;
        c.r *= c.a;
        c.g *= c.a;
        c.b *= c.a;
    }
    ComPtr<ID2D1GradientStopCollection> collection;
    ComPtr<ID2D1LinearGradientBrush> brush;
    if (SUCCEEDED(rt->CreateGradientStopCollection(given, count < 3 ? count : 3, D2D1_GAMMA_2_2, D2D1_EXTEND_MODE_CLAMP,
                                                   &collection))) {
        rt->CreateLinearGradientBrush(D2D1_LINEAR_GRADIENT_BRUSH_PROPERTIES{start, end}, collection.Get(), &brush);
    }
    return brush;
}

ComPtr<ID2D1LinearGradientBrush> CreateSheenBrush(ID2D1RenderTarget* rt, D2D1_POINT_2F start, D2D1_POINT_2F end,
                                                  float peakAlpha) {
    const D2D1_GRADIENT_STOP stops[] = {
        {0.0f, {1, 1, 1, peakAlpha}},
        {0.45f, {1, 1, 1, peakAlpha * 0.28f}},
        {1.0f, {1, 1, 1, 0}},
    };
    return CreateGradientBrush(rt, stops, 3, start, end);
}

void DrawRoundedRim(ID2D1RenderTarget* rt, const Rect& rect, float radius, float strokeWidth, float opacity,
                    float sheen) {
    const float w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (w < 4 || h < 4) return;
    const float c = 0.75f * opacity;
    // The light falls along the 45-degree diagonals from the top-left and the
    // bottom-right corner: `reach` is the gradient's run along each axis.
    const float reach = (0.18f * std::max(w, h) + 0.5f * std::min(w, h)) / 1.41421f * 0.70711f;
    ComPtr<ID2D1LinearGradientBrush> sheens[2];
    if (sheen > 0.001f && !highContrast) {
        sheens[0] =
            CreateSheenBrush(rt, {rect.left, rect.top}, {rect.left + reach, rect.top + reach}, 0.42f * c * sheen);
        sheens[1] = CreateSheenBrush(rt, {rect.right, rect.bottom}, {rect.right - reach, rect.bottom - reach},
                                     0.2f * c * sheen);
    }
    for (int i = 1; i <= 2; ++i) {
        const float d = float(i) * strokeWidth, r = std::max(radius - d, 0.0f);
        const D2D1_ROUNDED_RECT shape{Inset(rect, d), r, r};
        for (const auto& brush : sheens) {
            if (!brush) continue;
            brush->SetOpacity(i == 1 ? 0.85f : 0.1f);
            rt->DrawRoundedRectangle(shape, brush.Get(), strokeWidth);
        }
    }
    ComPtr<ID2D1SolidColorBrush> highlight;
    // Under high contrast this line alone is the element's border.
    if (SUCCEEDED(rt->CreateSolidColorBrush(Ink(Color{1, 1, 1, 0.24f * opacity}, InkWindowText), &highlight))) {
        const float r = std::max(radius - strokeWidth, 0.0f);
        rt->DrawRoundedRectangle(D2D1_ROUNDED_RECT{Inset(rect, strokeWidth), r, r}, highlight.Get(), strokeWidth);
    }
}

void FillRounded(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, const Rect& rect, float radius, const Color& color,
                 SystemInk ink) {
    brush->SetColor(Ink(color, ink));
    rt->FillRoundedRectangle(D2D1_ROUNDED_RECT{rect, radius, radius}, brush);
}

void StrokeRounded(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, const Rect& rect, float radius,
                   const Color& color, float width, SystemInk ink) {
    brush->SetColor(Ink(color, ink));
    rt->DrawRoundedRectangle(D2D1_ROUNDED_RECT{rect, radius, radius}, brush, width);
}

void DrawTextIn(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, std::wstring_view text, IDWriteTextFormat* format,
                const Rect& rect, const Color& color, DWRITE_TEXT_ALIGNMENT alignment, bool clip, SystemInk ink) {
    if (!format) return;
    brush->SetColor(Ink(color, ink));
    format->SetTextAlignment(alignment);
    rt->DrawText(text.data(), UINT32(text.size()), format, rect, brush,
                 clip ? D2D1_DRAW_TEXT_OPTIONS_CLIP : D2D1_DRAW_TEXT_OPTIONS_NONE);
}

void DrawCaptionButton(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, int32_t action, const Rect& rect,
                       bool close) {
    AddHitTarget(action, rect, close ? L"Close" : L"Minimize");
    const bool hovered = hoveredAction == action, pressed = pressedAction == action;
    const bool lit = hovered || pressed;
    if (lit) {
        FillRounded(
            rt, brush, rect, 12,
            close ? Color{0.90f, 0.25f, 0.24f, pressed ? 0.90f : 0.75f} : Color{1, 1, 1, pressed ? 0.20f : 0.12f},
            InkHighlight);
    } else if (highContrast) {
        StrokeRounded(rt, brush, rect, 12, Color{}, 1);  // the button's border
    }
    // Under high contrast the close glyph is grey while closing waits for a
    // running operation.
    brush->SetColor(Ink(Color{1, 1, 1, hovered ? 0.95f : 0.60f}, lit                                ? InkHighlightText
                                                                 : close && operationRunning.load() ? InkGrayText
                                                                                                    : InkWindowText));
    const float cx = (rect.left + rect.right) / 2, cy = (rect.top + rect.bottom) / 2;
    if (close) {
        DrawLine(rt, brush, cx - 4, cy - 4, cx + 4, cy + 4, 1.4f);
        DrawLine(rt, brush, cx + 4, cy - 4, cx - 4, cy + 4, 1.4f);
    } else {
        DrawLine(rt, brush, cx - 4.5f, cy, cx + 4.5f, cy, 1.4f);
    }
}

void DrawButton(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, int32_t action, const Rect& rect,
                const wchar_t* label, wchar_t glyph, ButtonKind kind) {
    AddHitTarget(action, rect, label);
    const bool hovered = hoveredAction == action, pressed = pressedAction == action;
    const int state = pressed ? 2 : hovered ? 1 : 0;
    const bool focused = focusedAction == action;
    // On the confirmation page the same action is an ordinary "Cancel".
    const bool toggle = action == ActionCustomize && (page == PageWelcome || page == PageMaintenance);
    const float r = (rect.bottom - rect.top) / 2;
    const float cy = (rect.top + rect.bottom) / 2;

    // Under high contrast a hovered, pressed or primary button is drawn in
    // the selection colours, every other one in the button colours.
    const bool lit = state || kind == ButtonPrimary;
    const SystemInk textInk = lit ? InkHighlightText : InkButtonText, fillInk = lit ? InkHighlight : InkButtonFace;
    const Color& text = kButtonText[kind];
    if (toggle) {
        const float a = pressed ? 0.18f : hovered ? 0.13f : customizeExpanded ? 0.10f : 0.06f;
        FillRounded(rt, brush, rect, r, Color{1, 1, 1, a}, fillInk);
        const Color edge{1, 1, 1, hovered || customizeExpanded ? 0.26f : 0.17f};
        StrokeRounded(rt, brush, Inset(rect, 1), r - 1, focused ? kToggleFocusEdge : edge, focused ? 1.5f : 1.0f,
                      focused ? InkHighlight : InkButtonText);
        brush->SetColor(Ink(Color{1, 1, 1, 0.76f}, textInk));
        DrawChevron(rt, brush, rect.right - 16, cy, customizeExpanded ? -2.0f : 2.0f, 1.5f);
        if (label && *label) {
            DrawTextIn(rt, brush, label, buttonFormat.Get(),
                       Rect{rect.left + 8, rect.top, rect.right - 28, rect.bottom}, text, DWRITE_TEXT_ALIGNMENT_CENTER,
                       true, textInk);
        }
        return;
    }

    FillRounded(rt, brush, rect, r, kButtonFills[kind][state], fillInk);
    if (kind == ButtonSecondary && !highContrast) {
        DrawRoundedRim(rt, rect, r, 1, 0.65f, state ? 1.0f : 0.35f);
    } else {
        StrokeRounded(rt, brush, Inset(rect, 0.5f), r - 0.5f,
                      kind == ButtonPrimary ? kPrimaryEdge : kDangerEdge[state != 0], 1, InkButtonText);
    }
    if (focused) StrokeRounded(rt, brush, Inset(rect, -2), r + 2, Color{1, 1, 1, 0.55f}, 1, InkHighlight);

    const bool hasLabel = label && *label;
    Rect labelBox{rect.left + 8, rect.top, rect.right - 8, rect.bottom};
    DWRITE_TEXT_ALIGNMENT alignment = DWRITE_TEXT_ALIGNMENT_CENTER;
    if (glyph && iconFormat) {
        brush->SetColor(Ink(text, textInk));
        if (!hasLabel) {
            DrawIcon(rt, brush, glyph, rect);
            return;
        }
        if (!buttonFormat) return;
        float labelWidth = 60;
        ComPtr<IDWriteTextLayout> layout;
        DWRITE_TEXT_METRICS metrics{};
        if (SUCCEEDED(dwriteFactory->CreateTextLayout(label, UINT32(wcslen(label)), buttonFormat.Get(), 300,
                                                      rect.bottom - rect.top, &layout)) &&
            SUCCEEDED(layout->GetMetrics(&metrics))) {
            labelWidth = metrics.widthIncludingTrailingWhitespace;
        }
        // A 14-DIP icon cell, a 6-DIP gap, then the label, centred as a group
        // but never closer than 10 DIPs to the left end.
        const float iconLeft = rect.left + std::max((rect.right - rect.left - (labelWidth + 20)) / 2, 10.0f);
        DrawIcon(rt, brush, glyph, Rect{iconLeft, rect.top, iconLeft + 14, rect.bottom});
        labelBox.left = iconLeft + 20;
        alignment = DWRITE_TEXT_ALIGNMENT_LEADING;
    }
    if (hasLabel) DrawTextIn(rt, brush, label, buttonFormat.Get(), labelBox, text, alignment, true, textInk);
}

void DrawCheckBox(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, int32_t action, float x, float y, float width,
                  bool checked, const wchar_t* label) {
    AddHitTarget(action, Rect{x, y, x + width, y + 24}, label);
    const bool hovered = hoveredAction == action;
    const Rect box{x, y + 4, x + 16, y + 20};
    if (checked) {
        FillRounded(rt, brush, box, 4.5f, Color{1, 1, 1, hovered ? 0.96f : 0.88f}, InkHighlight);
        brush->SetColor(Ink(kCheckMarkColor, InkHighlightText));
        DrawShape(rt, brush, kCheckMark, box.left, box.top, 0.1f, 1.9f);
    } else {
        FillRounded(rt, brush, box, 4.5f, Color{1, 1, 1, hovered ? 0.16f : 0.09f});
    }
    if (!checked || highContrast) {
        StrokeRounded(rt, brush, Inset(box, 0.5f), 4.5f, Color{1, 1, 1, hovered ? 0.42f : 0.25f}, 1);
    }
    if (focusedAction == action) {
        StrokeRounded(rt, brush, Inset(box, -2), 6, Color{1, 1, 1, 0.45f}, 1, InkHighlight);
    }
    if (label && bodyFormat) {
        bodyFormat->SetParagraphAlignment(DWRITE_PARAGRAPH_ALIGNMENT_CENTER);
        DrawTextIn(rt, brush, label, bodyFormat.Get(), Rect{x + 26, y, x + width, y + 24},
                   Color{1, 1, 1, hovered ? 0.96f : 0.85f}, DWRITE_TEXT_ALIGNMENT_LEADING, true);
    }
}
