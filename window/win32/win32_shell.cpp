#include "window/win32/win32_shell.h"

#include "platform/system_library.h"

namespace kelvarid {

void Win32Shell::OpenWebPage(const char* address) {
    if (shellExecute_ == nullptr) {
        shell32_.reset(LoadSystemLibrary(L"shell32.dll"));
        shellExecute_ = BindFunction<ShellExecuteFn>(shell32_.get(), L"shell32.dll", "ShellExecuteA");
    }
    // No owner, the default action, show normally. The shell tells the user itself when
    // nothing handles web addresses, so the result is not looked at.
    shellExecute_(nullptr, nullptr, address, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace kelvarid
