// The setup window's behaviour under Wine, measured on the real program from
// the outside (not a test), in the run of bench/window_bench.sh whose frame
// bench gives the empty-frame reference:
//   - from the process start (CreateProcessW) to its window, and to its first
//     painted frame: the first moment the window's query reports a target,
//     which it can do only once a paint has run to its end;
//   - the height animation's real step rate: after a press of "Customize" the
//     window's pixel height is read every millisecond while 316 grows to 452
//     DIPs; each change is one step of the 16 ms timer.
//
//   animation_bench.exe [RUNS]     RUNS (default 11) starts of the setup program
//
// Prints one line per run and the medians.
#include "bench/bench_clock.h"
#include "tests/win/setup_process_support.h"
#include "window/setup_window.h"
#include "window/ui_state.h"

#include <d2d1.h>
#include <timeapi.h>
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int Height(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect.bottom - rect.top;
}

LRESULT Query(HWND window, const wchar_t* message, WPARAM wParam = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, RegisterWindowMessageW(message), wParam, 0, SMTO_ABORTIFHUNG, 5000, &result)) {
        return -1;
    }
    return LRESULT(result);
}

struct Run {
    double window = 0, firstFrame = 0;  // ms after CreateProcessW
    int steps = 0;
    double growth = 0;    // ms from the press to the last step
    double stepRate = 0;  // steps per second between the first and the last step
};

bool MeasureOnce(const std::wstring& testRoot, Run& run) {
    ScopedEnvironment root(L"VELMO_SETUP_TEST_ROOT", testRoot.c_str());
    ChildProcess setup;
    const double start = Now();
    if (!setup.Start(SetupExePath(), L"")) return false;
    HWND window = nullptr;
    while (!window && setup.IsRunning() && Now() - start < 10000) {
        const std::vector<HWND> windows = TopLevelWindows(setup.id(), kSetupWindowClass);
        if (!windows.empty() && IsWindowVisible(windows.front()))
            window = windows.front();
        else
            Sleep(1);
    }
    if (!window) return false;
    run.window = Now() - start;
    LRESULT customize = -1;
    while ((customize = Query(window, kQueryPageMessage, ActionCustomize)) == -1 && Now() - start < 10000) {
        Sleep(1);
    }
    run.firstFrame = Now() - start;
    if (customize == -1) {
        std::fprintf(stderr, "no painted target after 10 s\n");
        return false;
    }

    const int from = Height(window);
    const LPARAM at = MAKELPARAM(GET_X_LPARAM(customize), GET_Y_LPARAM(customize));
    const double press = Now();
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window, WM_LBUTTONUP, 0, at);
    const int to = int(lround(from * 452.0 / 316.0));  // the same DPI scale
    double first = 0, last = 0;
    int height = from;
    while (height != to && Now() - press < 5000) {
        const int now = Height(window);
        if (now == height) {
            Sleep(1);
            continue;
        }
        last = Now();
        if (run.steps++ == 0) first = last;
        height = now;
    }
    run.growth = last - press;
    run.stepRate = run.steps > 1 ? (run.steps - 1) * 1000.0 / (last - first) : 0;

    PostMessageW(window, WM_CLOSE, 0, 0);
    return setup.WaitForExit(10000) && height == to;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int runs = argc > 1 ? _wtoi(argv[1]) : 11;
    timeBeginPeriod(1);
    TempFolder root;
    std::vector<double> windows, frames, rates, growths, steps;
    for (int i = 0; i < runs; ++i) {
        Run run;
        if (!MeasureOnce(root.path(), run)) {
            std::fprintf(stderr, "run %d failed\n", i + 1);
            return 1;
        }
        std::printf("run %2d: window %6.1f ms, first frame %6.1f ms, %2d steps in %5.1f ms, %5.1f steps/s\n", i + 1,
                    run.window, run.firstFrame, run.steps, run.growth, run.stepRate);
        windows.push_back(run.window);
        frames.push_back(run.firstFrame);
        steps.push_back(run.steps);
        growths.push_back(run.growth);
        rates.push_back(run.stepRate);
    }
    std::printf(
        "\nmedians of %d runs: window %.1f ms, first painted frame %.1f ms after the process start;\n"
        "316 -> 452 DIPs in %.0f steps, %.1f ms, %.1f steps/s (the timer asks for 62.5)\n",
        runs, Median(windows), Median(frames), Median(steps), Median(growths), Median(rates));
    timeEndPeriod(1);
    return 0;
}
