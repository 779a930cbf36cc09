// Timing for the benchmarks: a high-resolution clock and the median of samples.
#pragma once
#include <windows.h>

#include <algorithm>
#include <vector>

inline double Seconds() {
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0) ::QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

inline double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}
