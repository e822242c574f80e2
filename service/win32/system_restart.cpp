#include "service/win32/system_restart.h"

#include <windows.h>

#include <string>

#include "platform/privilege.h"

namespace kelvarid {

namespace {

// Windows keeps at most this many characters of the reason's text.
constexpr std::size_t kMostMessage = 500;

}  // namespace

unsigned long AskWindowsToRestart(std::wstring_view check) {
    const unsigned long error = EnablePrivilege(SE_SHUTDOWN_NAME);
    if (error != 0) return error;
    std::wstring message = L"Kelvarid: kontrola zdraví selhala / the health check failed: ";
    message.append(check.substr(0, kMostMessage - message.size()));
    constexpr DWORD kReason = SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_HUNG;
    if (!InitiateSystemShutdownExW(nullptr, message.data(), 0, TRUE, TRUE, kReason)) return GetLastError();
    return 0;
}

}  // namespace kelvarid
