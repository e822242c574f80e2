// One Kelvarid per machine: a second one would find the port held and drive nothing, or a
// spare port. A machine-wide mutex, held for the whole run, says that one already runs; the
// installer and the uninstaller look for the same name.
#pragma once

#include <windows.h>

#include "platform/handles.h"

namespace kelvarid {

inline constexpr wchar_t kInstanceMutexName[] = L"Global\\Kelvarid";
// The exit code of a start that found Kelvarid already running.
inline constexpr int kAlreadyRunningExitCode = 4;
inline constexpr wchar_t kAlreadyRunningText[] = L"Kelvarid už běží. / Kelvarid is already running.";

// The mutex, or nothing when another process (in any session, under any account) holds it.
inline UniqueHandle ClaimInstance() {
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, kInstanceMutexName));
    // Held by another account, the name exists but cannot be opened: that also means taken.
    const DWORD error = GetLastError();
    if (!mutex || error == ERROR_ALREADY_EXISTS) return UniqueHandle();
    return mutex;
}

}  // namespace kelvarid
