#include "platform/system_library.h"

#include <string>

#include "platform/fatal.h"

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
    if (path.empty()) FatalWithLastError(L"Systémovou složku nelze najít.\nThe system folder cannot be found.");
    HMODULE library = LoadLibraryW(path.c_str());
    if (library == nullptr) {
        FatalWithLastError(L"Knihovnu " + std::wstring(name) + L" nelze načíst.\n" + name + L" cannot be loaded from " + path);
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
    const std::wstring owner(libraryName);
    Fatal(L"Knihovna " + owner + L" nemá funkci " + name + L".\n" + owner + L" lacks the function " + name + L".");
}

}  // namespace kelvarid
