// Frame cost of the setup window's paint cycle under the real Direct2D, in
// one process: PaintWindow for the heaviest page states against an empty
// frame (BindDC, BeginDraw, Clear, EndDraw, BitBlt) of the same size on the
// same render target, and the same frames without text to show where the
// time goes. Medians of many frames; run by bench/window_bench.sh.
#include "bench/bench_clock.h"
#include "render/primitives.h"
#include "render/render_surface.h"
#include "render/text_formats.h"
#include "tests/win/render_fixture.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

double EmptyFrameMs(const RenderWindow& window, int frames) {
    RenderSurface& s = renderSurface;
    const HDC dc = GetDC(window.handle());
    const RECT pixels{0, 0, LONG(window.width()), LONG(window.height())};
    const double ms = MedianMs(frames, [&] {
        s.renderTarget->BindDC(s.memoryDC, &pixels);
        s.renderTarget->BeginDraw();
        s.renderTarget->Clear(D2D1_COLOR_F{0.055f, 0.055f, 0.068f, 1});
        s.renderTarget->EndDraw();
        BitBlt(dc, 0, 0, pixels.right, pixels.bottom, s.memoryDC, 0, 0, SRCCOPY);
    });
    ReleaseDC(window.handle(), dc);
    return ms;
}

// What single operations cost on this Direct2D: each row is an empty frame
// plus `count` of one operation, less the empty frame, per operation.
void PrintOperationCosts(const RenderWindow& window, int frames) {
    RenderSurface& s = renderSurface;
    ID2D1DCRenderTarget* rt = s.renderTarget.Get();
    ID2D1SolidColorBrush* brush = s.solidBrush.Get();
    const HDC dc = GetDC(window.handle());
    const RECT pixels{0, 0, LONG(window.width()), LONG(window.height())};
    const auto frame = [&](int count, const auto& operation) {
        return MedianMs(frames, [&] {
            rt->BindDC(s.memoryDC, &pixels);
            rt->BeginDraw();
            rt->Clear(D2D1_COLOR_F{0.055f, 0.055f, 0.068f, 1});
            for (int i = 0; i < count; ++i) operation();
            rt->EndDraw();
            BitBlt(dc, 0, 0, pixels.right, pixels.bottom, s.memoryDC, 0, 0, SRCCOPY);
        });
    };
    const double empty = frame(0, [] {});
    const D2D1_ROUNDED_RECT panel{{28, 134, 432, 388}, 12, 12};
    const D2D1_GRADIENT_STOP stops[] = {{0, {1, 1, 1, 0.3f}}, {1, {1, 1, 1, 0}}};
    const auto gradient = CreateGradientBrush(rt, stops, 2, {28, 134}, {100, 200});
    const std::wstring label = L"Start Velmo Tulve automatically with Windows";
    ComPtr<ID2D1RoundedRectangleGeometry> panelGeometry;
    s.d2dFactory->CreateRoundedRectangleGeometry(panel, &panelGeometry);
    ComPtr<IDWriteTextLayout> licenseLayout;
    dwriteFactory->CreateTextLayout(licenseText.c_str(), UINT32(licenseText.size()), licenseFormat.Get(), 380, 644,
                                    &licenseLayout);
    struct Row {
        const char* name;
        int count;
        std::function<void()> operation;
    };
    const Row rows[] = {
        {"fill rounded rectangle (solid)", 20, [&] { rt->FillRoundedRectangle(panel, brush); }},
        {"fill kept rounded-rectangle geometry", 20, [&] { rt->FillGeometry(panelGeometry.Get(), brush); }},
        {"fill rectangle (solid)", 20, [&] { rt->FillRectangle(panel.rect, brush); }},
        {"stroke rounded rectangle (solid)", 20, [&] { rt->DrawRoundedRectangle(panel, brush, 1); }},
        {"stroke rounded rectangle (gradient)", 20, [&] { rt->DrawRoundedRectangle(panel, gradient.Get(), 1); }},
        {"create gradient brush", 20,
         [&] {
             CreateGradientBrush(rt, stops, 2, {0, 0}, {50, 50});
         }},
        {"create solid brush", 20,
         [&] {
             ComPtr<ID2D1SolidColorBrush> b;
             rt->CreateSolidColorBrush(D2D1_COLOR_F{1, 1, 1, 0.2f}, &b);
         }},
        {"DrawRoundedRim (panel)", 10, [&] { DrawRoundedRim(rt, panel.rect, 12, 1, 0.45f, 0.25f); }},
        {"draw text (one 44-character line)", 10,
         [&] {
             rt->DrawText(label.c_str(), UINT32(label.size()), bodyFormat.Get(), D2D1_RECT_F{66, 302, 400, 326}, brush);
         }},
        {"draw licence text", 2,
         [&] {
             rt->DrawText(licenseText.c_str(), UINT32(licenseText.size()), licenseFormat.Get(),
                          D2D1_RECT_F{40, 144, 420, 788}, brush);
         }},
        {"draw kept licence layout", 2,
         [&] {
             rt->DrawTextLayout({40, 144}, licenseLayout.Get(), brush);
         }},
        {"axis-aligned clip push and pop", 20,
         [&] {
             rt->PushAxisAlignedClip(D2D1_RECT_F{40, 144, 420, 378}, D2D1_ANTIALIAS_MODE_ALIASED);
             rt->PopAxisAlignedClip();
         }},
    };
    printf("\n%-40s %10s\n", "operation (licence page surface)", "ms each");
    for (const Row& row : rows)
        printf("%-40s %10.3f\n", row.name, (frame(row.count, row.operation) - empty) / row.count);
    ReleaseDC(window.handle(), dc);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int frames = argc > 1 ? _wtoi(argv[1]) : 41;
    RenderWindow window;
    printf("%-18s %4s %9s %9s %9s %7s\n", "state", "dpi", "empty ms", "frame ms", "no text", "ratio");
    for (const uint32_t windowDpi : {96u, 144u}) {
        for (const char* name : {"welcome-options", "progress-install", "license"}) {
            ApplyScene(SceneNamed(name));
            if (!window.Paint(windowDpi)) {
                fprintf(stderr, "frame_bench: no frame for %s\n", name);
                return 1;
            }
            for (int i = 0; i < 3; ++i) window.Paint(windowDpi);  // warm
            const double empty = EmptyFrameMs(window, frames);
            const double full = MedianMs(
                frames, [&] { RedrawWindow(window.handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); });
            // The same frame with every text format missing: shapes only.
            ComPtr<IDWriteTextFormat>* formats[] = {std::addressof(titleFormat),  std::addressof(bodyFormat),
                                                    std::addressof(buttonFormat), std::addressof(captionFormat),
                                                    std::addressof(pathFormat),   std::addressof(licenseFormat),
                                                    std::addressof(iconFormat)};
            ComPtr<IDWriteTextFormat> saved[7];
            for (int i = 0; i < 7; ++i) saved[i].Swap(*formats[i]);  // WRL's move assignment copies
            const HDC dc = GetDC(window.handle());
            const double shapes = MedianMs(frames, [&] { RenderFrame(dc, window.width(), window.height()); });
            ReleaseDC(window.handle(), dc);
            for (int i = 0; i < 7; ++i) saved[i].Swap(*formats[i]);
            printf("%-18s %4u %9.2f %9.2f %9.2f %7.2f\n", name, windowDpi, empty, full, shapes, full / empty);
        }
    }
    ApplyScene(SceneNamed("license"));
    window.Paint(96);
    PrintOperationCosts(window, frames);
    return 0;
}
