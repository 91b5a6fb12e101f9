// The setup window's paint cycle. Every frame is drawn from scratch with
// Direct2D into an off-screen 32-bit DIB section and copied to the window
// with BitBlt. The drawing objects live as long as they can: the factory for
// the process, the render target and the shared brush until the window is
// destroyed or the target is lost, the DIB section until the size changes.
#pragma once

#include "setup/owners.h"

#include <d2d1.h>
#include <windows.h>

#include <cstdint>

struct RenderSurface {
    ComPtr<ID2D1Factory> d2dFactory;  // never released
    ComPtr<ID2D1DCRenderTarget> renderTarget;
    ComPtr<ID2D1SolidColorBrush> solidBrush;  // shared; set its colour before each use
    HDC memoryDC = nullptr;                   // holds dibSection
    HBITMAP dibSection = nullptr;             // the frame's pixels, top-down BGRA
    uint32_t surfaceWidth = 0, surfaceHeight = 0;
    // The licence text rasterised once for this DPI, width and text: drawn
    // as text it costs more than all the rest of a frame (Wine: 20 times).
    ComPtr<ID2D1Bitmap> licenseBitmap;
    float licenseBitmapDpi = 0, licenseBitmapWidth = 0;
    size_t licenseBitmapLength = 0;
    int32_t licenseTextHeight = 0, licenseLineHeight = 0;  // whole DIPs, as laid out for the bitmap
};

extern RenderSurface renderSurface;

// Direct2D takes gradient stop colours with straight alpha; Wine 8's takes
// them as premultiplied. The first frame finds out which (and the painters
// premultiply their stops where needed), so gradients look the same on both.
extern bool gradientStopsPremultiplied;

// The whole of WM_PAINT: validates the window and draws one frame.
void PaintWindow();

// Draws the current state as a frame of width x height pixels and copies it
// to `target`: the part of PaintWindow after the text formats are ensured.
void RenderFrame(HDC target, uint32_t width, uint32_t height);

// Releases everything but the factory; the next paint builds it again.
void ReleaseRenderSurface();
