#include "render/render_surface.h"

#include "render/page_painters.h"
#include "render/primitives.h"
#include "render/text_formats.h"
#include "setup/progress.h"
#include "setup/system_library.h"
#include "window/ui_state.h"

RenderSurface renderSurface;
bool gradientStopsPremultiplied = false;

namespace {

constexpr D2D1_COLOR_F kBackground{0.055f, 0.055f, 0.068f, 1.0f};

void CreateFactory() {
    // d2d1.dll is not a known DLL: loaded from System32 only, never imported.
    using CreateFactoryFunction = HRESULT(WINAPI*)(D2D1_FACTORY_TYPE, REFIID, const D2D1_FACTORY_OPTIONS*, void**);
    static const HMODULE d2d1 = LoadSystemLibrary(L"d2d1.dll");
    if (const auto create = SystemProc<CreateFactoryFunction>(d2d1, "D2D1CreateFactory")) {
        create(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
               reinterpret_cast<void**>(renderSurface.d2dFactory.ReleaseAndGetAddressOf()));
    }
}

// A new top-down 32-bit DIB section of the size, selected into memoryDC.
// Leaves the surface as it was when any step fails.
void ReplaceDibSection(uint32_t width, uint32_t height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = LONG(width);
    info.bmiHeader.biHeight = -LONG(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    const HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!bitmap) return;
    const HGDIOBJ previous = renderSurface.memoryDC ? SelectObject(renderSurface.memoryDC, bitmap) : nullptr;
    if (!previous || previous == HGDI_ERROR) {
        DeleteObject(bitmap);
        return;
    }
    if (renderSurface.dibSection) DeleteObject(renderSurface.dibSection);
    renderSurface.dibSection = bitmap;
    renderSurface.surfaceWidth = width;
    renderSurface.surfaceHeight = height;
}

// One transparent white stop over black: straight alpha leaves the pixel
// black, a premultiplied reading makes it white. Runs once per process.
void ProbeGradientStops(ID2D1RenderTarget* rt) {
    static bool probed = false;
    const D2D1_GRADIENT_STOP stops[] = {{0, {1, 1, 1, 0}}, {1, {1, 1, 1, 0}}};
    ComPtr<ID2D1GradientStopCollection> collection;
    ComPtr<ID2D1LinearGradientBrush> brush;
    if (probed ||
        FAILED(rt->CreateGradientStopCollection(stops, 2, D2D1_GAMMA_2_2, D2D1_EXTEND_MODE_CLAMP, &collection)) ||
        FAILED(rt->CreateLinearGradientBrush(D2D1_LINEAR_GRADIENT_BRUSH_PROPERTIES{{0, 0}, {0, 1}}, collection.Get(),
                                             &brush))) {
        return;
    }
    rt->BeginDraw();
    rt->Clear(D2D1_COLOR_F{0, 0, 0, 1});
    rt->FillRectangle(D2D1_RECT_F{0, 0, 1, 1}, brush.Get());
    if (SUCCEEDED(rt->EndDraw())) {
        probed = true;
        gradientStopsPremultiplied = GetRValue(GetPixel(renderSurface.memoryDC, 0, 0)) > 127;
    }
}

}  // namespace

void ReleaseRenderSurface() {
    RenderSurface& s = renderSurface;
    s.licenseBitmap.Reset();
    s.solidBrush.Reset();
    s.renderTarget.Reset();
    if (s.memoryDC) DeleteDC(s.memoryDC);
    if (s.dibSection) DeleteObject(s.dibSection);
    s.memoryDC = nullptr;
    s.dibSection = nullptr;
    s.surfaceWidth = s.surfaceHeight = 0;
}

void RenderFrame(HDC target, uint32_t width, uint32_t height) {
    RenderSurface& s = renderSurface;
    if (!s.d2dFactory) CreateFactory();
    if (!s.memoryDC) s.memoryDC = CreateCompatibleDC(nullptr);
    if (width != s.surfaceWidth || height != s.surfaceHeight || !s.dibSection) ReplaceDibSection(width, height);
    if (!s.renderTarget) {
        if (!s.d2dFactory) return;
        const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
            D2D1_RENDER_TARGET_TYPE_SOFTWARE,
            D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), float(dpi), float(dpi));
        s.d2dFactory->CreateDCRenderTarget(&properties, &s.renderTarget);
        if (!s.renderTarget) return;
        s.renderTarget->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
    }
    if (width != s.surfaceWidth || height != s.surfaceHeight) return;
    if (!s.solidBrush) s.renderTarget->CreateSolidColorBrush(D2D1::ColorF(1, 1, 1, 1), &s.solidBrush);
    if (!s.solidBrush) return;
    const RECT pixels{0, 0, LONG(width), LONG(height)};
    if (FAILED(s.renderTarget->BindDC(s.memoryDC, &pixels))) return;

    ID2D1DCRenderTarget* const rt = s.renderTarget.Get();
    ProbeGradientStops(rt);
    rt->SetDpi(float(dpi), float(dpi));
    rt->SetTransform(D2D1::Matrix3x2F::Identity());
    rt->BeginDraw();
    hitTargets.clear();
    frameTextCount = 0;
    frameTextChars.clear();
    LoadSystemInks();
    rt->Clear(Ink(kBackground, InkWindow));
    PaintPage(rt, s.solidBrush.Get(), float(width) * 96.0f / float(dpi), float(height) * 96.0f / float(dpi));
    const HRESULT drawn = rt->EndDraw();
    if (drawn == HRESULT(D2DERR_RECREATE_TARGET)) {
        ReleaseRenderSurface();
    } else if (SUCCEEDED(drawn)) {
        BitBlt(target, 0, 0, int(width), int(height), s.memoryDC, 0, 0, SRCCOPY);
    }
}

void PaintWindow() {
    const HWND window = mainWindow.load();
    if (!window) return;
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(window, &paint);
    RECT client{};
    GetClientRect(window, &client);
    EnsureTextFormats();
    const LONG width = client.right - client.left, height = client.bottom - client.top;
    RenderFrame(dc, uint32_t(width < 1 ? 1 : width), uint32_t(height < 1 ? 1 : height));
    EndPaint(window, &paint);
}
