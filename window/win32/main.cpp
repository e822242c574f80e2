// kelvarid.exe: the window, its handlers, the serial line and the shell, put together.
#include <windows.h>

#include "platform/fatal.h"
#include "platform/make_way.h"
#include "platform/one_instance.h"
#include "platform/power.h"
#include "window/win32/win32_form.h"
#include "window/win32/win32_shell.h"
#include "serial/module1.h"
#include "window/form1.h"
#include "window/texts.h"

namespace {

constexpr unsigned kMakeWayPollMs = 500;

void UnloadForm(void* form) { static_cast<kelvarid::Form1*>(form)->Unload(); }

// What an installer's request to make way must reach: the line, the library that holds the
// port, and the mutex that a successor must find free.
struct Running {
    kelvarid::Form1& form;
    kelvarid::Module1& serialLine;
    kelvarid::UniqueHandle& instanceMutex;
    kelvarid::MakeWayEvents& requests;
};

// Asked twice a second, also while the start-up box waits for a click that may never come.
void AnswerMakeWay(void* running) {
    auto& now = *static_cast<Running*>(running);
    const kelvarid::MakeWayRequest request = now.requests.Pending();
    if (request == kelvarid::MakeWayRequest::None) return;
    now.form.Unload();            // the line lowered
    now.serialLine.Release();     // the port let go, for the successor's probe
    now.instanceMutex.reset();    // and the mutex
    now.requests.StopListening(); // and the names of the requests
    if (request == kelvarid::MakeWayRequest::Restart) (void)kelvarid::StartSuccessor();
    ExitProcess(0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The service first: where it runs, it pulses whatever names someone else made.
    kelvarid::UniqueHandle instanceMutex = kelvarid::ServiceRuns() ? nullptr : kelvarid::ClaimInstance();
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
    kelvarid::MakeWayEvents requests;
    Running running{form1, serialLine, instanceMutex, requests};
    window.PollEvery(kMakeWayPollMs, &AnswerMakeWay, &running);
    return window.Run(form1);
}
