// The setup window's procedure. For now it keeps the window alive and
// correct as a window: it owns mainWindow, paints every frame, takes the
// progress channel's texts, refuses to close during an operation and runs the
// finishing step when it is destroyed.
#include "window/setup_window.h"

#include "render/render_surface.h"
#include "setup/finishing.h"
#include "setup/progress.h"
#include "window/ui_state.h"

#include <cstdlib>

namespace {

LRESULT OnCreate(HWND window) {
    mainWindow = window;
    const UINT windowDpi = GetDpiForWindow(window);
    dpi = windowDpi ? windowDpi : 96;
    return 0;
}

LRESULT OnClose(HWND window) {
    if (!operationRunning.load()) DestroyWindow(window);
    return 0;
}

LRESULT OnDestroy() {
    ReleaseRenderSurface();
    StartSelfRemoval();
    mainWindow = nullptr;
    PostQuitMessage(0);
    return 0;
}

LRESULT OnSetupProgress(HWND window, WPARAM code, LPARAM lParam) {
    wchar_t* text = reinterpret_cast<wchar_t*>(lParam);
    if (code <= 1000) {
        progressTarget = float(code) / 1000.0f;
        if (reducedMotion) progressShown = progressTarget;
        if (text) statusText = text;
    } else {
        operationRunning.exchange(false);
        operationSucceeded = code == kProgressSucceeded;
        errorText = text ? text : L"";
        page = PageResult;
    }
    free(text);
    InvalidateRect(window, nullptr, FALSE);
    return 0;
}

}  // namespace

LRESULT CALLBACK SetupWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    static const UINT queryPage = RegisterWindowMessageW(kQueryPageMessage);
    if (message == queryPage && queryPage != 0) return page;
    switch (message) {
    case WM_CREATE: return OnCreate(window);
    case WM_DESTROY: return OnDestroy();
    case WM_PAINT: PaintWindow(); return 0;
    case WM_CLOSE: return OnClose(window);
    case WM_ERASEBKGND: return 1;
    case WM_SETUP_PROGRESS: return OnSetupProgress(window, wParam, lParam);
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}
