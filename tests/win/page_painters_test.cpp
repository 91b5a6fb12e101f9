// The frames of every page and state, drawn by a real WM_PAINT with the real
// Direct2D: the hit targets they register (ids, order and rectangles) at 96
// and 144 DPI, text that is really drawn, the icon of every button, and a
// frame without one of its text formats.
#include "render/render_surface.h"
#include "render/text_formats.h"
#include "setup/setup_state.h"
#include "tests/win/render_fixture.h"
#include "tests/win/test_support.h"

#include <gtest/gtest.h>

namespace {

using Targets = std::vector<HitTarget>;

// Every frame starts with the two caption buttons.
Targets WithCaption(Targets page) {
    page.insert(page.begin(), {{ActionMinimize, 394, 12, 418, 36}, {ActionClose, 424, 12, 448, 36}});
    return page;
}

const HitTarget kAutoStart{ActionToggleAutoStart, 40, 302, 400, 326};
const HitTarget kShortcut{ActionToggleShortcut, 40, 330, 400, 354};
const HitTarget kLaunchBox{ActionToggleLaunch, 40, 358, 400, 382};
const HitTarget kLicenseLinkShort{ActionViewLicense, 176, 278, 284, 300};
const HitTarget kLicenseLinkTall{ActionViewLicense, 176, 414, 284, 436};

struct TargetCase {
    const char* scene;
    bool existingInstall;  // overrides the scene's
    Targets expected;
};

const TargetCase kTargetCases[] = {
    {"welcome", false, {{ActionInstall, 28, 198, 274, 234}, {ActionCustomize, 284, 198, 432, 234}, kLicenseLinkShort}},
    {"welcome-options",
     false,
     {{ActionInstall, 28, 198, 274, 234},
      {ActionCustomize, 284, 198, 432, 234},
      {ActionBrowse, 320, 260, 420, 288},
      kAutoStart,
      kShortcut,
      kLaunchBox,
      kLicenseLinkTall}},
    {"maintenance",
     true,
     {{ActionInstall, 28, 198, 178, 234},
      {ActionCustomize, 186, 198, 306, 234},
      {ActionUninstall, 314, 198, 432, 234},
      kLicenseLinkShort}},
    {"maintenance-options",
     true,
     {{ActionInstall, 28, 198, 178, 234},
      {ActionCustomize, 186, 198, 306, 234},
      {ActionUninstall, 314, 198, 432, 234},
      kAutoStart,
      kShortcut,
      kLaunchBox,
      kLicenseLinkTall}},
    {"maintenance-options",
     false,
     {{ActionInstall, 28, 198, 178, 234},
      {ActionCustomize, 186, 198, 306, 234},
      {ActionUninstall, 314, 198, 432, 234},
      {ActionBrowse, 320, 260, 420, 288},
      kAutoStart,
      kShortcut,
      kLaunchBox,
      kLicenseLinkTall}},
    {"confirm-uninstall",
     true,
     {{ActionToggleDeleteData, 42, 184, 412, 208},
      {ActionUninstall, 28, 248, 240, 284},
      {ActionCustomize, 250, 248, 432, 284}}},
    {"progress-install", false, {}},
    {"result-installed", false, {{ActionLaunch, 28, 198, 274, 234}, {ActionFinish, 284, 198, 432, 234}}},
    {"result-uninstalled", true, {{ActionFinish, 110, 198, 350, 234}}},
    {"result-install-failed", false, {{ActionRetry, 28, 198, 274, 234}, {ActionFinish, 284, 198, 432, 234}}},
    {"result-uninstall-failed", true, {{ActionRetry, 28, 198, 274, 234}, {ActionFinish, 284, 198, 432, 234}}},
    {"license", false, {{ActionBack, 160, 402, 300, 438}}},
};

std::string Describe(const Targets& targets) {
    std::string text;
    for (const HitTarget& t : targets) {
        text += std::to_string(t.id) + "{" + std::to_string(t.left) + "," + std::to_string(t.top) + "," +
                std::to_string(t.right) + "," + std::to_string(t.bottom) + "} ";
    }
    return text;
}

bool IsInk(const Pixel& p, const Pixel& against) {
    return abs(p.r - against.r) + abs(p.g - against.g) + abs(p.b - against.b) > 90;
}

// Pixels in the DIP rectangle that differ clearly from `against`.
int InkIn(const RenderWindow& window, const Rect& r, const Pixel& against) {
    const float scale = float(dpi) / 96.0f;
    int ink = 0;
    for (int y = int(r.top * scale); y < int(r.bottom * scale); ++y) {
        for (int x = int(r.left * scale); x < int(r.right * scale); ++x) ink += IsInk(window.AtPixel(x, y), against);
    }
    return ink;
}

class PagePaintersTest : public testing::Test {
protected:
    void TearDown() override { ResetWindowState(); }
    RenderWindow window;
};

TEST_F(PagePaintersTest, EveryPageRegistersItsTargetsInTabOrderAtEveryDpi) {
    for (const uint32_t windowDpi : {96u, 144u}) {
        for (const TargetCase& c : kTargetCases) {
            SCOPED_TRACE(std::string(c.scene) + " existingInstall " + std::to_string(c.existingInstall) + " at " +
                         std::to_string(windowDpi));
            ApplyScene(SceneNamed(c.scene));
            existingInstall = c.existingInstall;
            ASSERT_TRUE(window.Paint(windowDpi));
            EXPECT_EQ(Describe(hitTargets), Describe(WithCaption(c.expected)));
        }
    }
}

TEST_F(PagePaintersTest, EveryPageDrawsItsTitleAndEveryButtonItsIcon) {
    for (const uint32_t windowDpi : {96u, 144u}) {
        for (const RenderScene& scene : kRenderScenes) {
            SCOPED_TRACE(std::string(scene.name) + " at " + std::to_string(windowDpi));
            ApplyScene(scene);
            ASSERT_TRUE(window.Paint(windowDpi));
            EXPECT_GT(InkIn(window, Rect{28, 72, 432, 102}, window.At(20, 87)), 40) << "title";
            // Icon buttons: the 14-DIP cell left of the label, where the
            // group of icon, gap and measured label is centred.
            for (const HitTarget& t : hitTargets) {
                const wchar_t* label = t.id == ActionInstall  ? (page == PageMaintenance ? L"Update" : L"Install")
                                       : t.id == ActionBrowse ? L"Browse\u2026"
                                       : t.id == ActionLaunch ? L"Launch Velmo Tulve"
                                       : t.id == ActionUninstall
                                           ? (page == PageMaintenance ? L"Uninstall" : L"Uninstall now")
                                           : nullptr;
                if (!label) continue;
                ComPtr<IDWriteTextLayout> layout;
                DWRITE_TEXT_METRICS metrics{};
                ASSERT_HRESULT_SUCCEEDED(dwriteFactory->CreateTextLayout(label, UINT32(wcslen(label)),
                                                                         buttonFormat.Get(), 300, 36, &layout));
                ASSERT_HRESULT_SUCCEEDED(layout->GetMetrics(&metrics));
                const float left =
                    t.left + std::max((t.right - t.left - metrics.widthIncludingTrailingWhitespace - 20) / 2, 10.0f);
                const float cy = (t.top + t.bottom) / 2;
                const Pixel fill = window.At(t.left + 6, cy);
                EXPECT_GT(InkIn(window, Rect{left, cy - 7, left + 14, cy + 7}, fill), 8) << "icon of " << t.id;
                EXPECT_GT(InkIn(window, Rect{left + 20, cy - 7, t.right - 8, cy + 7}, fill), 20) << "label of " << t.id;
            }
        }
    }
}

// The texts each frame says to assistive technology, in reading order; "#"
// stands for the install folder.
struct TextCase {
    const char* scene;
    std::vector<const wchar_t*> texts;
};

const TextCase kTextCases[] = {
    {"welcome",
     {L"Dynamic Island", L"Velmo Tulve", L"Dynamic Island, Quick Controls & Instant Search", L"#",
      L"Installs for your Windows account"}},
    {"welcome-options",
     {L"Dynamic Island", L"Velmo Tulve", L"Dynamic Island, Quick Controls & Instant Search", L"#",
      L"Installs for your Windows account", L"Install folder", L"#"}},
    {"maintenance",
     {L"Installed", L"Velmo Tulve is installed", L"Update, change startup options, or uninstall", L"#",
      L"Current installation \u00B7 Updates keep your settings"}},
    {"maintenance-options",
     {L"Installed", L"Velmo Tulve is installed", L"Update, change startup options, or uninstall", L"#",
      L"Current installation \u00B7 Updates keep your settings", L"Install folder", L"#"}},
    {"confirm-uninstall",
     {L"Uninstall Velmo Tulve", L"Uninstall Velmo Tulve?",
      L"Removes app files, Start Menu shortcut, and auto-start entry", L"Folder: #"}},
    {"progress-install", {L"Installing\u2026", L"Installing Velmo Tulve", L"Extracting Velmo Tulve\u2026", L"50%"}},
    {"progress-uninstall", {L"Removing\u2026", L"Uninstalling Velmo Tulve", L"Removing files\u2026", L"13%"}},
    {"result-installed", {L"Ready to launch", L"All set", L"Installed to #"}},
    {"result-uninstalled", {L"Removed", L"Uninstalled", L"Velmo Tulve has been removed from this PC."}},
    {"result-install-failed",
     {L"Review and retry", L"Installation failed",
      L"Setup could not write the application files. Close Velmo Tulve and try again."}},
    {"result-uninstall-failed", {L"Review and retry", L"Uninstall failed", L"Setup could not complete the operation."}},
    {"license", {L"MIT License", L"Velmo Tulve License", L"MIT License", nullptr}},  // null: the licence
};

// Each text is registered with the rectangle it is drawn in: there is ink in
// it, against the colour at its right end, where none of these lines reach.
TEST_F(PagePaintersTest, EveryTextIsRegisteredInReadingOrderWhereItIsDrawn) {
    for (const uint32_t windowDpi : {96u, 144u}) {
        for (const TextCase& c : kTextCases) {
            SCOPED_TRACE(std::string(c.scene) + " at " + std::to_string(windowDpi));
            ApplyScene(SceneNamed(c.scene));
            ASSERT_TRUE(window.Paint(windowDpi));
            ASSERT_EQ(frameTextCount, c.texts.size());
            for (size_t k = 0; k < frameTextCount; ++k) {
                const FrameText& t = frameTexts[k];
                std::wstring expected = c.texts[k] ? c.texts[k] : licenseText;
                if (const size_t at = expected.find(L'#'); at != std::wstring::npos) {
                    expected.replace(at, 1, setupOptions.installDir);
                }
                EXPECT_EQ(FrameTextString(t), expected);
                EXPECT_EQ(t.document, c.texts[k] == nullptr);
                const Rect area{t.area.left, t.area.top, t.area.right, t.area.bottom};
                const Pixel under = window.At(area.right - 1, t.document ? area.top + 1 : (area.top + area.bottom) / 2);
                EXPECT_GT(InkIn(window, area, under), 20) << Narrow(expected);
                // Reading order: after the targets drawn above or before it.
                for (size_t i = 0; i < hitTargets.size(); ++i) {
                    EXPECT_EQ(i < t.targetsBefore, hitTargets[i].top < area.top || (hitTargets[i].top < area.bottom &&
                                                                                    hitTargets[i].left < area.left))
                        << "target " << hitTargets[i].id;
                }
            }
        }
    }
}

// At 144 DPI after 96: the text is drawn again for the new DPI. The
// licence fits its view: a frame draws it from its top whatever the offset
// says; one twice as long scrolls, and its end comes to the view's bottom.
TEST_F(PagePaintersTest, LicencePageShowsTheTextInsideItsClip) {
    for (const uint32_t windowDpi : {96u, 144u}) {
        SCOPED_TRACE(windowDpi);
        ApplyScene(SceneNamed("license"));
        licenseScroll = 60;
        ASSERT_TRUE(window.Paint(windowDpi));
        EXPECT_EQ(licenseScroll, 0);
        EXPECT_EQ(licenseSteps[LicenseStepAll], 0);
        const Pixel panel = window.At(34, 300);
        const int ink = InkIn(window, Rect{40, 144, 420, 378}, panel);
        EXPECT_GT(ink, 500 * int(windowDpi * windowDpi) / (96 * 96));
        EXPECT_EQ(InkIn(window, Rect{40, 370, 420, 378}, panel), 0) << "the end of the text is above the view's";
        const std::wstring once = licenseText;
        licenseText += once;
        licenseScroll = 60;  // the text moves up; nothing is drawn outside the clip
        ASSERT_TRUE(window.Paint(windowDpi));
        EXPECT_EQ(licenseScroll, 60);
        EXPECT_GT(licenseSteps[LicenseStepAll], 100);
        licenseScroll = 1 << 20;
        ASSERT_TRUE(window.Paint(windowDpi));
        EXPECT_EQ(licenseScroll, licenseSteps[LicenseStepAll]);
        // The licence ends in a line break: its last line of text, then an empty one.
        EXPECT_GT(InkIn(window, Rect{40, 350, 420, 378}, panel), 20) << "the end of the text at the view's bottom";
        licenseScroll = 60;
        ASSERT_TRUE(window.Paint(windowDpi));
        EXPECT_GT(InkIn(window, Rect{40, 144, 420, 378}, panel), ink / 2);
        EXPECT_EQ(InkIn(window, Rect{44, 138, 416, 143}, panel), 0);
        EXPECT_EQ(InkIn(window, Rect{44, 379, 416, 385}, panel), 0);
    }
}

// "Installed to" a deep folder is one line trimmed to the page, as the
// folder is elsewhere (Wine cuts it at its end, Windows before its last two
// folders); assistive technology gets the whole of it.
TEST_F(PagePaintersTest, ResultFolderLineIsTrimmedWithinThePage) {
    const std::wstring deep =
        L"Installed to C:\\Users\\Ada\\Documents\\A very long folder name for a test of trimming\\"
        L"and another one below it that goes on and on\\Velmo Tulve";
    for (const uint32_t windowDpi : {96u, 144u}) {
        SCOPED_TRACE(windowDpi);
        ApplyScene(SceneNamed("result-installed"));
        statusText = deep;
        ASSERT_TRUE(window.Paint(windowDpi));
        const Pixel background = window.At(14, 115);
        EXPECT_GT(InkIn(window, Rect{28, 106, 432, 124}, background), 100);
        EXPECT_EQ(InkIn(window, Rect{2, 104, 27, 126}, background), 0) << "past the left edge";
        EXPECT_EQ(InkIn(window, Rect{433, 104, 458, 126}, background), 0) << "past the right edge";
        EXPECT_EQ(InkIn(window, Rect{40, 125, 420, 196}, background), 0) << "a second line";
        ASSERT_GE(frameTextCount, 3u);
        EXPECT_EQ(FrameTextString(frameTexts[2]), deep);
    }
}

// Text drawn with a missing format is skipped; shapes and targets stay.
TEST_F(PagePaintersTest, MissingTextFormatSkipsOnlyItsText) {
    ApplyScene(SceneNamed("welcome"));
    ASSERT_TRUE(window.Paint(96));
    const std::string targets = Describe(hitTargets);
    const Pixel button = window.At(40, 216);
    const ComPtr<IDWriteTextFormat> saved[] = {titleFormat, buttonFormat};
    titleFormat.Reset();
    buttonFormat.Reset();
    const HDC dc = GetDC(window.handle());
    RenderFrame(dc, window.width(), window.height());
    ReleaseDC(window.handle(), dc);
    titleFormat = saved[0];
    buttonFormat = saved[1];

    EXPECT_EQ(Describe(hitTargets), targets);
    EXPECT_EQ(InkIn(window, Rect{28, 72, 432, 102}, window.At(20, 87)), 0) << "title without its format";
    EXPECT_EQ(InkIn(window, Rect{150, 205, 260, 228}, button), 0) << "install label without its format";
    EXPECT_EQ(window.At(40, 216).r, button.r) << "the button itself is still drawn";
    EXPECT_GT(InkIn(window, Rect{28, 106, 432, 140}, window.At(20, 120)), 40) << "subtitle keeps its format";
}

}  // namespace
