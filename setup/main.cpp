// Process entry of the setup program: one setup process per logon session,
// COM, the setup options, then either the silent operation or the window and
// its message loop.
#include "engine/install.h"
#include "engine/uninstall.h"
#include "setup/finishing.h"
#include "setup/owners.h"
#include "setup/product.h"
#include "setup/setup_options.h"
#include "setup/setup_state.h"
#include "setup/system_library.h"
#include "window/animation.h"
#include "window/setup_window.h"
#include "window/ui_state.h"
#include "window/window_math.h"

#include <windows.h>
#include <objbase.h>

#include <string>

namespace {

int RunSilent() {
    std::wstring errorText;  // not shown anywhere in silent mode
    const bool succeeded = setupOptions.uninstallMode ? RunUninstall(errorText) : RunInstall(errorText);
    StartSelfRemoval();
    CoUninitialize();
    return succeeded ? 0 : 1;
}

int RunWindow(HINSTANCE instance) {
    page = setupOptions.uninstallMode ? PageConfirmUninstall : existingInstall ? PageMaintenance : PageWelcome;
    windowHeight = targetWindowHeight = PageWindowHeight();

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS;  // tells the second press of a double click
    windowClass.lpfnWndProc = SetupWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = product::kWindowClass;
    if (!RegisterClassExW(&windowClass)) {
        CoUninitialize();
        return 1;
    }

    const UINT systemDpi = WindowDpi(nullptr);
    dpi = systemDpi ? systemDpi : 96;
    const int width = DipsToPixels(kWindowWidthDips);
    const int height = DipsToPixels(windowHeight);
    RECT workArea{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    // Centred, within the work area as every later move is.
    const int x = KeepInside(int(workArea.left + (workArea.right - workArea.left - width) / 2), width,
                             int(workArea.left), int(workArea.right));
    const int y = KeepInside(int(workArea.top + (workArea.bottom - workArea.top - height) / 2), height,
                             int(workArea.top), int(workArea.bottom));

    // No caption, no border, not resizable, visible at creation; the system
    // menu and minimise box give the taskbar button its behaviour.
    if (!CreateWindowExW(WS_EX_APPWINDOW, product::kWindowClass, product::kWindowTitle,
                         WS_POPUP | WS_VISIBLE | WS_SYSMENU | WS_MINIMIZEBOX, x, y, width, height, nullptr, nullptr,
                         instance, nullptr)) {
        CoUninitialize();
        return 1;
    }

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    CoUninitialize();
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystem32();
    SetPerMonitorDpiAwareness();

    // Held until return, and closed last of all, after CoUninitialize.
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, product::kMutexName));
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return 1;

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;

    std::wstring errorText;
    bool ready = ReadSetupOptions(errorText);
    // After the options, which change nothing, so that a silent run knows to
    // stay silent; before anything that would need the newer Windows.
    if (!IsSupportedWindows()) {
        errorText = L"Velmo Tulve needs Windows 10 version 1703 or later.";
        ready = false;
    }
    if (!ready) {
        if (!setupOptions.silent) MessageBoxW(nullptr, errorText.c_str(), product::kName, MB_OK | MB_ICONERROR);
        CoUninitialize();
        return 1;
    }
    return setupOptions.silent ? RunSilent() : RunWindow(instance);
}
