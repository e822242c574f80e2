// kelvarid.exe: the window, its handlers, the serial line and the shell, put together.
#include <windows.h>

#include "platform/fatal.h"
#include "platform/one_instance.h"
#include "platform/power.h"
#include "window/win32/win32_form.h"
#include "window/win32/win32_shell.h"
#include "serial/module1.h"
#include "window/form1.h"
#include "window/texts.h"

namespace {

void UnloadForm(void* form) { static_cast<kelvarid::Form1*>(form)->Unload(); }

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const kelvarid::UniqueHandle instanceMutex = kelvarid::ClaimInstance();
    if (!instanceMutex) {
        const wchar_t* text = kelvarid::ServiceRuns() ? kelvarid::texts::kAlreadyRunningAsService
                                                      : kelvarid::texts::kAlreadyRunning;
        MessageBoxW(nullptr, text, kelvarid::texts::kBoxTitle, MB_OK | MB_ICONINFORMATION);
        return kelvarid::kAlreadyRunningExitCode;
    }
    // Neither is a reason not to pulse: the program runs on as it can.
    (void)kelvarid::RunAheadOfOrdinaryWork();
    (void)kelvarid::KeepMachineAwake();
    kelvarid::Win32Form window(instance);
    kelvarid::Module1 serialLine;
    kelvarid::Win32Shell shell;
    kelvarid::Form1 form1(window, serialLine, shell);
    // A fatal error from here on lowers the line before its box waits.
    kelvarid::SetFatalCleanup(&UnloadForm, &form1);
    return window.Run(form1);
}
