#include "platform/privilege.h"

#include <windows.h>

#include "platform/handles.h"

namespace kelvarid {

unsigned long EnablePrivilege(const wchar_t* name) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return GetLastError();
    const UniqueHandle token(raw);
    TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) return GetLastError();
    // It succeeds also when the account lacks the privilege, and says so only in the last error.
    if (!AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr)) return GetLastError();
    return GetLastError();
}

}  // namespace kelvarid
