// What kelvarid-service.exe says: the box of a start by hand, and its fatal errors, which go
// to the event log. Czech, a line break, English.
#pragma once

#include "platform/messages.h"

namespace kelvarid::texts {

inline constexpr wchar_t kServiceStartedByHand[] =
    L"kelvarid-service.exe je služba Windows: spouští ji správce služeb (sc start Kelvarid).\n"
    L"kelvarid-service.exe is a Windows service: the service manager starts it (sc start Kelvarid).";
inline constexpr wchar_t kTimerNotMade[] = L"Časovač nelze vytvořit.\nThe timer cannot be made.";
inline constexpr wchar_t kWaitFailed[] = L"Čekání selhalo.\nThe wait failed.";
inline constexpr wchar_t kEventsNotMade[] = L"Události služby nelze vytvořit.\nThe service's events cannot be made.";

}  // namespace kelvarid::texts
