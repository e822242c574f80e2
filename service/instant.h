// A moment as the service's decisions see it. Plain C++: the service's clock gives it, a test's
// fake clock too.
#pragma once

#include <cstdint>

namespace kelvarid {

// The steady clock, which every age and every wait is measured on, and the system's time (UTC,
// as a FILETIME), which only goes into the log and the record: a change of the system's time
// never makes a check fail.
struct Instant {
    std::int64_t steadyMs = 0;
    std::uint64_t wall = 0;
};

}  // namespace kelvarid
