// The least a Direct2D window can do before its first frame is on screen:
// the same factory (from System32 at run time), DC render target and DIB
// section as the setup program, one cleared frame. The reference for
// first_frame_bench.
#include "setup/system_library.h"

#include <d2d1.h>
#include <windows.h>

namespace {

void PaintOnce(HWND window) {
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(window, &paint);
    RECT client{};
    GetClientRect(window, &client);
    using Create = HRESULT(WINAPI*)(D2D1_FACTORY_TYPE, REFIID, const D2D1_FACTORY_OPTIONS*, void**);
    ID2D1Factory* factory = nullptr;
    ID2D1DCRenderTarget* target = nullptr;
    if (const auto create = SystemProc<Create>(LoadSystemLibrary(L"d2d1.dll"), "D2D1CreateFactory")) {
        create(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr, reinterpret_cast<void**>(&factory));
    }
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC memory = CreateCompatibleDC(nullptr);
    const HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    SelectObject(memory, dib);
    const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
        D2D1_RENDER_TARGET_TYPE_SOFTWARE, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED));
    if (factory && SUCCEEDED(factory->CreateDCRenderTarget(&properties, &target)) &&
        SUCCEEDED(target->BindDC(memory, &client))) {
        target->BeginDraw();
        target->Clear(D2D1_COLOR_F{0.94f, 0.94f, 0.94f, 1});
        if (SUCCEEDED(target->EndDraw())) BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    }
    if (target) target->Release();
    if (factory) factory->Release();
    DeleteDC(memory);
    DeleteObject(dib);
    EndPaint(window, &paint);
}

LRESULT CALLBACK ReferenceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: PaintOnce(window); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystem32();
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ReferenceProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"VelmoTulveFrameReference";
    if (!RegisterClassExW(&windowClass)) return 1;
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    CreateWindowExW(WS_EX_APPWINDOW, windowClass.lpszClassName, L"Reference", WS_POPUP | WS_VISIBLE,
                    (area.right - area.left - 460) / 2, (area.bottom - area.top - 316) / 2, 460, 316, nullptr, nullptr,
                    instance, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
