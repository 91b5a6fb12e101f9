// Colours of the drawn primitives, read from the real frame at 96 and 144
// DPI. Wine draws shapes without antialiasing, so every sample lies well
// inside its shape; the expected colour is the element's colour blended over
// what lies beneath it.
#include "setup/setup_state.h"
#include "tests/win/render_fixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct Rgb {
    float r, g, b;
};
constexpr Rgb kBackground{0.055f * 255, 0.055f * 255, 0.068f * 255};
constexpr Rgb kIslandBody{0.02f * 255, 0.02f * 255, 0.03f * 255};

constexpr Rgb Over(Rgb under, float r, float g, float b, float a) {
    return Rgb{r * 255 * a + under.r * (1 - a), g * 255 * a + under.g * (1 - a), b * 255 * a + under.b * (1 - a)};
}
constexpr Rgb White(Rgb under, float a) { return Over(under, 1, 1, 1, a); }
constexpr Rgb kOptionsPanel = White(kBackground, 0.045f);
constexpr Rgb kTrack = White(kBackground, 0.12f);

struct ColorCase {
    const char* name;
    const char* scene;
    std::function<void()> state;  // after the scene
    float x, y;                   // DIPs, inside the shape
    Rgb expected;
};

void Hover(int32_t id) { hoveredAction = id; }
void Press(int32_t id) { pressedAction = hoveredAction = id; }
void Progress(float shown) { progressShown = shown; }
void Nothing() {}

// Where the bar of `shown` ends: 36 + 388 * clamp(shown, 0.04, 1).
float BarEnd(float shown) { return 36 + 388 * std::min(std::max(shown, 0.04f), 1.0f); }

const ColorCase kColorCases[] = {
    {"background", "welcome", Nothing, 230, 255, kBackground},
    {"primary", "welcome", Nothing, 40, 216, White(kBackground, 0.94f)},
    {"primary hovered", "welcome", [] { Hover(ActionInstall); }, 40, 216, White(kBackground, 1)},
    {"primary pressed", "welcome", [] { Press(ActionInstall); }, 40, 216, {0.86f * 255, 0.86f * 255, 0.86f * 255}},
    {"danger", "maintenance", Nothing, 322, 216, Over(kBackground, 0.90f, 0.25f, 0.23f, 0.18f)},
    {"danger hovered", "maintenance", [] { Hover(ActionUninstall); }, 322, 216,
     Over(kBackground, 0.90f, 0.25f, 0.23f, 0.28f)},
    {"danger pressed", "maintenance", [] { Press(ActionUninstall); }, 322, 216,
     Over(kBackground, 0.90f, 0.25f, 0.23f, 0.36f)},
    {"secondary", "result-installed", Nothing, 300, 216, White(kBackground, 0.09f)},
    {"secondary hovered", "result-installed", [] { Hover(ActionFinish); }, 300, 216, White(kBackground, 0.16f)},
    {"secondary pressed", "result-installed", [] { Press(ActionFinish); }, 300, 216, White(kBackground, 0.22f)},
    {"toggle", "welcome", Nothing, 296, 216, White(kBackground, 0.06f)},
    {"toggle open", "welcome-options", Nothing, 296, 216, White(kBackground, 0.10f)},
    {"toggle hovered", "welcome", [] { Hover(ActionCustomize); }, 296, 216, White(kBackground, 0.13f)},
    {"toggle pressed", "welcome", [] { Press(ActionCustomize); }, 296, 216, White(kBackground, 0.18f)},
    {"cancel is no toggle", "confirm-uninstall", Nothing, 262, 266, White(kBackground, 0.09f)},
    {"check box checked", "welcome-options", Nothing, 48, 308, White(kOptionsPanel, 0.88f)},
    {"check box checked hovered", "welcome-options", [] { Hover(ActionToggleAutoStart); }, 48, 308,
     White(kOptionsPanel, 0.96f)},
    {"check box unchecked", "welcome-options", [] { setupOptions.autoStart = false; }, 48, 308,
     White(kOptionsPanel, 0.09f)},
    {"check box unchecked hovered", "welcome-options",
     [] {
         setupOptions.autoStart = false;
         Hover(ActionToggleAutoStart);
     },
     48, 308, White(kOptionsPanel, 0.16f)},
    {"bar at 0", "progress-install", [] { Progress(0); }, BarEnd(0) - 3, 181, White(kTrack, 0.94f)},
    {"track after 0", "progress-install", [] { Progress(0); }, BarEnd(0) + 3, 181, kTrack},
    {"bar at 0.125", "progress-install", [] { Progress(0.125f); }, BarEnd(0.125f) - 3, 181, White(kTrack, 0.94f)},
    {"track after 0.125", "progress-install", [] { Progress(0.125f); }, BarEnd(0.125f) + 3, 181, kTrack},
    {"bar at 0.5", "progress-install", [] { Progress(0.5f); }, BarEnd(0.5f) - 3, 181, White(kTrack, 0.94f)},
    {"track after 0.5", "progress-install", [] { Progress(0.5f); }, BarEnd(0.5f) + 3, 181, kTrack},
    {"bar at 1.5 fills the track", "progress-install", [] { Progress(1.5f); }, 421, 181, White(kTrack, 0.94f)},
    {"nothing beyond the track", "progress-install", [] { Progress(1.5f); }, 427, 181, kBackground},
    {"uninstall bar", "progress-uninstall", [] { Progress(0.5f); }, BarEnd(0.5f) - 3, 181,
     Over(kTrack, 0.95f, 0.36f, 0.34f, 0.95f)},
    {"uninstall track", "progress-uninstall", [] { Progress(0.5f); }, BarEnd(0.5f) + 3, 181, kTrack},
    {"info dot", "welcome", Nothing, 145, 41, Over(kIslandBody, 0.36f, 0.68f, 1.00f, 0.95f)},
    {"info dot on progress", "progress-install", Nothing, 134, 41, Over(kIslandBody, 0.36f, 0.68f, 1.00f, 0.95f)},
    {"success dot", "result-installed", Nothing, 134, 41, Over(kIslandBody, 0.24f, 0.86f, 0.46f, 1)},
    {"success dot after uninstall", "result-uninstalled", Nothing, 134, 41, Over(kIslandBody, 0.24f, 0.86f, 0.46f, 1)},
    {"alert dot", "confirm-uninstall", Nothing, 145, 41, Over(kIslandBody, 0.96f, 0.34f, 0.30f, 1)},
    {"alert dot after failure", "result-install-failed", Nothing, 134, 41, Over(kIslandBody, 0.96f, 0.34f, 0.30f, 1)},
};

class PrimitivesTest : public testing::Test {
protected:
    void TearDown() override { ResetWindowState(); }
    void Draw(const char* scene, const std::function<void()>& state, uint32_t windowDpi) {
        ApplyScene(SceneNamed(scene));
        state();
        ASSERT_TRUE(window.Paint(windowDpi));
    }
    RenderWindow window;
};

TEST_F(PrimitivesTest, FillsHaveTheirStateColours) {
    for (const uint32_t windowDpi : {96u, 144u}) {
        for (const ColorCase& c : kColorCases) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(windowDpi));
            ASSERT_NO_FATAL_FAILURE(Draw(c.scene, c.state, windowDpi));
            const Pixel p = window.At(c.x, c.y);
            EXPECT_NEAR(p.r, c.expected.r, 3);
            EXPECT_NEAR(p.g, c.expected.g, 3);
            EXPECT_NEAR(p.b, c.expected.b, 3);
        }
    }
}

// The glow below the capsule takes the island's colour.
TEST_F(PrimitivesTest, IslandGlowFollowsTheState) {
    struct Case {
        const char* scene;
        std::function<bool(const Pixel&)> tinted;
    };
    const Case cases[] = {
        {"welcome", [](const Pixel& p) { return p.b > p.r + 8; }},
        {"result-installed", [](const Pixel& p) { return p.g > p.r + 8 && p.g > p.b; }},
        {"confirm-uninstall", [](const Pixel& p) { return p.r > p.g + 8; }},
        {"result-uninstall-failed", [](const Pixel& p) { return p.r > p.g + 8; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scene);
        ASSERT_NO_FATAL_FAILURE(Draw(c.scene, Nothing, 96));
        const Pixel p = window.At(230, 59.5f);
        EXPECT_TRUE(c.tinted(p)) << p.r << "," << p.g << "," << p.b;
    }
}

// Focus: a blue 1.5-DIP edge on the customise toggle, a white ring 2 DIPs
// outside every other button and the licence link. Looked for on a column
// across the top edge.
TEST_F(PrimitivesTest, FocusDrawsTheBlueToggleEdgeOrTheWhiteRing) {
    struct Case {
        const char* name;
        int32_t focused;
        float x, top, bottom;  // the column, DIPs
        std::function<bool(const Pixel&)> look;
    };
    const auto blue = [](const Pixel& p) { return p.b > 240 && p.r > 120 && p.r < 160 && p.g > 175; };
    const auto ring = [](const Pixel& p) { return p.r > 120 && abs(p.r - p.b) < 8; };
    const Case cases[] = {
        {"toggle", ActionCustomize, 358, 196, 202, blue},
        {"primary", ActionInstall, 150, 192, 198, ring},
        {"check box", ActionToggleAutoStart, 48, 300, 305, ring},
        {"licence link", ActionViewLicense, 230, 410, 414, ring},
    };
    for (const Case& c : cases) {
        for (const bool focused : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (focused ? " focused" : " not focused"));
            ASSERT_NO_FATAL_FAILURE(Draw(
                "welcome-options", [&] { focusedAction = focused ? c.focused : 0; }, 144));
            bool seen = false;
            for (float y = c.top; y < c.bottom; y += 96.0f / 144.0f) seen = seen || c.look(window.At(c.x, y));
            EXPECT_EQ(seen, focused);
        }
    }
}

}  // namespace

// --- high contrast ----------------------------------------------------------------

namespace {

// Whether `p` is one of the scheme's colours or lies between two of them, as
// antialiased text does between its colour and its background (shapes are
// not antialiased under Wine). `within` is the distance allowed for rounding.
bool IsSchemeColour(const ContrastScheme& scheme, const Pixel& p, float within) {
    for (const COLORREF a : scheme.colors) {
        for (const COLORREF b : scheme.colors) {
            const Pixel pa = PixelOf(a), pb = PixelOf(b);
            const float d[3] = {float(pb.r - pa.r), float(pb.g - pa.g), float(pb.b - pa.b)};
            const float v[3] = {float(p.r - pa.r), float(p.g - pa.g), float(p.b - pa.b)};
            const float length = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
            const float t = length > 0 ? std::clamp((v[0] * d[0] + v[1] * d[1] + v[2] * d[2]) / length, 0.0f, 1.0f) : 0;
            float off = 0;
            for (int i = 0; i < 3; ++i) off += (v[i] - t * d[i]) * (v[i] - t * d[i]);
            if (off <= within * within) return true;
        }
    }
    return false;
}

bool Same(const Pixel& p, COLORREF c) { return p.r == GetRValue(c) && p.g == GetGValue(c) && p.b == GetBValue(c); }

// Pixels of exactly `c` in the DIP rectangle.
int CountIn(const RenderWindow& window, const Rect& r, COLORREF c) {
    const float scale = float(dpi) / 96.0f;
    int count = 0;
    for (int y = int(r.top * scale); y < int(r.bottom * scale); ++y) {
        for (int x = int(r.left * scale); x < int(r.right * scale); ++x) count += Same(window.AtPixel(x, y), c);
    }
    return count;
}

class HighContrastTest : public PrimitivesTest {
protected:
    void TearDown() override {
        UseContrastScheme(nullptr);
        PrimitivesTest::TearDown();
    }
    // Pixels of the whole frame that are no colour of the scheme.
    int StrayPixels(const ContrastScheme& scheme) const {
        int stray = 0;
        for (uint32_t y = 0; y < window.height(); ++y) {
            for (uint32_t x = 0; x < window.width(); ++x) {
                stray += !IsSchemeColour(scheme, window.AtPixel(int(x), int(y)), 4);
            }
        }
        return stray;
    }
};

TEST_F(HighContrastTest, EveryPageUsesTheSystemColoursOnly) {
    for (const ContrastScheme& scheme : kContrastSchemes) {
        for (const uint32_t windowDpi : {96u, 144u}) {
            for (const RenderScene& scene : kRenderScenes) {
                SCOPED_TRACE(std::string(scene.name) + " " + scheme.name + " at " + std::to_string(windowDpi));
                ApplyScene(scene);
                UseContrastScheme(&scheme);
                ASSERT_TRUE(window.Paint(windowDpi));
                EXPECT_TRUE(Same(window.At(10, 150), scheme.colors[InkWindow])) << "background";
                EXPECT_TRUE(Same(window.At(230, 4), scheme.colors[InkWindow])) << "no glow at the top";
                EXPECT_GT(CountIn(window, Rect{28, 72, 432, 102}, scheme.colors[InkWindowText]), 20) << "title";
                EXPECT_EQ(StrayPixels(scheme), 0);
            }
        }
    }
}

// The check can fail: the window's own dark look is full of other colours.
TEST_F(HighContrastTest, TheDarkLookIsNoSchemeColour) {
    for (const ContrastScheme& scheme : kContrastSchemes) {
        SCOPED_TRACE(scheme.name);
        ApplyScene(SceneNamed("welcome-options"));
        UseContrastScheme(&scheme);
        highContrast = false;
        ASSERT_TRUE(window.Paint(96));
        EXPECT_GT(StrayPixels(scheme), 1000);
    }
}

// Every focusable element shows its focus in the highlight colour: more of
// it along its top edge (and the ring 2 DIPs above) than without focus.
TEST_F(HighContrastTest, FocusIsDrawnInTheHighlightColour) {
    const ContrastScheme& scheme = kContrastSchemes[0];
    const COLORREF highlight = scheme.colors[InkHighlight];
    for (const char* name : {"welcome-options", "maintenance", "confirm-uninstall", "result-installed", "license"}) {
        ApplyScene(SceneNamed(name));
        UseContrastScheme(&scheme);
        ASSERT_TRUE(window.Paint(96));
        const std::vector<HitTarget> targets = hitTargets;
        for (const HitTarget& t : targets) {
            if (t.id == ActionMinimize || t.id == ActionClose) continue;
            SCOPED_TRACE(std::string(name) + " target " + std::to_string(t.id));
            // A check box's ring is around its box, at the left of its row.
            const bool box = t.id >= ActionToggleAutoStart && t.id <= ActionToggleDeleteData;
            const float cx = box ? t.left + 8 : (t.left + t.right) / 2, top = box ? t.top + 4 : t.top;
            const Rect edge{cx - 6, top - 3, cx + 6, top + 2};
            int counts[2] = {};
            for (const bool focused : {false, true}) {
                focusedAction = focused ? t.id : ActionNone;
                ASSERT_TRUE(window.Paint(96));
                counts[focused] = CountIn(window, edge, highlight);
            }
            EXPECT_GT(counts[1], counts[0] + 10);
        }
    }
}

// Closing waits for a running operation: meanwhile its glyph is grey.
TEST_F(HighContrastTest, TheCloseButtonIsGreyWhileAnOperationRuns) {
    const ContrastScheme& scheme = kContrastSchemes[1];
    for (const bool running : {true, false}) {
        SCOPED_TRACE(running ? "running" : "not running");
        ApplyScene(SceneNamed("progress-install"));
        UseContrastScheme(&scheme);
        operationRunning = running;
        ASSERT_TRUE(window.Paint(96));
        const Rect close{431, 19, 441, 29}, minimize{400, 21, 412, 27};  // inside their borders
        EXPECT_EQ(CountIn(window, close, scheme.colors[InkGrayText]) > 10, running);
        EXPECT_EQ(CountIn(window, close, scheme.colors[InkWindowText]) > 10, !running);
        EXPECT_EQ(CountIn(window, minimize, scheme.colors[InkGrayText]), 0);
    }
}

// A new scheme while the window is open: WM_SYSCOLORCHANGE asks for a frame,
// which draws the new colours; WM_SETTINGCHANGE reads the theme again (off
// under Wine) and the dark look returns.
TEST_F(HighContrastTest, AChangeOfSchemeRepaintsTheOpenWindow) {
    ApplyScene(SceneNamed("welcome"));
    UseContrastScheme(&kContrastSchemes[0]);
    ASSERT_TRUE(window.Paint(96));
    EXPECT_TRUE(Same(window.At(10, 150), kContrastSchemes[0].colors[InkWindow]));

    ValidateRect(window.handle(), nullptr);
    SendMessageW(window.handle(), WM_SYSCOLORCHANGE, 0, 0);
    EXPECT_TRUE(GetUpdateRect(window.handle(), nullptr, FALSE)) << "WM_SYSCOLORCHANGE repaints";
    UseContrastScheme(&kContrastSchemes[1]);
    UpdateWindow(window.handle());
    EXPECT_TRUE(Same(window.At(10, 150), kContrastSchemes[1].colors[InkWindow]));
    EXPECT_GT(CountIn(window, Rect{28, 72, 432, 102}, kContrastSchemes[1].colors[InkWindowText]), 20);

    ValidateRect(window.handle(), nullptr);
    SendMessageW(window.handle(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    EXPECT_FALSE(highContrast) << "Wine reports high contrast off";
    UpdateWindow(window.handle());
    const Pixel p = window.At(10, 150);
    EXPECT_TRUE(abs(p.r - 14) <= 2 && abs(p.g - 14) <= 2 && abs(p.b - 17) <= 2) << "the dark background";
}

}  // namespace
