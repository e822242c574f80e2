#include "platform/win32_shell.h"

#include <string>

#include "platform/fatal.h"

namespace kelvarid {

namespace {

// shell32.dll from the system folder, by its full path.
HMODULE LoadShell32() {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) FatalWithLastError(L"The system folder cannot be found.");
    const std::wstring path = std::wstring(folder, length) + L"\\shell32.dll";
    HMODULE shell32 = LoadLibraryW(path.c_str());
    if (shell32 == nullptr) FatalWithLastError(L"shell32.dll cannot be loaded from " + path);
    return shell32;
}

}  // namespace

void Win32Shell::OpenWebPage(const char* address) {
    if (shellExecute_ == nullptr) {
        shell32_.reset(LoadShell32());
        const FARPROC bound = GetProcAddress(shell32_.get(), "ShellExecuteA");
        if (bound == nullptr) Fatal(L"shell32.dll lacks the function ShellExecuteA.");
        shellExecute_ = reinterpret_cast<ShellExecuteFn>(reinterpret_cast<void*>(bound));
    }
    // No owner, the default action, show normally. The shell tells the user itself when
    // nothing handles web addresses, so the result is not looked at.
    shellExecute_(nullptr, nullptr, address, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace kelvarid
