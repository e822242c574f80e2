// A failure the program cannot go on from: the user sees what failed, then the program ends
// with a non-zero exit code.
#pragma once

#include <string_view>

namespace kelvarid {

inline constexpr unsigned kFatalExitCode = 3;

[[noreturn]] void Fatal(std::wstring_view what);
// The same, with the system's text for GetLastError() added.
[[noreturn]] void FatalWithLastError(std::wstring_view what);

}  // namespace kelvarid
