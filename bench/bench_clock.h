// The benches' clock: milliseconds from QueryPerformanceCounter, and the
// median time of repeated runs of one body.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

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

// The median of `runs` timed runs of `body`, in milliseconds.
template <typename Body>
double MedianMs(int runs, Body body) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = Now();
        body();
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}
