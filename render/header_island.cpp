#include "render/header_island.h"

#include "render/primitives.h"
#include "render/text_formats.h"
#include "window/ui_state.h"

#include <cmath>

namespace {

enum IslandState { IslandInfo, IslandSuccess, IslandAlert };

struct IslandColors {
    Color glow, dot, bars;
    float dotRadius;
};

const IslandColors kIslandColors[] = {
    {{0.32f, 0.62f, 1.00f, 0.16f}, {0.36f, 0.68f, 1.00f, 0.95f}, {0.45f, 0.75f, 1.00f, 0.92f}, 5},
    {{0.20f, 0.84f, 0.44f, 0.20f}, {0.24f, 0.86f, 0.46f, 1.00f}, {0.24f, 0.86f, 0.46f, 0.95f}, 7},
    {{0.95f, 0.34f, 0.30f, 0.20f}, {0.96f, 0.34f, 0.30f, 1.00f}, {0.96f, 0.34f, 0.30f, 0.90f}, 6},
};

IslandState CurrentState() {
    if (page == PageResult) return operationSucceeded ? IslandSuccess : IslandAlert;
    return page == PageConfirmUninstall ? IslandAlert : IslandInfo;
}

const wchar_t* Label() {
    const bool uninstall = operationKind == OperationUninstall;
    switch (page) {
    case PageMaintenance: return L"Installed";
    case PageConfirmUninstall: return L"Uninstall Velmo Tulve";
    case PageProgress: return uninstall ? L"Removing\u2026" : L"Installing\u2026";
    case PageResult: return !operationSucceeded ? L"Review and retry" : uninstall ? L"Removed" : L"Ready to launch";
    case PageLicense: return L"MIT License";
    default: return L"Dynamic Island";
    }
}

}  // namespace

void PaintHeaderIsland(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, float centerX, float top) {
    const IslandState state = CurrentState();
    const IslandColors& colors = kIslandColors[state];
    const bool wide = page == PageProgress || page == PageResult;
    const float halfWidth = wide ? 114.0f : 103.0f;
    const Rect body{centerX - halfWidth, top, centerX + halfWidth, top + 34};
    const float cy = top + 17;

    // Three passes from the outside in; they overlap, so the glow is densest
    // near the capsule and reaches further below it than above.
    for (int n = highContrast ? 0 : 3; n >= 1; --n) {
        const float m = 4.0f * float(n);
        Color glow = colors.glow;
        glow.a /= float(n);
        FillRounded(rt, brush, Rect{body.left - m, body.top - 0.4f * m, body.right + m, body.bottom + 0.6f * m}, 17 + m,
                    glow);
    }
    FillRounded(rt, brush, body, 17, Color{0.02f, 0.02f, 0.03f, 1.0f});
    DrawRoundedRim(rt, body, 17, 1, 0.78f, 0.65f);

    const D2D1_POINT_2F dot{body.left + 18, cy};
    brush->SetColor(Ink(colors.dot, InkWindowText));
    rt->FillEllipse(D2D1_ELLIPSE{dot, colors.dotRadius, colors.dotRadius}, brush);
    if (state == IslandInfo) {
        brush->SetColor(Ink(Color{1, 1, 1, 0.40f}, InkWindowText));
        rt->DrawEllipse(D2D1_ELLIPSE{dot, 8, 8}, brush, 1);
    }

    const wchar_t* const label = Label();
    const Rect labelBox{body.left + 28, body.top, body.right - 34, body.bottom};
    DrawTextIn(rt, brush, label, captionFormat.Get(), labelBox, Color{1, 1, 1, 0.90f}, DWRITE_TEXT_ALIGNMENT_CENTER,
               false);
    AddFrameText(label, labelBox);

    const float clock = float(animationClock);
    for (int i = 0; i < 4; ++i) {
        const float v = 0.5f + 0.5f * sinf(1.15f * float(i) + 5.2f * clock);
        const float h = page == PageProgress ? 4 + 10 * v : 3 + 7 * v;
        const float right = body.right - 14 - 5.0f * float(3 - i);
        FillRounded(rt, brush, Rect{right - 2.4f, cy - h / 2, right, cy + h / 2}, 1.2f, colors.bars, InkWindowText);
    }
}
