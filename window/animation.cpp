#include "window/animation.h"

#include "setup/progress.h"
#include "window/ui_state.h"
#include "window/window_math.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr UINT kTimerPeriodMs = 16;
// A late or stalled tick counts as at most 50 ms, so one step never jumps
// more than 0.8 of the way.
constexpr float kShortestStep = 0.001f;
constexpr float kLongestStep = 0.05f;
constexpr float kHeightRate = 16.0f;    // per second
constexpr float kProgressRate = 10.0f;  // per second
constexpr float kSnapDistance = 0.4f;   // DIPs
// The licence page on a short work area: as high as the other pages at least.
constexpr float kShortestLicensePage = 316.0f;

}  // namespace

int DipsToPixels(float dips) { return int(lroundf(float(dpi) * dips / 96.0f)); }

void UpdateWindowHeight(bool snap) {
    const HWND window = mainWindow;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    // The monitor the window is on (most of it), or the nearest one.
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& area = monitor.rcWork;
    targetWindowHeight = PageWindowHeight();
    // The licence scrolls, so its page fits a short work area too.
    if (page == PageLicense) {
        targetWindowHeight = FitHeight(targetWindowHeight, kShortestLicensePage, area.bottom - area.top, dpi);
    }
    if (snap || reducedMotion) windowHeight = targetWindowHeight;
    if (!window) return;
    RECT rect{};
    GetWindowRect(window, &rect);
    const int width = DipsToPixels(kWindowWidthDips), height = DipsToPixels(windowHeight);
    // The top edge stays where it is unless the window would leave the work
    // area; then it moves in, but a window taller than the work area keeps
    // its top edge in it.
    if (rect.right - rect.left != width || rect.bottom - rect.top != height) {
        SetWindowPos(window, nullptr, KeepInside(rect.left, width, area.left, area.right),
                     KeepInside(rect.top, height, area.top, area.bottom), width, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void StartAnimation() {
    if (reducedMotion) {
        progressShown = progressTarget;
        UpdateWindowHeight(true);
    }
    // Without a window SetTimer would make a thread timer under a new id.
    const HWND window = mainWindow;
    if (!window) return;
    KillTimer(window, AnimationTimerId);
    if (!reducedMotion && (windowHeight != targetWindowHeight || page == PageProgress)) {
        lastTick = GetTickCount64();
        SetTimer(window, AnimationTimerId, kTimerPeriodMs, nullptr);
    }
}

void AnimationStep() {
    const ULONGLONG now = GetTickCount64();
    const float dt = std::clamp(float(now - lastTick) / 1000.0f, kShortestStep, kLongestStep);
    lastTick = now;
    // SetWindowPos does not reach the size a minimised window comes back
    // with: the animation waits for the restore.
    if (windowMinimized) return;
    animationClock += dt;

    // Exponential approach, and exactly onto the target once within 0.4.
    const float distance = targetWindowHeight - windowHeight;
    if (distance != 0.0f) {
        windowHeight = (distance > kSnapDistance || distance < -kSnapDistance)
                           ? windowHeight + distance * std::min(kHeightRate * dt, 1.0f)
                           : targetWindowHeight;
        UpdateWindowHeight(false);
    }

    if (page == PageProgress) {
        progressShown += (progressTarget - progressShown) * std::min(kProgressRate * dt, 1.0f);
    } else if (windowHeight == targetWindowHeight) {
        KillTimer(mainWindow, AnimationTimerId);
    }
    RequestRepaint();
}
