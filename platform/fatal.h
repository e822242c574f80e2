// A failure the program cannot go on from: the user sees what failed, then the program ends
// with a non-zero exit code.
#pragma once

#include <string_view>

#include "product.h"

namespace kelvarid {

inline constexpr unsigned kFatalExitCode = product::kFatalExitCode;
// The fatal box ends the program by itself after this long: nobody may be at the machine.
inline constexpr unsigned kFatalBoxTimeoutMs = 60000;

// What runs once before the fatal box is shown: the serial line is lowered there, so that
// the port is never left raised while the box waits.
using FatalCleanup = void (*)(void* context);
void SetFatalCleanup(FatalCleanup cleanup, void* context);

// Where the failure is told instead of a box: a service has nobody to show a box to. Set
// at start-up, and taken back (nullptr) before what `context` points at goes; without it the
// box is shown.
using FatalReporter = void (*)(std::wstring_view what, void* context);
void SetFatalReporter(FatalReporter reporter, void* context);

[[noreturn]] void Fatal(std::wstring_view what);
// The same, with the system's text for `error` added.
[[noreturn]] void FatalWithError(std::wstring_view what, unsigned long error);
// The same, with the system's text for GetLastError() added.
[[noreturn]] void FatalWithLastError(std::wstring_view what);

}  // namespace kelvarid
