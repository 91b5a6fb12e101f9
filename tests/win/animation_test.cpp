// The height animation on a real setup window, one real WM_TIMER at a time;
// the test says how long after the previous one each comes.
#include "window/animation.h"
#include "setup/progress.h"
#include "tests/win/window_fixture.h"
#include "window/actions.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

int PixelHeight(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect.bottom - rect.top;
}

// KillTimer reports whether the timer was there.
bool TimerWasRunning(HWND window) { return KillTimer(window, AnimationTimerId) != 0; }

class AnimationTest : public WindowTest {
protected:
    // 16 ms ticks until the target is reached; every step keeps the top-left
    // corner, moves one way and sizes the window to the animated height.
    void AnimateToTarget() {
        RECT start{}, now{};
        GetWindowRect(window, &start);
        const float direction = targetWindowHeight > windowHeight ? 1.0f : -1.0f;
        for (int ticks = 0; windowHeight != targetWindowHeight; ++ticks) {
            ASSERT_LT(ticks, 100) << "never reached " << targetWindowHeight;
            const float before = windowHeight;
            Tick(window, 16);
            GetWindowRect(window, &now);
            EXPECT_TRUE(now.left == start.left && now.top == start.top);
            EXPECT_EQ(now.bottom - now.top, DipsToPixels(windowHeight));
            EXPECT_GT((windowHeight - before) * direction, 0.0f);
        }
    }
};

TEST_F(AnimationTest, AnimationStep_GrowsTo452AtAFixedCornerTurnsAroundWithoutAJumpAndStopsItsTimer) {
    OpenWindow(PageWelcome);
    DispatchAction(ActionCustomize);
    EXPECT_EQ(windowHeight, 316.0f) << "the action moves only the target";
    AnimateToTarget();
    EXPECT_EQ(windowHeight, 452.0f);
    EXPECT_EQ(PixelHeight(window), 452);
    EXPECT_FALSE(TimerWasRunning(window));

    DispatchAction(ActionCustomize);
    for (int i = 0; i < 4; ++i) Tick(window, 16);
    const float turningPoint = windowHeight;
    DispatchAction(ActionCustomize);
    EXPECT_EQ(windowHeight, turningPoint);
    ASSERT_NO_FATAL_FAILURE(AnimateToTarget());
    EXPECT_EQ(PixelHeight(window), 452);
    EXPECT_FALSE(TimerWasRunning(window));
}

// A minimised window comes back with the size it had: the animation waits.
TEST_F(AnimationTest, AnimationStep_WaitsWhileMinimisedAndEndsAtTheFinalHeightAfterTheRestore) {
    OpenWindow(PageWelcome);
    DispatchAction(ActionCustomize);
    Tick(window, 16);
    const float minimisedAt = windowHeight;
    DispatchAction(ActionMinimize);
    ASSERT_TRUE(IsIconic(window));
    for (int ticks = 0; ticks < 30; ++ticks) Tick(window, 16);
    EXPECT_EQ(windowHeight, minimisedAt);
    ShowWindow(window, SW_RESTORE);
    PumpMessages();
    ASSERT_NO_FATAL_FAILURE(AnimateToTarget());
    EXPECT_EQ(PixelHeight(window), 452);
}

// A 2 s stall counts as 0.05 s: 0.8 of the height's way (16/s), half of the
// progress's (10/s). On the progress page the timer keeps running.
TEST_F(AnimationTest, AnimationStep_CountsAStallAsFiftyMillisecondsAndRunsOnDuringAnOperation) {
    OpenWindow(PageWelcome);
    DispatchAction(ActionCustomize);
    Tick(window, 2000);
    EXPECT_DOUBLE_EQ(animationClock, double(0.05f));
    EXPECT_FLOAT_EQ(windowHeight, 316.0f + 136.0f * 0.8f);

    page = PageProgress;
    UpdateWindowHeight(true);
    progressTarget = 1.0f;
    for (const float expected : {0.5f, 0.75f, 0.875f}) {
        Tick(window, 2000);
        EXPECT_FLOAT_EQ(progressShown, expected);
    }
    EXPECT_TRUE(TimerWasRunning(window));
}

// Near the bottom of the work area the window grows upwards as far as it
// must, every step inside; on a work area too low for the page its top edge
// stays at the area's top, and the licence page, which scrolls, takes the
// area's height (at 192 DPI on a 1280 x 800 screen, 800 of its 904 pixels).
TEST_F(AnimationTest, UpdateWindowHeight_KeepsTheWindowInsideTheWorkAreaOfItsMonitor) {
    struct Case {
        SIZE screen;  // display mode; zero for the test desktop as it is
        uint32_t dpi;
        Page page;
        int top;                 // where the window starts, from the area's top
        int height, finalTop;    // pixels; from the area's top
    };
    const Case cases[] = {
        {{0, 0}, 96, PageWelcome, 650, 452, 1024 - 452},
        {{0, 0}, 96, PageWelcome, 200, 452, 200},
        {{0, 0}, 96, PageLicense, 700, 452, 1024 - 452},
        {{1280, 800}, 192, PageWelcome, 84, 904, 0},
        {{1280, 800}, 192, PageLicense, 84, 800, 0},
        {{1280, 800}, 144, PageLicense, 200, 678, 800 - 678},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.screen.cx << "x" << c.screen.cy << " at " << c.dpi << " page " << c.page);
        std::optional<ScopedDisplayMode> mode;
        if (c.screen.cx) {
            mode.emplace(DWORD(c.screen.cx), DWORD(c.screen.cy));
            ASSERT_TRUE(mode->applied());
        }
        ResetUiState();
        OpenWindow(PageWelcome);
        const RECT area = MonitorWorkArea(window);
        ASSERT_EQ(area.bottom - area.top, c.screen.cy ? c.screen.cy : 1024);
        dpi = c.dpi;
        UpdateWindowHeight(true);
        SetWindowPos(window, nullptr, area.left + 100, area.top + c.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        if (c.page == PageLicense) {
            DispatchAction(ActionViewLicense);
        } else {
            DispatchAction(ActionCustomize);
        }
        for (int ticks = 0; windowHeight != targetWindowHeight; ++ticks) {
            ASSERT_LT(ticks, 100);
            Tick(window, 16);
            RECT now{};
            GetWindowRect(window, &now);
            EXPECT_GE(now.top, area.top);
            EXPECT_TRUE(now.bottom <= area.bottom || now.top == area.top) << now.top << ".." << now.bottom;
            EXPECT_EQ(now.left, area.left + 100);
        }
        RECT now{};
        GetWindowRect(window, &now);
        EXPECT_EQ(now.bottom - now.top, c.height);
        EXPECT_EQ(now.top - area.top, c.finalTop);
        CloseWindow();
    }
}

TEST_F(AnimationTest, ReducedMotion_HeightAndProgressJumpAndNoTimerRuns) {
    OpenWindow(PageWelcome);
    reducedMotion = true;
    DispatchAction(ActionViewLicense);
    EXPECT_EQ(PixelHeight(window), 452);
    EXPECT_FALSE(TimerWasRunning(window));

    operationRunning = true;  // progress is taken only from a running operation
    page = PageProgress;
    StartAnimation();
    Progress(window, 500);
    EXPECT_EQ(progressShown, 0.5f);
    EXPECT_FALSE(TimerWasRunning(window)) << "not even on the progress page";
    Progress(window, kProgressFailed);
}

}  // namespace
