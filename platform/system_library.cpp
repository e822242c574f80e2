#include "platform/system_library.h"

#include <string>

#include "platform/fatal.h"
#include "platform/messages.h"

namespace kelvarid {

namespace {

// Empty when the system folder cannot be found.
std::wstring SystemLibraryPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(folder, length) + L"\\" + name;
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) {
    const std::wstring path = SystemLibraryPath(name);
    if (path.empty()) FatalWithLastError(texts::kNoSystemFolder);
    HMODULE library = LoadLibraryW(path.c_str());
    if (library == nullptr) {
        FatalWithLastError(texts::SystemLibraryNotLoaded(name, path));
    }
    return library;
}

HMODULE LoadOptionalSystemLibrary(const wchar_t* name) {
    const std::wstring path = SystemLibraryPath(name);
    return path.empty() ? nullptr : LoadLibraryW(path.c_str());
}

FARPROC FindFunction(HMODULE library, const wchar_t* libraryName, const char* function) {
    const FARPROC found = GetProcAddress(library, function);
    if (found != nullptr) return found;
    std::wstring name;
    for (const char* c = function; *c != '\0'; ++c) name += static_cast<wchar_t>(*c);
    Fatal(texts::FunctionMissing(libraryName, name));
}

}  // namespace kelvarid
