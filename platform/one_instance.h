// One Kelvarid per machine: a second one would find the port held and drive nothing, or a
// spare port. A machine-wide mutex, held for the whole run, says that one already runs; the
// installer and the uninstaller look for the same name.
#pragma once

#include <windows.h>

#include "platform/handles.h"
#include "product.h"

namespace kelvarid {

inline constexpr const wchar_t* kInstanceMutexName = product::kInstanceMutexName;
// Held, besides the one above, by kelvarid-service.exe: a start of the window program can tell
// the user that Kelvarid runs as a service.
inline constexpr const wchar_t* kServiceMutexName = product::kServiceMutexName;
// The exit code of a start that found Kelvarid already running.
inline constexpr int kAlreadyRunningExitCode = product::kAlreadyRunningExitCode;

// The mutex, or nothing when another process (in any session, under any account) holds it.
inline UniqueHandle ClaimInstance(const wchar_t* name = kInstanceMutexName) {
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, name));
    // Held by another account, the name exists but cannot be opened: that also means taken.
    const DWORD error = GetLastError();
    if (!mutex || error == ERROR_ALREADY_EXISTS) return UniqueHandle();
    return mutex;
}

// Whether kelvarid-service.exe holds its mutex now; one held under another account cannot be
// opened, which says the same.
inline bool ServiceRuns() {
    const UniqueHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, kServiceMutexName));
    return mutex || GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace kelvarid
