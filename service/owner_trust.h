// Whom Kelvarid trusts with what it then relies on: a folder it runs from or keeps its record in,
// and the names that say that Kelvarid runs. Anything an ordinary user could have made first is
// not taken as it is. Plain C++: the Windows side tells who owns an object.
#pragma once

#include <string>
#include <string_view>

namespace kelvarid {

// The owner of a folder or a named object, as far as trust goes.
enum class Owner {
    Administrators,  // the group, as Windows makes an administrator's objects from Vista on
    System,
    Self,            // the account asking: the administrator running the installer, the service's account
    Other,           // any other account: a user may have made it
    Unknown,         // the owner could not be read
};

// Administrators, SYSTEM and the account asking; nobody else.
bool IsTrustedOwner(Owner owner);

enum class FolderVerdict {
    Secure,    // the folder itself gets the rights
    MoveAside, // something a user may have put there: it goes aside and a folder is made anew
};

// A folder is used as it is only when it is a real folder (no junction, no link) that a trusted
// account owns; anything else at its place may lead elsewhere or hold what a user planted.
FolderVerdict VerdictOnFolder(bool isDirectory, bool isLink, Owner owner);

enum class NameVerdict {
    HeldByKelvarid,  // a copy of the service that is still ending, or an administrator's
    Squatted,        // made by an account that is not Kelvarid's, maybe to keep the service from running
};

// The service's own name, found already made when it starts.
NameVerdict VerdictOnServiceName(Owner owner);

// Where a folder that may not be used goes: "C:\ProgramData\Kelvarid.moved-2" for attempt 2.
std::wstring MovedAsideName(std::wstring_view path, unsigned attempt);

}  // namespace kelvarid
