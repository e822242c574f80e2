#include "platform/fatal.h"

#include <windows.h>

#include <string>

namespace kelvarid {

void Fatal(std::wstring_view what) {
    const std::wstring text(what);
    // No owner: the window may be the very thing that failed.
    MessageBoxW(nullptr, text.c_str(), L"Kelvarid", MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
    ExitProcess(kFatalExitCode);
}

void FatalWithLastError(std::wstring_view what) {
    const DWORD error = GetLastError();
    std::wstring text(what);
    text += L"\n\n";
    wchar_t* system = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&system), 0, nullptr);
    if (length != 0) {
        text.append(system, length);
        LocalFree(system);
    }
    text += L" (" + std::to_wstring(error) + L")";
    Fatal(text);
}

}  // namespace kelvarid
