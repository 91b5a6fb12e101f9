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
// outside every other button. Looked for on a column across the top edge.
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
