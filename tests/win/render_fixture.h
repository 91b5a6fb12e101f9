// Shared ground for the tests and tools that draw real frames in-process: a
// window of the setup class on the calling thread, painted by a real
// WM_PAINT at a chosen DPI, the frame's pixels read back from the render
// surface, and the named window states that the tests and the screenshots
// both draw.
#pragma once

#include "render/primitives.h"
#include "window/ui_state.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Puts the UI state and the options the painters read back to what a fresh
// process has, with a fixed install folder.
void ResetWindowState();

struct RenderScene {
    const char* name;  // file-name stem of its screenshot
    Page page;
    bool existingInstall;
    bool customizeExpanded;
    int32_t operationKind;
    bool operationSucceeded;
    float progress;  // progressShown
    const wchar_t* statusText;
    const wchar_t* errorText;
};
// One of each page and state the window can show.
extern const std::vector<RenderScene> kRenderScenes;
const RenderScene& SceneNamed(const std::string& name);
// ResetWindowState, then the scene's fields; the licence page gets the
// licence text of the build.
void ApplyScene(const RenderScene& scene);

struct Pixel {
    int r = -1, g = -1, b = -1;
};

// A high-contrast scheme: the system colours of the window's SystemInks, in
// their order.
struct ContrastScheme {
    const char* name;
    COLORREF colors[kSystemInkCount];
};
// Windows' "High Contrast Black" and "High Contrast White".
extern const ContrastScheme kContrastSchemes[2];
// Sets the scheme's system colours (SetSysColors, which tells every window)
// and turns the window's high-contrast look on; null puts back the colours
// of before the first call and turns it off. Wine's SPI_GETHIGHCONTRAST
// always reports off, so the flag is set here in-process.
void UseContrastScheme(const ContrastScheme* scheme);
Pixel PixelOf(COLORREF color);

// A real top-level window of the setup class, owned by this thread.
class RenderWindow {
public:
    RenderWindow();
    ~RenderWindow();
    RenderWindow(const RenderWindow&) = delete;
    RenderWindow& operator=(const RenderWindow&) = delete;
    HWND handle() const { return window_; }

    // Sizes the window for `windowDpi` and the page's height, then paints it
    // through a real WM_PAINT. False when no frame was drawn.
    bool Paint(uint32_t windowDpi);
    // The frame's pixel under a point given in DIPs (the pixel whose area
    // contains it); r = -1 outside the frame.
    Pixel At(float xDips, float yDips) const;
    // The pixel at pixel coordinates.
    Pixel AtPixel(int x, int y) const;
    uint32_t width() const;
    uint32_t height() const;
    // Writes the frame as a 24-bit BMP file.
    bool SaveBitmap(const std::wstring& path) const;

private:
    HWND window_ = nullptr;
};
