// The sign of life on the TXD line: high for 500 ms, then low for 60 s, over and over.
#pragma once

namespace kelvarid {

inline constexpr unsigned kHighTimeMs = 500;
inline constexpr unsigned kLowTimeMs = 60000;

}  // namespace kelvarid
