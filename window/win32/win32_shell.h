// Web addresses go to the system's default handler through ShellExecuteA of shell32.dll,
// which is loaded and bound on the first call: most runs never open a page.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "platform/handles.h"
#include "window/form_window.h"

namespace kelvarid {

class Win32Shell final : public Shell {
public:
    void OpenWebPage(const char* address) override;

private:
    using ShellExecuteFn = decltype(&::ShellExecuteA);

    UniqueModule shell32_;
    ShellExecuteFn shellExecute_ = nullptr;
};

}  // namespace kelvarid
