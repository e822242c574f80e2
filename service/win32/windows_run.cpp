#include "service/win32/windows_run.h"

#include <windows.h>

#include "platform/handles.h"

namespace kelvarid {

namespace {

// Under the account's own hive (HKEY_USERS\S-1-5-19 for LocalService): only its own account and
// administrators can change it, and the service needs no rights elsewhere. The volatile key
// lies under a lasting one, as the registry requires.
constexpr wchar_t kParentKey[] = L"Software\\Kelvarid";
constexpr wchar_t kMarkKey[] = L"WindowsRun";

UniqueKey CreateKey(HKEY parent, const wchar_t* name, DWORD options, DWORD* disposition) {
    HKEY made = nullptr;
    if (RegCreateKeyExW(parent, name, 0, nullptr, options, KEY_CREATE_SUB_KEY, nullptr, &made, disposition) !=
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
    const UniqueKey parent = CreateKey(user.get(), kParentKey, REG_OPTION_NON_VOLATILE, nullptr);
    if (!parent) return WindowsRun::Unknown;
    DWORD disposition = 0;
    const UniqueKey mark = CreateKey(parent.get(), kMarkKey, REG_OPTION_VOLATILE, &disposition);
    if (!mark) return WindowsRun::Unknown;
    return disposition == REG_OPENED_EXISTING_KEY ? WindowsRun::Same : WindowsRun::New;
}

}  // namespace kelvarid
