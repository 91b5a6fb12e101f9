// Time from process start to the first frame on screen: the setup program
// (welcome page, in a throwaway test root) against first_frame_reference,
// which does no more than create the same factory and render target and show
// one cleared frame. The two alternate run by run; the frame counts as shown
// when the screen pixel under the Install button (and under the same point of
// the reference) turns light. Run by bench/window_bench.sh.
#include "bench/bench_clock.h"
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Program {
    const wchar_t* label;
    std::wstring path;
    const wchar_t* windowClass;
    std::vector<double> times;
};

// Milliseconds from CreateProcess until the pixel at (40, 216) of the
// program's window is light; negative when it never was within 20 s.
double TimeToFirstFrame(const Program& program) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + program.path + L"\"";
    const double start = Now();
    if (!CreateProcessW(program.path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return -1;
    }
    const HDC screen = GetDC(nullptr);
    double shown = -1;
    while (Now() - start < 20000 && WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        const HWND window = FindWindowW(program.windowClass, nullptr);
        RECT r{};
        if (window && GetWindowRect(window, &r) && GetRValue(GetPixel(screen, r.left + 40, r.top + 216)) > 200) {
            shown = Now() - start;
            PostMessageW(window, WM_CLOSE, 0, 0);
            break;
        }
        Sleep(1);
    }
    ReleaseDC(nullptr, screen);
    if (WaitForSingleObject(info.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return shown;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fwprintf(stderr, L"usage: first_frame_bench SETUP_EXE REFERENCE_EXE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 3 ? _wtoi(argv[3]) : 11;
    Program programs[] = {{L"setup program", argv[1], L"VelmoTulveSetupWindow", {}},
                          {L"reference", argv[2], L"VelmoTulveFrameReference", {}}};
    for (int run = 0; run < runs; ++run) {
        for (Program& program : programs) {
            const double ms = TimeToFirstFrame(program);
            if (ms < 0) {
                fwprintf(stderr, L"first_frame_bench: no frame from %ls\n", program.label);
                return 1;
            }
            program.times.push_back(ms);
        }
    }
    for (const Program& program : programs) {
        printf("%-14ls first frame on screen: median %.1f ms (min %.1f, max %.1f)\n", program.label,
               Median(program.times), *std::min_element(program.times.begin(), program.times.end()),
               *std::max_element(program.times.begin(), program.times.end()));
    }
    printf("ratio setup / reference: %.2f\n", Median(programs[0].times) / Median(programs[1].times));
    return 0;
}
