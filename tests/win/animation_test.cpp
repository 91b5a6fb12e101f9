// The height animation on a real setup window, one real WM_TIMER at a time;
// the test says how long after the previous one each comes.
#include "window/animation.h"
#include "setup/progress.h"
#include "tests/win/window_fixture.h"
#include "window/actions.h"

#include <gtest/gtest.h>

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
