// The clock of the Windows benchmarks.
#pragma once

#include <windows.h>

namespace bench {

// Microseconds on the performance counter.
inline double NowUs() {
    static const double perUs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1e6;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / perUs;
}

}  // namespace bench
