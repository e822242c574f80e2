// The sign of life on the TXD line: high for 500 ms, then low for 60 s, over and over.
#pragma once

namespace kelvarid {

inline constexpr unsigned kHighTimeMs = 500;
inline constexpr unsigned kLowTimeMs = 60000;

inline constexpr wchar_t kLineHighCaption[] = L"log.1";
inline constexpr wchar_t kLineLowCaption[] = L"log.0";
// After a TXD call that failed, until the next one: the line is not where it should be.
inline constexpr wchar_t kLineFailedCaption[] = L"chyba";

}  // namespace kelvarid
