// A moment as the service's decisions see it, and the clock that leaves time asleep out of it.
// Plain C++: the service's clock gives it, a test's fake clock too.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

namespace kelvarid {

// Three readings of one moment:
//  - steadyMs: time awake, which every age and every wait is measured on: a check cannot fail
//    while the machine sleeps, nor a round take long;
//  - wall: the system's time (UTC, as a FILETIME), which only goes into the log and the record:
//    a change of the system's time never makes a check fail;
//  - uptimeMs: milliseconds since Windows started, asleep or not, which measures a gap within
//    one run of Windows.
struct Instant {
    std::int64_t steadyMs = 0;
    std::uint64_t wall = 0;
    std::int64_t uptimeMs = 0;
};

// The system's time counts in 100 ns units (a FILETIME).
inline constexpr std::uint64_t kFileTimeUnitsPerMs = 10000;

// Whole seconds from one system time to a later one; 0 when it is not later.
constexpr std::uint64_t SecondsBetween(std::uint64_t earlier, std::uint64_t later) {
    return later > earlier ? (later - earlier) / (1000 * kFileTimeUnitsPerMs) : 0;
}

// Time awake from Windows' own steady count, which goes on while the machine sleeps: the time
// from a suspend to the wake after it is taken out. Between the two, time stands still.
class AwakeClock {
public:
    void Suspending(std::int64_t uptimeMs) {
        if (!suspendedAtMs_) suspendedAtMs_ = uptimeMs;
    }
    void Resumed(std::int64_t uptimeMs) {
        if (!suspendedAtMs_) return;
        asleepMs_ += std::max<std::int64_t>(0, uptimeMs - *suspendedAtMs_);
        suspendedAtMs_.reset();
    }
    // `uptimeMs` and `wall` read now.
    Instant Now(std::int64_t uptimeMs, std::uint64_t wall) const {
        const std::int64_t counted = suspendedAtMs_ ? std::min(*suspendedAtMs_, uptimeMs) : uptimeMs;
        return {counted - asleepMs_, wall, uptimeMs};
    }

private:
    std::int64_t asleepMs_ = 0;
    std::optional<std::int64_t> suspendedAtMs_;
};

// Whether Windows has started again since the service's last start, as a mark that only a
// start of Windows clears tells it, whatever the clocks say; Unknown where the mark cannot be
// made or read.
enum class WindowsRun { Unknown, Same, New };

}  // namespace kelvarid
