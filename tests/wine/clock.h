// The clock the stand-in library logs with and the tests measure with: one for every process.
#pragma once

#include <windows.h>

namespace e2e {

inline long long NowMicroseconds() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return counter.QuadPart / frequency.QuadPart * 1000000 +
           counter.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

}  // namespace e2e
