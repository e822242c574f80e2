// Web addresses go to the system's default handler through ShellExecuteA.
#pragma once

#include "window/form_window.h"

namespace kelvarid {

class Win32Shell final : public Shell {
public:
    void OpenWebPage(const char* address) override;
};

}  // namespace kelvarid
