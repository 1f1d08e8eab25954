// The system's performance counter and the median of samples, for the benchmark programs
// that time calls one by one under Wine (vpad_frame, xinput_state).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

inline double seconds_per_tick() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1.0 / static_cast<double>(frequency.QuadPart);
}

inline int64_t now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}
