#include "service/win32/say.h"

#include <windows.h>

#include <string>

namespace kelvarid {

void Say(std::wstring_view text) {
    std::wstring line(text);
    line += L"\r\n";
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (output != nullptr && output != INVALID_HANDLE_VALUE && !GetConsoleMode(output, &mode)) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
        std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
        WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), bytes.data(), size, nullptr, nullptr);
        WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        return;
    }
    if (output == nullptr || output == INVALID_HANDLE_VALUE) {
        if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
        output = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (output == INVALID_HANDLE_VALUE) return;
        SetStdHandle(STD_OUTPUT_HANDLE, output);
    }
    WriteConsoleW(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace kelvarid
