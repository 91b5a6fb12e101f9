#include "setup/progress.h"

#include "setup/setup_state.h"

#include <cmath>
#include <cstdlib>
#include <cwchar>

std::atomic<HWND> mainWindow{nullptr};

void PostProgressMessage(WPARAM code, const wchar_t* text) {
    const HWND window = mainWindow.load();
    if (!window) return;
    wchar_t* copy = text ? _wcsdup(text) : nullptr;
    if (!PostMessageW(window, WM_SETUP_PROGRESS, code, reinterpret_cast<LPARAM>(copy))) free(copy);
}

void PostProgress(float fraction, const wchar_t* text) {
    if (setupOptions.silent || !mainWindow.load()) return;
    if (fraction < 0.0f) fraction = 0.0f;
    if (fraction > 1.0f) fraction = 1.0f;
    // NaN passes both tests; it is reported as 0.
    const WPARAM thousandths = std::isnan(fraction) ? 0 : WPARAM(lroundf(fraction * 1000.0f));
    PostProgressMessage(thousandths, text);
}
