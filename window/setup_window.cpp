// The setup window's procedure: one handler per message. Every handler runs
// on the UI thread and returns at once; the operation itself runs on the
// worker of StartOperation, which talks back only through WM_SETUP_PROGRESS.
#include "window/setup_window.h"

#include "render/render_surface.h"
#include "setup/finishing.h"
#include "setup/owners.h"
#include "setup/progress.h"
#include "setup/setup_state.h"
#include "setup/system_library.h"
#include "window/accessibility.h"
#include "window/actions.h"
#include "window/animation.h"
#include "window/ui_state.h"
#include "window/window_math.h"

#include <windowsx.h>

#include <cstdlib>

namespace {

constexpr LPARAM kRepeatBit = LPARAM(1) << 30;

float PixelsToDips(int pixels) { return float(pixels) * 96.0f / float(dpi); }

// The target under a client position packed as in mouse messages.
int32_t HitTestAt(LPARAM position) {
    return HitTest(PixelsToDips(GET_X_LPARAM(position)), PixelsToDips(GET_Y_LPARAM(position)));
}

// Whether input that began at `time` (a message time) was aimed at the page
// on screen: the page has been drawn and the input began after the message
// that brought the page.
bool IsForThisPage(DWORD time) { return pageDrawn && LONG(time - pageChangedAt) > 0; }

// When the press began: a double click begins with its first press.
DWORD pressBegan;
// Likewise for keys: the same key again within the double-click time, with
// no other key between, continues the gesture of its first press (a double
// Enter is one gesture).
WPARAM lastKey;
DWORD lastKeyAt, keyBegan;

// Dark frame, rounded corners and a #34363E border where DWM knows them.
// dwmapi is not a known DLL, so it comes from System32 at run time.
void ApplyFrameAttributes(HWND window) {
    using SetWindowAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
    // Stays loaded: a system DLL, asked for once.
    const auto setAttribute = SystemProc<SetWindowAttribute>(LoadSystemLibrary(L"dwmapi.dll"), "DwmSetWindowAttribute");
    if (!setAttribute) return;
    // DWMWA_USE_IMMERSIVE_DARK_MODE, DWMWA_WINDOW_CORNER_PREFERENCE (round),
    // DWMWA_BORDER_COLOR (a COLORREF).
    static constexpr DWORD kAttributes[][2] = {{20, 1}, {33, 2}, {34, 0x003E3634}};
    for (const auto& attribute : kAttributes) setAttribute(window, attribute[0], &attribute[1], sizeof(DWORD));
}

LRESULT OnCreate(HWND window) {
    mainWindow = window;
    const UINT windowDpi = WindowDpi(window);
    dpi = windowDpi ? windowDpi : 96;
    lastTick = GetTickCount64();
    pageChangedAt = DWORD(lastTick);  // never later than a message time of now
    lastKey = 0;
    ApplyFrameAttributes(window);
    SendMessageW(window, WM_SETTINGCHANGE, 0, 0);
    return 0;
}

LRESULT OnDestroy(HWND window) {
    KillTimer(window, AnimationTimerId);
    ReleaseRenderSurface();
    ReleaseAccessibleObject();
    StartSelfRemoval();
    mainWindow = nullptr;
    PostQuitMessage(0);
    return 0;
}

// Escape, Alt+F4, the close button and "Done" all end here.
LRESULT OnClose(HWND window) {
    if (!operationRunning.load()) DestroyWindow(window);
    return 0;
}

LRESULT OnSettingChange() {
    // A theme change comes as a setting change too; the system colours
    // themselves are read by every frame.
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof(contrast);
    if (SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0)) {
        highContrast = (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
        RequestRepaint();
    }
    BOOL enabled = TRUE;
    if (!SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &enabled, 0)) return 0;
    reducedMotion = !enabled;
    StartAnimation();
    RequestRepaint();
    return 0;
}

// Everything but a target drags the window; there is no resize border.
LRESULT OnNcHitTest(HWND window, LPARAM lParam) {
    // A borderless popup: its client area is its window rectangle.
    RECT rect{};
    GetWindowRect(window, &rect);
    return HitTestAt(MAKELPARAM(GET_X_LPARAM(lParam) - rect.left, GET_Y_LPARAM(lParam) - rect.top)) ? HTCLIENT
                                                                                                    : HTCAPTION;
}

// What Enter does on each page when nothing has the focus.
int32_t EnterAction() {
    switch (page) {
        case PageWelcome:
        case PageMaintenance: return ActionInstall;
        case PageConfirmUninstall: return ActionUninstall;
        // After a failure "Try again": Escape still closes.
        case PageResult:
            return !operationSucceeded                  ? ActionRetry
                   : operationKind == OperationInstall ? ActionLaunch
                                                       : ActionFinish;
        case PageLicense: return ActionBack;
        case PageProgress: break;
    }
    return ActionNone;
}

void OnEscape(HWND window) {
    if (page == PageLicense) {
        DispatchAction(ActionBack);
    } else if (page == PageConfirmUninstall) {
        DispatchAction(ActionCustomize);  // as "Cancel"
    } else if (customizeExpanded && (page == PageWelcome || page == PageMaintenance)) {
        DispatchAction(ActionCustomize);  // closes the options panel
    } else {
        OnClose(window);
    }
}

// Within the licence's text: a licence that fits does not scroll.
void ScrollLicenseBy(int32_t step) {
    licenseScroll = ScrollLicense(licenseScroll, step, licenseSteps[LicenseStepAll]);
    RequestRepaint();
}

LRESULT OnKeyDown(HWND window, WPARAM key, LPARAM lParam) {
    const DWORD time = DWORD(GetMessageTime());
    if (key != lastKey || time - lastKeyAt > GetDoubleClickTime()) keyBegan = time;
    lastKey = key;
    lastKeyAt = time;
    if (!IsForThisPage(keyBegan)) return 0;
    const bool repeat = (lParam & kRepeatBit) != 0;
    switch (key) {
        case VK_TAB: CycleFocus(GetKeyState(VK_SHIFT) < 0); break;  // held Tab keeps moving
        case VK_SPACE:
        case VK_RETURN:
            if (repeat) break;
            // Never on a target that is not on screen.
            if (FocusIsDrawn()) {
                DispatchAction(focusedAction);
            } else if (key == VK_RETURN && focusedAction == ActionNone) {
                if (const int32_t action = EnterAction()) DispatchAction(action);
            }
            break;
        case VK_ESCAPE: OnEscape(window); break;
        default:
            // The licence's own keys; held, they repeat.
            if (page == PageLicense && key >= VK_PRIOR && key <= VK_DOWN) {
                // Page Up, Page Down, End, Home, Left, Up, Right, Down: the
                // step and its direction.
                static constexpr int8_t kSteps[] = {-LicenseStepPage, LicenseStepPage, LicenseStepAll,
                                                    -LicenseStepAll,  0, -LicenseStepLine, 0, LicenseStepLine};
                const int step = kSteps[key - VK_PRIOR];
                ScrollLicenseBy(step < 0 ? -licenseSteps[-step] : licenseSteps[step]);
            }
            break;
    }
    return 0;
}

LRESULT OnMouseMove(HWND window, LPARAM position) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
    TrackMouseEvent(&track);
    const int32_t id = HitTestAt(position);
    if (id != hoveredAction) {
        hoveredAction = id;
        RequestRepaint();
    }
    return 0;
}

LRESULT OnMouseLeave() {
    if (hoveredAction != ActionNone) {
        hoveredAction = ActionNone;
        RequestRepaint();
    }
    return 0;
}

// WM_LBUTTONDOWN, or WM_LBUTTONDBLCLK for the second press of a double click
// (the class has CS_DBLCLKS: the system's own time and distance decide).
LRESULT OnLButtonDown(HWND window, UINT message, LPARAM position) {
    SetFocus(window);
    if (message == WM_LBUTTONDOWN) pressBegan = DWORD(GetMessageTime());
    pressedAction = IsForThisPage(pressBegan) ? HitTestAt(position) : ActionNone;
    if (pressedAction != ActionNone) SetCapture(window);
    RequestRepaint();
    return 0;
}

// A click fires when the button goes down and comes up over the same target.
LRESULT OnLButtonUp(LPARAM position) {
    const int32_t id = pressedAction;
    pressedAction = ActionNone;
    // Only this window can hold this thread's capture: no GetCapture test.
    ReleaseCapture();
    if (id != ActionNone && id == HitTestAt(position))
        DispatchAction(id);  // it repaints itself
    else
        RequestRepaint();
    return 0;
}

LRESULT OnMouseWheel(WPARAM wParam) {
    // One notch (120) scrolls 30 DIPs; turning it towards the user moves
    // the text up.
    if (page == PageLicense) ScrollLicenseBy(-GET_WHEEL_DELTA_WPARAM(wParam) / 4);
    return 0;
}

LRESULT OnDpiChanged(HWND window, WPARAM wParam, LPARAM lParam) {
    dpi = HIWORD(wParam) ? HIWORD(wParam) : 96;
    // Only the suggested corner is used; the size follows our own height
    // (and the licence page's the work area's, which has other DIPs now),
    // within the work area.
    if (const RECT* suggested = reinterpret_cast<const RECT*>(lParam)) {
        SetWindowPos(window, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RefreshWindow(page);
    return 0;
}

void CompleteOperation(WPARAM code, const wchar_t* text) {
    operationRunning.exchange(false);
    operationSucceeded = code == kProgressSucceeded;
    if (!operationSucceeded) errorText = text ? text : L"Setup could not complete the operation.";
    progressTarget = progressShown = 1.0f;
    const Page previous = page;
    page = PageResult;
    focusedAction = ActionNone;
    if (operationSucceeded) {
        if (operationKind == OperationUninstall) {
            statusText = L"Velmo Tulve has been removed from this PC.";
        } else {
            statusText = operationIsUpdate ? L"Velmo Tulve updated successfully." : L"Installed to ";
            if (!operationIsUpdate) statusText += setupOptions.installDir;
            if (setupOptions.launchWhenFinished) LaunchApplication();  // the window stays open
        }
    }
    RefreshWindow(previous);
}

LRESULT OnSetupProgress(WPARAM code, LPARAM lParam) {
    // Only the running operation's worker posts this. Another program can
    // post the same number to this window, but its lParam is no string of
    // this process: it is neither read nor freed, and no result is shown
    // for an operation that never ran.
    if (!operationRunning.load()) return 0;
    wchar_t* const text = reinterpret_cast<wchar_t*>(lParam);
    if (code <= 1000) {
        progressTarget = float(code) / 1000.0f;
        if (reducedMotion) progressShown = progressTarget;
        if (text) statusText = text;
        RequestRepaint();
    } else {
        CompleteOperation(code, text);
    }
    free(text);
    return 0;
}

LRESULT OnQuery(WPARAM what) {
    if (what == 0) return page;
    if (what == kQueryFocus) return focusedAction;
    if (what == kQueryLicenseScroll) return licenseScroll;
    for (const HitTarget& target : hitTargets) {
        if (target.id != int32_t(what)) continue;
        return MAKELRESULT(DipsToPixels((target.left + target.right) / 2),
                           DipsToPixels((target.top + target.bottom) / 2));
    }
    return -1;
}

}  // namespace

LRESULT CALLBACK SetupWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    static const UINT query = RegisterWindowMessageW(kQueryPageMessage);
    // Registered messages are not constants; 0 is a failed registration.
    if (message == query && query != 0) return OnQuery(wParam);
    switch (message) {
        case WM_CREATE: return OnCreate(window);
        case WM_DESTROY: return OnDestroy(window);
        case WM_PAINT:
            PaintWindow();
            pageDrawn = true;
            NotifyAccessibilityChanges();
            return 0;
        case WM_GETOBJECT: return AnswerGetObject(window, wParam, lParam);
        case WM_SETUP_ACCESSIBLE_ACTION:
            // Asked for on the page in lParam; on another it would act blind.
            if (lParam == page) DispatchAction(int32_t(wParam));
            return 0;
        case WM_CLOSE: return OnClose(window);
        case WM_ERASEBKGND: return 1;
        case WM_SETTINGCHANGE: return OnSettingChange();
        case WM_SYSCOLORCHANGE: RequestRepaint(); return 0;
        case WM_SIZE: windowMinimized = wParam == SIZE_MINIMIZED; return 0;
        case WM_NCHITTEST: return OnNcHitTest(window, lParam);
        case WM_KEYDOWN: return OnKeyDown(window, wParam, lParam);
        case WM_TIMER:
            if (wParam == AnimationTimerId) AnimationStep();
            return 0;
        case WM_MOUSEMOVE: return OnMouseMove(window, lParam);
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: return OnLButtonDown(window, message, lParam);
        case WM_LBUTTONUP: return OnLButtonUp(lParam);
        case WM_MOUSEWHEEL: return OnMouseWheel(wParam);
        case WM_MOUSELEAVE: return OnMouseLeave();
        case WM_DPICHANGED: return OnDpiChanged(window, wParam, lParam);
        case WM_SETUP_PROGRESS: return OnSetupProgress(wParam, lParam);
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}
