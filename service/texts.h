// What kelvarid-service.exe says: the box of a start by hand, its fatal errors, which go to the
// event log, and the answers of --drill. Czech, a line break, English.
#pragma once

#include "platform/messages.h"

namespace kelvarid::texts {

inline constexpr wchar_t kFolderMovedAside[] =
    L"Odsunuto (odkaz, soubor nebo složka cizího účtu): / Moved aside (a link, a file, or another account's folder): ";
inline constexpr wchar_t kServiceStartedByHand[] =
    L"kelvarid-service.exe je služba Windows: spouští ji správce služeb (sc start Kelvarid).\n"
    L"kelvarid-service.exe is a Windows service: the service manager starts it (sc start Kelvarid).";
inline constexpr wchar_t kTimerNotMade[] = L"Časovač nelze vytvořit.\nThe timer cannot be made.";
inline constexpr wchar_t kWaitFailed[] = L"Čekání selhalo.\nThe wait failed.";
inline constexpr wchar_t kEventsNotMade[] = L"Události služby nelze vytvořit.\nThe service's events cannot be made.";


inline constexpr wchar_t kDrillStarted[] =
    L"Cvičení začalo: služba neposílá další pulzy. Funguje-li obvod, do svého časového limitu počítač resetuje a "
    L"příští start zapíše do protokolu, že cvičení prošlo, s mezerou mezi pulzy. Nepřijde-li reset do DrillTimeout "
    L"sekund (výchozí 600) po posledním pulzu, pulzy pokračují a protokol řekne, že cvičení selhalo.\n"
    L"The drill has begun: the service sends no further pulse. If the circuit works, it resets this machine within "
    L"its own timeout, and the next start logs that the drill passed, with the gap between the pulses. If no reset "
    L"comes within DrillTimeout seconds (600 unless set) of the last pulse, the pulses resume and the log says that "
    L"the drill failed.";
inline constexpr wchar_t kDrillNotAdministrator[] =
    L"Cvičení smí spustit jen správce: zastavuje pulzy.\nOnly an administrator may start a drill: it stops the pulses.";
inline constexpr wchar_t kDrillServiceNotRunning[] =
    L"Služba Kelvarid neběží: není co ověřit.\nThe Kelvarid service does not run: there is nothing to test.";
inline constexpr wchar_t kDrillChecksHold[] =
    L"Kontroly zdraví pulzy už zastavily: cvičení nezačne.\nThe health checks have stopped the pulses already: no drill begins.";
inline constexpr wchar_t kDrillAlreadyRunning[] =
    L"Jiné cvičení už čeká na reset.\nAnother drill waits for its reset already.";
inline constexpr wchar_t kDrillNotStarted[] =
    L"Služba cvičení nezačala; důvod je v protokolu aplikací (zdroj Kelvarid).\n"
    L"The service did not begin the drill; the Application log (source Kelvarid) says why.";

}  // namespace kelvarid::texts
