#include "platform/win32_shell.h"

#include <windows.h>
#include <shellapi.h>

namespace kelvarid {

void Win32Shell::OpenWebPage(const char* address) {
    // No owner, the default action, show normally. The shell tells the user itself when
    // nothing handles web addresses, so the result is not looked at.
    ShellExecuteA(nullptr, nullptr, address, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace kelvarid
