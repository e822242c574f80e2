// The sign of life on the TXD line: high for 500 ms, then low for 60 s, over and over.
#pragma once

namespace kelvarid {

// The first tick, a moment after start: the first rise comes before anything else waits.
inline constexpr unsigned kFirstTickMs = 5;
inline constexpr unsigned kHighTimeMs = 500;
inline constexpr unsigned kLowTimeMs = 60000;

}  // namespace kelvarid
