// The benches' clock: milliseconds from QueryPerformanceCounter.
#pragma once

#include <windows.h>

inline double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return double(f.QuadPart);
    }();
    LARGE_INTEGER t{};
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / frequency;
}
