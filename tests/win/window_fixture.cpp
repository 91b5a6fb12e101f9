#include "tests/win/window_fixture.h"

#include "setup/product.h"
#include "setup/progress.h"
#include "window/animation.h"
#include "window/setup_window.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>

namespace {

constexpr DWORD kOperationTimeoutMs = 30000;
int finalCount = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETUP_PROGRESS && wParam > 1000) ++finalCount;
    return SetupWindowProc(window, message, wParam, lParam);
}

LPARAM Position(POINT point) { return MAKELPARAM(point.x, point.y); }

void SetShift(BYTE state) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = state;
    SetKeyboardState(keys);
}

}  // namespace

void ResetUiState() {
    operationRunning = false;
    dpi = 96;
    page = returnPage = PageWelcome;
    operationKind = OperationNone;
    customizeExpanded = reducedMotion = operationIsUpdate = windowMinimized = false;
    windowHeight = targetWindowHeight = 316.0f;
    progressTarget = progressShown = 0.0f;
    animationClock = 0.0;
    lastTick = 0;
    hoveredAction = pressedAction = focusedAction = ActionNone;
    operationSucceeded = true;
    statusText.clear();
    errorText.clear();
    licenseText.clear();
    licenseScroll = 0;
    hitTargets.clear();
    pageDrawn = false;
    pageChangedAt = 0;
}

void WindowTest::SetUp() {
    EngineTest::SetUp();
    ResetUiState();
    finalCount = 0;
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = CountingProc;  // counts, then the setup procedure
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = product::kWindowClass;
        return RegisterClassExW(&windowClass) != 0;
    }();
    ASSERT_TRUE(registered);
}

void WindowTest::TearDown() {
    EXPECT_TRUE(WaitForOperationEnd()) << "the operation never ended";
    CloseWindow();
    ResetUiState();
    EngineTest::TearDown();
}

void WindowTest::OpenWindow(Page first) {
    page = first;
    windowHeight = targetWindowHeight = PageWindowHeight();
    dpi = GetDpiForSystem() ? GetDpiForSystem() : 96;
    window =
        CreateWindowExW(WS_EX_APPWINDOW, product::kWindowClass, product::kWindowTitle,
                        WS_POPUP | WS_VISIBLE | WS_SYSMENU | WS_MINIMIZEBOX, 100, 100, DipsToPixels(kWindowWidthDips),
                        DipsToPixels(windowHeight), nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(mainWindow.load(), window);
    PumpMessages();
}

void WindowTest::CloseWindow() {
    if (WindowAlive()) DestroyWindow(window);
    PumpMessages();
}

int WindowTest::finalMessages() const { return finalCount; }

// Posted and sent messages and input only: the animation timer and the
// repaints it asks for would never let the queue run dry on the progress
// page. Tests tick and paint explicitly.
constexpr UINT kQueued = QS_POSTMESSAGE | QS_SENDMESSAGE | QS_INPUT;

void PumpMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | (kQueued << 16))) {
        if (message.message != WM_QUIT) DispatchMessageW(&message);
    }
}

void Paint(HWND window) { RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); }

bool TargetCentre(HWND window, int32_t id, POINT& centre) {
    Paint(window);
    for (const HitTarget& t : hitTargets) {
        if (t.id != id) continue;
        centre = {DipsToPixels((t.left + t.right) / 2), DipsToPixels((t.top + t.bottom) / 2)};
        return true;
    }
    return false;
}

void Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    PostMessageW(window, message, wParam, lParam);
    MSG posted{};
    while (PeekMessageW(&posted, window, message, message, PM_REMOVE)) DispatchMessageW(&posted);
}

void Press(HWND window, POINT down, POINT up, UINT message) {
    Deliver(window, WM_MOUSEMOVE, 0, Position(down));
    Deliver(window, message, MK_LBUTTON, Position(down));
    Deliver(window, WM_MOUSEMOVE, MK_LBUTTON, Position(up));
    Deliver(window, WM_LBUTTONUP, 0, Position(up));
}

void Click(HWND window, int32_t id) {
    POINT centre{};
    if (TargetCentre(window, id, centre))
        Press(window, centre, centre);
    else
        ADD_FAILURE() << "no target " << id << " painted on page " << page;
}

void Key(HWND window, UINT key, bool repeat) {
    Paint(window);  // keys act on what is on screen
    Deliver(window, WM_KEYDOWN, key, 1 | (repeat ? LPARAM(1) << 30 : 0));
}

namespace {
ULONGLONG tickClock;
ULONGLONG WINAPI TickClock() { return tickClock; }
}  // namespace

void Tick(HWND window, ULONGLONG elapsedMs) {
    // The step reads the time from this clock, not from the machine's: a
    // preempted test cannot make it longer.
    ScopedImportPatch clock("kernel32.dll", "GetTickCount64", reinterpret_cast<void*>(TickClock));
    EXPECT_TRUE(clock.ok());
    tickClock = lastTick + elapsedMs;
    SendMessageW(window, WM_TIMER, AnimationTimerId, 0);
}

void Progress(HWND window, WPARAM code, const wchar_t* text) {
    SendMessageW(window, WM_SETUP_PROGRESS, code, reinterpret_cast<LPARAM>(text ? _wcsdup(text) : nullptr));
}

bool WaitForOperationEnd() {
    const ULONGLONG deadline = GetTickCount64() + kOperationTimeoutMs;
    while (operationRunning.load()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(deadline - now), kQueued);
        PumpMessages();
    }
    return true;
}

namespace {
WorkerThreads* countingThreads;
HANDLE WINAPI CountingCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                                   LPVOID parameter, DWORD flags, LPDWORD id) {
    static const auto create = reinterpret_cast<decltype(&CreateThread)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateThread")));
    const HANDLE thread = create(security, stack, start, parameter, flags, id);
    HANDLE kept = nullptr;
    if (thread && DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &kept, SYNCHRONIZE, FALSE, 0)) {
        countingThreads->Keep(kept);
    }
    return thread;
}
}  // namespace

WorkerThreads::WorkerThreads()
    : patch_("kernel32.dll", "CreateThread", reinterpret_cast<void*>(CountingCreateThread)) {
    EXPECT_TRUE(patch_.ok());
    countingThreads = this;
}

WorkerThreads::~WorkerThreads() { countingThreads = nullptr; }

bool WorkerThreads::WaitForAllToEnd() const {
    for (const UniqueHandle& thread : started_) {
        if (WaitForSingleObject(thread.get(), kOperationTimeoutMs) != WAIT_OBJECT_0) return false;
    }
    return true;
}

ShiftHeld::ShiftHeld() { SetShift(0x80); }
ShiftHeld::~ShiftHeld() { SetShift(0); }
