// The system time as the service keeps it (a FILETIME's count, UTC), and as people read it: the
// machine's local time, for the log and the console.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace kelvarid {

// Now, as a FILETIME's count.
inline std::uint64_t SystemTimeNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// A system time (a FILETIME's count) as the machine's local time, "2026-12-08 16:24:28"; "-" for
// none, "?" for one that cannot be shown.
inline std::wstring LocalTime(std::uint64_t wall) {
    if (wall == 0) return L"-";
    const FILETIME utc{static_cast<DWORD>(wall), static_cast<DWORD>(wall >> 32)};
    SYSTEMTIME universal;
    SYSTEMTIME local;
    if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return L"?";
    }
    wchar_t text[32];
    wsprintfW(text, L"%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour,
              local.wMinute, local.wSecond);
    return text;
}

}  // namespace kelvarid
