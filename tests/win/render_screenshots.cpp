// Writes a BMP of every window state at 96 and 144 DPI into the folder named
// on the command line, as <state>@<dpi>.bmp, and of the main pages under the
// black and the white high-contrast scheme at 96 DPI, as
// high-contrast-<scheme>-<state>@96.bmp. tools/screenshots.sh turns them
// into the PNG files of docs/screenshots.
#include "tests/win/render_fixture.h"
#include "tests/win/test_support.h"

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fwprintf(stderr, L"usage: render_screenshots FOLDER\n");
        return 2;
    }
    RenderWindow window;
    int failures = 0;
    for (const uint32_t windowDpi : {96u, 144u}) {
        for (const RenderScene& scene : kRenderScenes) {
            ApplyScene(scene);
            const std::wstring path =
                std::wstring(argv[1]) + L"\\" + Widen(scene.name) + L"@" + std::to_wstring(windowDpi) + L".bmp";
            if (!window.Paint(windowDpi) || !window.SaveBitmap(path)) {
                fwprintf(stderr, L"render_screenshots: no frame for %ls\n", path.c_str());
                ++failures;
            }
        }
    }
    for (const ContrastScheme& scheme : kContrastSchemes) {
        for (const char* name : {"welcome", "welcome-options", "maintenance", "confirm-uninstall", "progress-install",
                                 "result-installed", "result-install-failed", "license"}) {
            ApplyScene(SceneNamed(name));
            UseContrastScheme(&scheme);
            const std::wstring path =
                std::wstring(argv[1]) + L"\\high-contrast-" + Widen(scheme.name) + L"-" + Widen(name) + L"@96.bmp";
            if (!window.Paint(96) || !window.SaveBitmap(path)) {
                fwprintf(stderr, L"render_screenshots: no frame for %ls\n", path.c_str());
                ++failures;
            }
        }
    }
    UseContrastScheme(nullptr);
    return failures ? 1 : 0;
}
