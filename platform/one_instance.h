// One Kelvarid per machine: a second one would find the port held and drive nothing, or a
// spare port. A machine-wide mutex, held for the whole run, says that one already runs; the
// installer and the uninstaller look for the same name.
#pragma once

#include <windows.h>

#include "platform/handles.h"
#include "product.h"

namespace kelvarid {

inline constexpr const wchar_t* kInstanceMutexName = product::kInstanceMutexName;
// Held, besides the one above, by kelvarid-service.exe, for the installer to find. Any account
// can make a name: the service's state is the service manager's to tell.
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

// Whether the service manager says that the service Kelvarid runs, starts or stops: a state no
// user can fake, as anyone could a name. Not installed, or stopped: false.
inline bool ServiceRuns() {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueServiceHandle service(
        manager ? OpenServiceW(manager.get(), product::kServiceName, SERVICE_QUERY_STATUS) : nullptr);
    SERVICE_STATUS status{};
    return service && QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED;
}

}  // namespace kelvarid
