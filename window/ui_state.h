// The setup window's vocabulary (pages, actions, operation kinds, hit
// targets) and its process-wide UI state, owned by the UI thread. The
// behaviour changes these fields; the painters read them.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum Page : int32_t {
    PageWelcome = 0,
    PageMaintenance = 1,
    PageConfirmUninstall = 2,
    PageProgress = 3,
    PageResult = 4,
    PageLicense = 5,
};

enum Action : int32_t {
    ActionNone = 0,
    ActionMinimize = 1,
    ActionClose = 2,
    ActionInstall = 3,
    ActionCustomize = 4,
    ActionUninstall = 5,
    ActionBrowse = 6,
    ActionToggleAutoStart = 7,
    ActionToggleShortcut = 8,
    ActionToggleLaunch = 9,
    ActionToggleDeleteData = 10,
    ActionViewLicense = 11,
    ActionBack = 12,
    ActionLaunch = 13,
    ActionFinish = 14,
    ActionRetry = 15,  // "Try again" after a failure: back to where the operation began
};

enum OperationKind : int32_t {
    OperationNone = 0,
    OperationInstall = 1,  // also an update over an existing installation
    OperationUninstall = 2,
};

// One clickable, focusable area of the last painted frame, in DIPs. Contains
// a point when left <= x < right and top <= y < bottom.
struct HitTarget {
    int32_t id = ActionNone;
    float left = 0, top = 0, right = 0, bottom = 0;
    const wchar_t* name = nullptr;  // what the element says, for assistive technology
};

// A text of the last painted frame that is no target's label, where it is
// drawn (DIPs), for assistive technology: frameTextChars[start, start +
// length).
struct FrameText {
    HitTarget area;  // where it is drawn; no action
    uint32_t start = 0, length = 0;
    uint32_t targetsBefore = 0;  // hitTargets drawn before it: its place in reading order
    bool document = false;       // the licence view, read as one read-only text
};

// Set by StartOperation, cleared by the final progress message; the only
// field shared with the worker thread.
extern std::atomic<bool> operationRunning;
extern uint32_t dpi;  // never 0
extern Page page;
extern Page returnPage;
extern int32_t operationKind;
extern bool customizeExpanded;
extern bool reducedMotion;
extern float windowHeight;        // DIPs, animated
extern float targetWindowHeight;  // DIPs
extern float progressTarget;      // 0..1, last reported
extern float progressShown;       // 0..1, as drawn
extern double animationClock;     // seconds
extern uint64_t lastTick;         // GetTickCount64 of the previous step
extern int32_t hoveredAction;
extern int32_t pressedAction;
extern int32_t focusedAction;
extern bool operationSucceeded;
extern bool operationIsUpdate;
extern std::wstring statusText;
extern std::wstring errorText;
extern std::wstring licenseText;
extern int32_t licenseScroll;  // DIPs, 0..licenseSteps[LicenseStepAll]
// The licence's scroll steps in DIPs, measured by its page's painter from
// the text's layout: a line, a page (the view less a line) and all the way
// (how far the text reaches below its view; 0 when it fits).
enum LicenseStep : int8_t { LicenseStepNone, LicenseStepLine, LicenseStepPage, LicenseStepAll };
extern int32_t licenseSteps[4];
extern std::vector<HitTarget> hitTargets;
// Emptied and refilled with hitTargets by every frame; no frame has more.
inline constexpr size_t kMaxFrameTexts = 16;
extern FrameText frameTexts[kMaxFrameTexts];
extern size_t frameTextCount;
extern std::wstring frameTextChars;
inline std::wstring_view FrameTextString(const FrameText& t) {
    return std::wstring_view(frameTextChars.data() + t.start, t.length);
}
// Windows has a high-contrast theme on: frames use the system colours only.
extern bool highContrast;
// Input that began before the page on screen was drawn was aimed at the page
// before it: presses and keys count only once the page has been painted and
// only if they began after the message that brought the page (its message
// time, on the clock of GetMessageTime).
extern bool pageDrawn;
// The window is minimised (its last WM_SIZE said so).
extern bool windowMinimized;
extern uint32_t pageChangedAt;

// The window height in DIPs for the current page and options panel.
float PageWindowHeight();

// InvalidateRect(mainWindow, NULL, FALSE): the next WM_PAINT draws the whole
// frame. Nothing without a window (a null window would invalidate them all).
void RequestRepaint();
