// Milliseconds since Windows started, on a count that never wraps. GetTickCount64 came with
// Vista; XP has only GetTickCount, whose 32 bits wrap after 49.7 days: a machine that runs for
// months would see every age and wait jump back then.
#pragma once

#include <cstdint>

namespace kelvarid {

// A 32-bit reading `now` widened to 64 bits beside `last`, a widened reading taken less than
// 24.8 days before or after it (threads may hand readings over in another order).
constexpr std::uint64_t WidenTickCount(std::uint64_t last, std::uint32_t now) {
    constexpr std::uint64_t kWrap = std::uint64_t{1} << 32;
    constexpr std::uint64_t kHalf = kWrap / 2;
    std::uint64_t widened = (last & ~(kWrap - 1)) | now;
    if (widened + kHalf < last) widened += kWrap;                 // wrapped since `last`
    else if (widened > last + kHalf && widened >= kWrap) widened -= kWrap;  // read before the wrap `last` saw
    return widened;
}

// The count itself: GetTickCount64 where Windows has it, else GetTickCount widened. The widened
// count must be read at least once every 24.8 days; the service reads it every 10 s.
std::uint64_t TickCount64();

}  // namespace kelvarid
