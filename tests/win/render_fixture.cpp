#include "tests/win/render_fixture.h"

#include "render/render_surface.h"
#include "setup/progress.h"
#include "setup/setup_state.h"
#include "tests/win/test_support.h"
#include "window/setup_window.h"

#include <cmath>

namespace {

constexpr wchar_t kWindowClass[] = L"VelmoTulveSetupWindow";
constexpr wchar_t kInstallDir[] = L"C:\\Users\\Ada\\AppData\\Local\\Programs\\Velmo Tulve";

void RegisterSetupClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = SetupWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    registered = RegisterClassExW(&windowClass) != 0;
}

const std::wstring& LicenseTextOfTheBuild() {
    static const std::wstring text = Widen(ReadFileBytes(Widen(VT_LICENSE_PATH)));
    return text;
}

DIBSECTION FrameBits() {
    DIBSECTION section{};
    if (!renderSurface.dibSection || !GetObjectW(renderSurface.dibSection, sizeof(section), &section)) return {};
    return section;
}

}  // namespace

const ContrastScheme kContrastSchemes[2] = {
    {"black",
     {RGB(0, 0, 0), RGB(255, 255, 255), RGB(0, 0, 0), RGB(255, 255, 255), RGB(26, 235, 255), RGB(0, 0, 0),
      RGB(255, 255, 0), RGB(63, 242, 63)}},
    {"white",
     {RGB(255, 255, 255), RGB(0, 0, 0), RGB(255, 255, 255), RGB(0, 0, 0), RGB(55, 0, 110), RGB(255, 255, 255),
      RGB(0, 0, 159), RGB(96, 0, 0)}},
};

void UseContrastScheme(const ContrastScheme* scheme) {
    static constexpr INT kElements[kSystemInkCount] = {COLOR_WINDOW,   COLOR_WINDOWTEXT, COLOR_BTNFACE,
                                                       COLOR_BTNTEXT,  COLOR_HIGHLIGHT,  COLOR_HIGHLIGHTTEXT,
                                                       COLOR_HOTLIGHT, COLOR_GRAYTEXT};
    static COLORREF original[kSystemInkCount];
    static bool saved = false;
    if (!saved) {
        for (int i = 0; i < kSystemInkCount; ++i) original[i] = GetSysColor(kElements[i]);
        saved = true;
    }
    highContrast = scheme != nullptr;
    SetSysColors(kSystemInkCount, kElements, scheme ? scheme->colors : original);
}

Pixel PixelOf(COLORREF color) { return Pixel{GetRValue(color), GetGValue(color), GetBValue(color)}; }

const std::vector<RenderScene> kRenderScenes = {
    {"welcome", PageWelcome, false, false, OperationNone, true, 0, L"", L""},
    {"welcome-options", PageWelcome, false, true, OperationNone, true, 0, L"", L""},
    {"maintenance", PageMaintenance, true, false, OperationNone, true, 0, L"", L""},
    {"maintenance-options", PageMaintenance, true, true, OperationNone, true, 0, L"", L""},
    {"confirm-uninstall", PageConfirmUninstall, true, false, OperationNone, true, 0, L"", L""},
    {"progress-install", PageProgress, false, false, OperationInstall, true, 0.5f, L"Extracting Velmo Tulve\u2026",
     L""},
    {"progress-uninstall", PageProgress, true, false, OperationUninstall, true, 0.125f, L"Removing files\u2026", L""},
    {"result-installed", PageResult, false, false, OperationInstall, true, 1,
     L"Installed to C:\\Users\\Ada\\AppData\\Local\\Programs\\Velmo Tulve", L""},
    {"result-uninstalled", PageResult, true, false, OperationUninstall, true, 1,
     L"Velmo Tulve has been removed from this PC.", L""},
    {"result-install-failed", PageResult, false, false, OperationInstall, false, 1, L"Writing files\u2026",
     L"Setup could not write the application files. Close Velmo Tulve and try again."},
    {"result-uninstall-failed", PageResult, true, false, OperationUninstall, false, 1, L"Removing files\u2026",
     L"Setup could not complete the operation."},
    {"license", PageLicense, false, false, OperationNone, true, 0, L"", L""},
};

const RenderScene& SceneNamed(const std::string& name) {
    for (const RenderScene& scene : kRenderScenes) {
        if (name == scene.name) return scene;
    }
    return kRenderScenes.front();
}

void ResetWindowState() {
    setupOptions = SetupOptions{};
    setupOptions.installDir = kInstallDir;
    existingInstall = false;
    page = returnPage = PageWelcome;
    operationKind = OperationNone;
    customizeExpanded = false;
    windowHeight = targetWindowHeight = 316;
    progressTarget = progressShown = 0;
    animationClock = 0;
    hoveredAction = pressedAction = focusedAction = ActionNone;
    operationSucceeded = true;
    operationIsUpdate = false;
    statusText.clear();
    errorText.clear();
    licenseText.clear();
    licenseScroll = 0;
    highContrast = false;
    operationRunning = false;
}

void ApplyScene(const RenderScene& scene) {
    ResetWindowState();
    page = scene.page;
    operationRunning = page == PageProgress;  // the page of a running operation
    returnPage = PageWelcome;
    existingInstall = scene.existingInstall;
    customizeExpanded = scene.customizeExpanded;
    operationKind = scene.operationKind;
    operationSucceeded = scene.operationSucceeded;
    progressTarget = progressShown = scene.progress;
    statusText = scene.statusText;
    errorText = scene.errorText;
    if (page == PageLicense) licenseText = LicenseTextOfTheBuild();
}

RenderWindow::RenderWindow() {
    RegisterSetupClass();
    window_ = CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, L"Velmo Tulve Setup",
                              WS_POPUP | WS_VISIBLE | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 460, 316, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
}

RenderWindow::~RenderWindow() {
    if (!window_) return;
    DestroyWindow(window_);
    // The window's destruction posts the quit message its message loop ends
    // on; this thread has no such loop, and later tests pump messages.
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

bool RenderWindow::Paint(uint32_t windowDpi) {
    if (!window_) return false;
    dpi = windowDpi;
    windowHeight = targetWindowHeight = PageWindowHeight();
    const int width = int(lroundf(float(dpi) * 460.0f / 96.0f));
    const int height = int(lroundf(float(dpi) * windowHeight / 96.0f));
    SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    hitTargets.clear();
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    return !hitTargets.empty() && renderSurface.surfaceWidth == uint32_t(width) &&
           renderSurface.surfaceHeight == uint32_t(height);
}

uint32_t RenderWindow::width() const { return renderSurface.surfaceWidth; }
uint32_t RenderWindow::height() const { return renderSurface.surfaceHeight; }

Pixel RenderWindow::AtPixel(int x, int y) const {
    const DIBSECTION bits = FrameBits();
    if (!bits.dsBm.bmBits || x < 0 || y < 0 || x >= bits.dsBm.bmWidth || y >= bits.dsBm.bmHeight) return {};
    const auto* row = static_cast<const uint8_t*>(bits.dsBm.bmBits) + size_t(y) * size_t(bits.dsBm.bmWidthBytes);
    const uint8_t* p = row + size_t(x) * 4;  // B, G, R, A
    return Pixel{p[2], p[1], p[0]};
}

Pixel RenderWindow::At(float xDips, float yDips) const {
    const float scale = float(dpi) / 96.0f;
    return AtPixel(int(floorf(xDips * scale)), int(floorf(yDips * scale)));
}

bool RenderWindow::SaveBitmap(const std::wstring& path) const {
    const int w = int(width()), h = int(height());
    if (w <= 0 || h <= 0) return false;
    const int stride = (w * 3 + 3) & ~3;
    std::string bytes(54 + size_t(stride) * size_t(h), '\0');
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfSize = DWORD(bytes.size());
    file.bfOffBits = 54;
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = w;
    info.biHeight = -h;  // top-down
    info.biPlanes = 1;
    info.biBitCount = 24;
    memcpy(&bytes[0], &file, 14);
    memcpy(&bytes[14], &info, 40);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Pixel p = AtPixel(x, y);
            char* out = &bytes[54 + size_t(y) * size_t(stride) + size_t(x) * 3];
            out[0] = char(p.b);
            out[1] = char(p.g);
            out[2] = char(p.r);
        }
    }
    return WriteFileBytes(path, bytes);
}
