#include "platform/fatal.h"

#include <windows.h>

#include <string>

#include "platform/handles.h"
#include "platform/messages.h"

namespace kelvarid {

namespace {

// Set once at start-up, before anything can fail; the only state the fatal path has.
FatalCleanup fatalCleanup = nullptr;
void* fatalCleanupContext = nullptr;
FatalReporter fatalReporter = nullptr;
void* fatalReporterContext = nullptr;

void RunCleanupOnce() {
    // A failure inside the cleanup comes back here: it must not run the cleanup again.
    const FatalCleanup cleanup = fatalCleanup;
    fatalCleanup = nullptr;
    if (cleanup != nullptr) cleanup(fatalCleanupContext);
}

DWORD WINAPI ShowFatalBox(void* text) {
    // No owner: the window may be the very thing that failed.
    MessageBoxW(nullptr, static_cast<const wchar_t*>(text), texts::kBoxTitle, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return 0;
}

}  // namespace

void SetFatalCleanup(FatalCleanup cleanup, void* context) {
    fatalCleanup = cleanup;
    fatalCleanupContext = context;
}

void SetFatalReporter(FatalReporter reporter, void* context) {
    fatalReporter = reporter;
    fatalReporterContext = context;
}

void Fatal(std::wstring_view what) {
    RunCleanupOnce();
    if (fatalReporter != nullptr) {
        fatalReporter(what, fatalReporterContext);
        ExitProcess(kFatalExitCode);
    }
    const std::wstring text(what);
    // The box gets a thread of its own while this one waits without dispatching anything:
    // no timer tick or click can run a handler, and fail again, behind the box. Nobody may
    // be there to close it: after a while the program ends all the same.
    const UniqueHandle reporter(CreateThread(nullptr, 0, &ShowFatalBox, const_cast<wchar_t*>(text.c_str()), 0, nullptr));
    if (reporter) {
        WaitForSingleObject(reporter.get(), kFatalBoxTimeoutMs);
    } else {
        ShowFatalBox(const_cast<wchar_t*>(text.c_str()));
    }
    ExitProcess(kFatalExitCode);
}

void FatalWithLastError(std::wstring_view what) { FatalWithError(what, GetLastError()); }

void FatalWithError(std::wstring_view what, unsigned long error) {
    std::wstring text(what);
    text += L"\n\n";
    wchar_t* system = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&system), 0, nullptr);
    const UniqueLocalMemory owned(system);
    if (length != 0) text.append(system, length);
    text += L" (" + texts::Decimal(error) + L")";
    Fatal(text);
}

}  // namespace kelvarid
