#include "render/page_painters.h"

#include "render/header_island.h"
#include "render/primitives.h"
#include "render/render_surface.h"
#include "render/text_formats.h"
#include "setup/setup_state.h"
#include "window/ui_state.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>

namespace {

constexpr wchar_t kDownloadGlyph = 0xE896, kBinGlyph = 0xE74D, kFolderGlyph = 0xE8B7, kPlayGlyph = 0xE768;

// A button of a page. A negative x counts back from the right edge.
struct ButtonLayout {
    const wchar_t* label;
    Action action;
    float left, top, right, bottom;
    wchar_t glyph;
    ButtonKind kind;
};

const ButtonLayout kWelcomeButtons[] = {
    {L"Install", ActionInstall, 28, 198, 274, 234, kDownloadGlyph, ButtonPrimary},
    {L"Customize", ActionCustomize, 284, 198, -28, 234, 0, ButtonSecondary},
};
const ButtonLayout kMaintenanceButtons[] = {
    {L"Update", ActionInstall, 28, 198, 178, 234, kDownloadGlyph, ButtonPrimary},
    {L"Customize", ActionCustomize, 186, 198, 306, 234, 0, ButtonSecondary},
    {L"Uninstall", ActionUninstall, 314, 198, -28, 234, kBinGlyph, ButtonDanger},
};
const ButtonLayout kBrowseButton[] = {
    {L"Browse\u2026", ActionBrowse, -140, 260, -40, 288, kFolderGlyph, ButtonSecondary},
};
const ButtonLayout kConfirmButtons[] = {
    {L"Uninstall now", ActionUninstall, 28, 248, 240, 284, kBinGlyph, ButtonDanger},
    {L"Cancel", ActionCustomize, 250, 248, -28, 284, 0, ButtonSecondary},
};
const ButtonLayout kInstalledButtons[] = {
    {L"Launch Velmo Tulve", ActionLaunch, 28, 198, 274, 234, kPlayGlyph, ButtonPrimary},
    {L"Done", ActionFinish, 284, 198, -28, 234, 0, ButtonSecondary},
};
// After a failure: back to where it began, or close.
const ButtonLayout kFailedButtons[] = {
    {L"Try again", ActionRetry, 28, 198, 274, 234, 0, ButtonPrimary},
    {L"Close", ActionFinish, 284, 198, -28, 234, 0, ButtonSecondary},
};
const ButtonLayout kCloseButton[] = {
    {L"Close", ActionFinish, 110, 198, -110, 234, 0, ButtonPrimary},
};

// Layout rectangles in DIPs; a negative coordinate counts back from the
// right edge (x) or the bottom edge (y) of the client area.
struct TextBox {
    Rect rect;
    float alpha;  // of white
    DWRITE_TEXT_ALIGNMENT alignment;
    bool clip;
};

constexpr auto kLeading = DWRITE_TEXT_ALIGNMENT_LEADING;
constexpr auto kCenter = DWRITE_TEXT_ALIGNMENT_CENTER;

constexpr TextBox kTitle{{28, 72, -28, 102}, 1.0f, kCenter, false};
constexpr TextBox kInfoPath{{40, 144, -40, 162}, 0.92f, kLeading, true};
constexpr TextBox kInfoCaption{{40, 162, -40, 180}, 0.68f, kLeading, true};
constexpr TextBox kFolderCaption{{40, 258, -148, 276}, 0.65f, kLeading, true};
constexpr TextBox kFolderPath{{40, 274, -148, 292}, 0.85f, kLeading, true};
constexpr TextBox kFolderPathWide{{40, 274, -40, 292}, 0.85f, kLeading, true};
constexpr TextBox kConfirmFolder{{42, 154, -42, 174}, 0.84f, kLeading, true};
constexpr TextBox kPercentage{{36, 200, -36, 222}, 0.56f, kCenter, false};

struct Frame {
    ID2D1RenderTarget* rt;
    ID2D1SolidColorBrush* brush;
    float w, h;

    Rect Place(const Rect& r) const {
        return Rect{r.left < 0 ? w + r.left : r.left, r.top < 0 ? h + r.top : r.top,
                    r.right < 0 ? w + r.right : r.right, r.bottom < 0 ? h + r.bottom : r.bottom};
    }
    void Buttons(const ButtonLayout* buttons, size_t count) const {
        for (const ButtonLayout* s = buttons; s != buttons + count; ++s) {
            DrawButton(rt, brush, s->action, Place(Rect{s->left, s->top, s->right, s->bottom}), s->label, s->glyph,
                       s->kind);
        }
    }
    template <size_t N>
    void Buttons(const ButtonLayout (&buttons)[N]) const {
        Buttons(buttons, N);
    }
    void Panel(const Rect& rect, float fillAlpha) const {
        const Rect placed = Place(rect);
        FillRounded(rt, brush, placed, 12, Color{1, 1, 1, fillAlpha});
        DrawRoundedRim(rt, placed, 12, 1, 0.45f, 0.25f);
    }
    // A text that is no target's label: drawn, and said to assistive technology.
    void Text(std::wstring_view text, IDWriteTextFormat* format, const TextBox& box, float alpha) const {
        const Rect placed = Place(box.rect);
        DrawTextIn(rt, brush, text, format, placed, Color{1, 1, 1, alpha}, box.alignment, box.clip);
        AddFrameText(text, placed);
    }
    void Text(std::wstring_view text, IDWriteTextFormat* format, const TextBox& box) const {
        Text(text, format, box, box.alpha);
    }
};

}  // namespace

// "n%" with n rounded half away from zero; a minus sign first if negative.
std::wstring PercentageText(float fraction) {
    const long n = lroundf(fraction * 100.0f);
    wchar_t digits[24];
    wchar_t* first = digits + 23;
    *first = L'%';
    const bool negative = n < 0;
    unsigned long magnitude = negative ? 0ul - (unsigned long)n : (unsigned long)n;
    do {
        *--first = wchar_t(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (negative) *--first = L'-';
    return std::wstring(first, digits + 24);
}

void PageTexts(const wchar_t*& title, std::wstring_view& subtitle) {
    const bool uninstall = operationKind == OperationUninstall;
    title = L"";
    subtitle = {};
    switch (page) {
    case PageWelcome:
        title = L"Velmo Tulve";
        subtitle = L"Dynamic Island, Quick Controls & Instant Search";
        break;
    case PageMaintenance:
        title = L"Velmo Tulve is installed";
        subtitle = L"Update, change startup options, or uninstall";
        break;
    case PageConfirmUninstall:
        title = L"Uninstall Velmo Tulve?";
        subtitle = L"Removes app files, Start Menu shortcut, and auto-start entry";
        break;
    case PageProgress:
        title = uninstall ? L"Uninstalling Velmo Tulve" : L"Installing Velmo Tulve";
        subtitle = statusText;
        break;
    case PageResult:
        if (operationSucceeded) {
            title = uninstall ? L"Uninstalled" : L"All set";
            subtitle = statusText;
        } else {
            title = uninstall ? L"Uninstall failed" : L"Installation failed";
            subtitle = errorText;
        }
        break;
    case PageLicense:
        title = L"Velmo Tulve License";
        subtitle = L"MIT License";
        break;
    }
}

namespace {

constexpr TextBox kSubtitle{{28, 106, -28, 144}, 0.64f, kCenter, true};
// "Installed to" and a folder: one line, trimmed as the folder is elsewhere.
constexpr TextBox kInstalledTo{{28, 106, -28, 124}, 0.64f, kCenter, true};

void PaintCommonFrame(const Frame& f) {
    const float w = f.w;
    const D2D1_GRADIENT_STOP stops[] = {{0.0f, {0.16f, 0.21f, 0.30f, 0.38f}}, {1.0f, {0.055f, 0.055f, 0.068f, 0}}};
    if (const auto glow = highContrast ? nullptr : CreateGradientBrush(f.rt, stops, 2, {w / 2, 0}, {w / 2, 160})) {
        f.rt->FillRectangle(Rect{0, 0, w, 160}, glow.Get());
    }
    DrawRoundedRim(f.rt, f.Place(Rect{0.5f, 0.5f, -0.5f, -0.5f}), 12, 1, 0.72f, 0.55f);
    DrawCaptionButton(f.rt, f.brush, ActionMinimize, f.Place(Rect{-66, 12, -42, 36}), false);
    DrawCaptionButton(f.rt, f.brush, ActionClose, f.Place(Rect{-36, 12, -12, 36}), true);
    PaintHeaderIsland(f.rt, f.brush, w / 2, 24);

    const wchar_t* title = L"";
    std::wstring_view subtitle;
    PageTexts(title, subtitle);
    f.Text(title, titleFormat.Get(), kTitle);
    if (bodyFormat) bodyFormat->SetParagraphAlignment(DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
    const bool installedTo = page == PageResult && operationSucceeded && operationKind == OperationInstall &&
                             !operationIsUpdate;
    f.Text(subtitle, (installedTo ? pathFormat : bodyFormat).Get(), installedTo ? kInstalledTo : kSubtitle,
           operationSucceeded ? 0.64f : 0.85f);
}

struct CheckBoxLayout {
    const wchar_t* label;
    Action action;
    float y;
    bool* checked;
};

const CheckBoxLayout kOptionBoxes[] = {
    {L"Start Velmo Tulve automatically with Windows", ActionToggleAutoStart, 302, &setupOptions.autoStart},
    {L"Add Start Menu shortcut", ActionToggleShortcut, 330, &setupOptions.startMenuShortcut},
    {L"Launch Velmo Tulve when finished", ActionToggleLaunch, 358, &setupOptions.launchWhenFinished},
};

constexpr wchar_t kLicenseLink[] = L"View MIT License";

void PaintInstallPage(const Frame& f) {
    const bool maintenance = page == PageMaintenance;
    f.Panel(Rect{28, 140, -28, 184}, 0.055f);
    f.Text(setupOptions.installDir, pathFormat.Get(), kInfoPath);
    f.Text(
        maintenance ? L"Current installation \u00B7 Updates keep your settings" : L"Installs for your Windows account",
        captionFormat.Get(), kInfoCaption);
    if (maintenance) {
        f.Buttons(kMaintenanceButtons);
    } else {
        f.Buttons(kWelcomeButtons);
    }

    if (customizeExpanded) {
        f.Panel(Rect{28, 250, -28, 398}, 0.045f);
        f.Text(L"Install folder", captionFormat.Get(), kFolderCaption);
        if (!existingInstall) f.Buttons(kBrowseButton);
        f.Text(setupOptions.installDir, pathFormat.Get(), existingInstall ? kFolderPathWide : kFolderPath);
        for (const CheckBoxLayout& box : kOptionBoxes) {
            DrawCheckBox(f.rt, f.brush, box.action, 40, box.y, 360, *box.checked, box.label);
        }
    }

    // The licence link sits at the bottom and moves with the window height.
    const Rect link{f.w / 2 - 54, f.h - 38, f.w / 2 + 54, f.h - 16};
    AddHitTarget(ActionViewLicense, link, kLicenseLink);
    DrawTextIn(f.rt, f.brush, kLicenseLink, captionFormat.Get(), link,
               Color{1, 1, 1, hoveredAction == ActionViewLicense ? 0.88f : 0.45f}, kCenter, false, InkLink);
    // Keyboard focus gets the buttons' ring; the mouse only brightens it.
    if (focusedAction == ActionViewLicense) {
        StrokeRounded(f.rt, f.brush, Inset(link, -2), 13, Color{1, 1, 1, 0.55f}, 1, InkHighlight);
    }
}

void PaintConfirmUninstallPage(const Frame& f) {
    FillRounded(f.rt, f.brush, f.Place(Rect{28, 142, -28, 224}), 12, Color{0.95f, 0.30f, 0.28f, 0.08f});
    StrokeRounded(f.rt, f.brush, f.Place(Rect{28.5f, 142.5f, -28.5f, 223.5f}), 11.5f, Color{1.0f, 0.44f, 0.40f, 0.26f},
                  1);
    f.Text(L"Folder: " + setupOptions.installDir, captionFormat.Get(), kConfirmFolder);
    DrawCheckBox(f.rt, f.brush, ActionToggleDeleteData, 42, 184, 370, setupOptions.deleteData,
                 L"Also delete saved settings & preferences");
    f.Buttons(kConfirmButtons);
}

void PaintProgressPage(const Frame& f) {
    const Rect track = f.Place(Rect{36, 176, -36, 186});
    FillRounded(f.rt, f.brush, track, 5, Color{1, 1, 1, 0.12f});
    // A sliver always shows; beyond 1 the bar is simply full while the
    // percentage shows the value as it is.
    const float v = std::clamp(progressShown, 0.04f, 1.0f);
    FillRounded(f.rt, f.brush, Rect{36, 176, 36 + (f.w - 72) * v, 186}, 5,
                operationKind == OperationUninstall ? Color{0.95f, 0.36f, 0.34f, 0.95f} : Color{1, 1, 1, 0.94f},
                InkHighlight);
    if (highContrast) StrokeRounded(f.rt, f.brush, track, 5, Color{}, 1);  // the track's border
    f.Text(PercentageText(progressShown), captionFormat.Get(), kPercentage);
}

// The licence laid out in `width` (its height and line height measured
// into the surface) and drawn into a bitmap of its own, kept until the DPI,
// the width or the text changes; null when that fails.
ID2D1Bitmap* LicenseBitmap(const Frame& f, float width) {
    RenderSurface& s = renderSurface;
    if (s.licenseBitmap && s.licenseBitmapDpi == float(dpi) && s.licenseBitmapWidth == width &&
        s.licenseBitmapLength == licenseText.size()) {
        return s.licenseBitmap.Get();
    }
    s.licenseBitmap.Reset();
    s.licenseTextHeight = s.licenseLineHeight = 0;  // until measured
    licenseFormat->SetTextAlignment(kLeading);
    ComPtr<IDWriteTextLayout> layout;
    DWRITE_TEXT_METRICS metrics{};
    ComPtr<ID2D1BitmapRenderTarget> target;
    if (FAILED(dwriteFactory->CreateTextLayout(licenseText.c_str(), UINT32(licenseText.size()), licenseFormat.Get(),
                                               width, 1e6f, &layout)) ||
        FAILED(layout->GetMetrics(&metrics))) {
        return nullptr;
    }
    const float height = ceilf(metrics.height);
    s.licenseTextHeight = int32_t(height);
    s.licenseLineHeight = lroundf(metrics.height / float(std::max(metrics.lineCount, 1u)));
    if (FAILED(f.rt->CreateCompatibleRenderTarget(D2D1_SIZE_F{width, height + 1}, &target))) {
        return nullptr;
    }
    target->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
    target->BeginDraw();
    target->Clear(Color{0, 0, 0, 0});
    f.brush->SetColor(Color{1, 1, 1, 0.82f});
    target->DrawTextLayout(D2D1_POINT_2F{0, 0}, layout.Get(), f.brush);
    if (FAILED(target->EndDraw()) || FAILED(target->GetBitmap(&s.licenseBitmap))) return nullptr;
    s.licenseBitmapDpi = float(dpi);
    s.licenseBitmapWidth = width;
    s.licenseBitmapLength = licenseText.size();
    return s.licenseBitmap.Get();
}

void PaintLicensePage(const Frame& f) {
    const float w = f.w, h = f.h;
    f.Panel(Rect{28, 134, -28, -64}, 0.045f);
    const Rect view = f.Place(Rect{40, 144, -40, -74});
    AddFrameText(licenseText, view, true);
    const RenderSurface& s = renderSurface;
    if (licenseFormat) {
        ID2D1Bitmap* const text = LicenseBitmap(f, w - 80);
        // The scroll never runs past the text's end: the keys and the wheel
        // go by what this frame measured.
        const int32_t viewHeight = int32_t(view.bottom - view.top);
        licenseSteps[LicenseStepLine] = s.licenseLineHeight;
        licenseSteps[LicenseStepPage] = viewHeight - s.licenseLineHeight;
        licenseSteps[LicenseStepAll] = std::max(s.licenseTextHeight - viewHeight, 0);
        licenseScroll = std::min(licenseScroll, licenseSteps[LicenseStepAll]);
        // Direct2D's text clip option is ignored by some implementations; an
        // axis-aligned clip is honoured everywhere.
        f.rt->PushAxisAlignedClip(view, D2D1_ANTIALIAS_MODE_ALIASED);
        const float top = 144 - float(licenseScroll);
        // The kept bitmap holds the text in the dark look's colour.
        if (text && !highContrast) {
            const D2D1_SIZE_F size = text->GetSize();
            f.rt->DrawBitmap(text, Rect{40, top, 40 + size.width, top + size.height}, 1.0f,
                             D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR);
        } else {
            DrawTextIn(f.rt, f.brush, licenseText, licenseFormat.Get(), Rect{40, top, w - 40, h + 336},
                       Color{1, 1, 1, 0.82f}, kLeading, false);
        }
        f.rt->PopAxisAlignedClip();
    }
    DrawButton(f.rt, f.brush, ActionBack, Rect{w / 2 - 70, h - 50, w / 2 + 70, h - 14}, L"Back", 0, ButtonSecondary);
}

}  // namespace

void PaintPage(ID2D1RenderTarget* rt, ID2D1SolidColorBrush* brush, float widthDips, float heightDips) {
    const Frame f{rt, brush, widthDips, heightDips};
    PaintCommonFrame(f);
    switch (page) {
    case PageWelcome:
    case PageMaintenance: PaintInstallPage(f); break;
    case PageConfirmUninstall: PaintConfirmUninstallPage(f); break;
    case PageProgress: PaintProgressPage(f); break;
    case PageResult:
        if (!operationSucceeded) {
            f.Buttons(kFailedButtons);
        } else if (operationKind == OperationInstall) {
            f.Buttons(kInstalledButtons);
        } else {
            f.Buttons(kCloseButton);
        }
        break;
    case PageLicense: PaintLicensePage(f); break;
    }
}
