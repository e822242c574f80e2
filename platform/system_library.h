// Libraries the program binds only when it first needs them.
#pragma once

#include <windows.h>

namespace kelvarid {

// `name` from the system folder, by its full path: never a copy from anywhere else. A library
// that cannot be loaded is a fatal error.
HMODULE LoadSystemLibrary(const wchar_t* name);
// The same for what the program can do without: nullptr when it cannot be loaded.
HMODULE LoadOptionalSystemLibrary(const wchar_t* name);

// A function of `library`; missing, it is a fatal error naming both.
FARPROC FindFunction(HMODULE library, const wchar_t* libraryName, const char* function);

template <typename Function>
Function BindFunction(HMODULE library, const wchar_t* libraryName, const char* function) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(FindFunction(library, libraryName, function)));
}

// The same for what the program can do without: nullptr when the function is missing.
template <typename Function>
Function BindOptionalFunction(HMODULE library, const char* function) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, function)));
}

}  // namespace kelvarid
