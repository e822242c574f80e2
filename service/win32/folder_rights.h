// The rights of the service's two folders, set whole: owner Administrators, an access list of
// its own that inherits nothing from above, and everything in the folder inheriting only from
// it. Whatever was there before goes: a user who made the folder first keeps no entry and no
// ownership, so that he can neither replace serline.dll where the service loads it from nor
// plant a record. Windows' own security functions, which every Windows has.
#pragma once

#include <windows.h>

#include <string>

#include "platform/handles.h"

namespace kelvarid {

enum class ServiceFolder {
    // The program's folder, in either mode: administrators and SYSTEM change it; users and the
    // service's account read and run what is there.
    Program,
    // The record's folder: administrators and SYSTEM change it, the service writes its record
    // there (by its own SID where the installed service has one, else as LocalService), nobody
    // else even reads it.
    Record,
};

// The descriptor that SecureServiceFolder gives `folder` itself; empty when it cannot be made
// (GetLastError says why).
UniqueDescriptor ServiceFolderDescriptor(ServiceFolder folder);

// Told of each folder moved aside: where it was and where it went.
using MovedAsideReport = void (*)(const std::wstring& from, const std::wstring& to);

// `path` made with its rights where nothing is, else given them: the folder itself, opened
// without following a junction or link, and everything in it. A folder that is a junction or
// link, a file in its place, or a folder an account other than Administrators, SYSTEM or this
// one owns is moved aside and made anew: a user may have made it to have another folder's
// rights changed, or to plant a file. 0 or the system's error number.
unsigned long SecureServiceFolder(const std::wstring& path, ServiceFolder folder, MovedAsideReport report);

// The installed service's own access list: only administrators and SYSTEM may send it its own
// controls (a drill stops the pulses), start or stop it; users may only see its state. And its
// own SID, where Windows has service SIDs. 0 or the system's error number.
unsigned long SetServiceControlRights();

}  // namespace kelvarid
