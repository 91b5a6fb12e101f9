#include "window/ui_state.h"

#include "setup/progress.h"

std::atomic<bool> operationRunning{false};
uint32_t dpi = 96;
Page page = PageWelcome;
Page returnPage = PageWelcome;
int32_t operationKind = OperationNone;
bool customizeExpanded = false;
bool reducedMotion = false;
float windowHeight = 316.0f;
float targetWindowHeight = 316.0f;
float progressTarget = 0.0f;
float progressShown = 0.0f;
double animationClock = 0.0;
uint64_t lastTick = 0;
int32_t hoveredAction = ActionNone;
int32_t pressedAction = ActionNone;
int32_t focusedAction = ActionNone;
bool operationSucceeded = true;
bool operationIsUpdate = false;
std::wstring statusText;
std::wstring errorText;
std::wstring licenseText;
int32_t licenseScroll = 0;
int32_t licenseSteps[4] = {};
std::vector<HitTarget> hitTargets;
FrameText frameTexts[kMaxFrameTexts];
size_t frameTextCount = 0;
std::wstring frameTextChars;
bool highContrast = false;
bool pageDrawn = false;
bool windowMinimized = false;
uint32_t pageChangedAt = 0;

float PageWindowHeight() {
    switch (page) {
    case PageWelcome:
    case PageMaintenance: return customizeExpanded ? 452.0f : 316.0f;
    case PageConfirmUninstall: return 326.0f;
    case PageLicense: return 452.0f;
    case PageProgress:
    case PageResult: break;
    }
    return 316.0f;
}

void RequestRepaint() {
    if (const HWND window = mainWindow) InvalidateRect(window, nullptr, FALSE);
}
