#include "service/win32/windows_run.h"

#include <windows.h>

#include "platform/handles.h"

namespace kelvarid {

namespace {

// Under the account's own hive (HKEY_USERS\S-1-5-19 for LocalService): only its own account and
// administrators can change it, and the service needs no rights elsewhere. Right under Software,
// which every hive has, so that nothing lasting is made: the key goes with the next start of
// Windows, and nothing of it stays on the disk.
constexpr wchar_t kMarkKey[] = L"Software\\KelvaridWindowsRun";

UniqueKey CreateKey(HKEY parent, const wchar_t* name, DWORD options, DWORD* disposition) {
    HKEY made = nullptr;
    if (RegCreateKeyExW(parent, name, 0, nullptr, options, KEY_QUERY_VALUE, nullptr, &made, disposition) !=
        ERROR_SUCCESS) {
        return UniqueKey();
    }
    return UniqueKey(made);
}

}  // namespace

WindowsRun MarkWindowsRun() {
    // A service's HKEY_CURRENT_USER may be another account's: the hive of this thread's own.
    HKEY opened = nullptr;
    if (RegOpenCurrentUser(KEY_CREATE_SUB_KEY, &opened) != ERROR_SUCCESS) return WindowsRun::Unknown;
    const UniqueKey user(opened);
    DWORD disposition = 0;
    const UniqueKey mark = CreateKey(user.get(), kMarkKey, REG_OPTION_VOLATILE, &disposition);
    if (!mark) return WindowsRun::Unknown;
    return disposition == REG_OPENED_EXISTING_KEY ? WindowsRun::Same : WindowsRun::New;
}

}  // namespace kelvarid
