// A recording stand-in for serline.dll, for tests only. It opens no port: it answers OPENCOM
// as the test says and writes every call, with a timestamp, to a log the test reads.
//   KELVARID_STANDIN_PORTS  the port numbers that "open", e.g. "3" or "134"; unset: none
//   KELVARID_STANDIN_PORTS_FILE  a file holding those numbers instead, read at every call,
//                           so that a test can make a port come or go while the program runs
//   KELVARID_STANDIN_TXD_FILE    a file whose first character is the result TXD returns, "0"
//                           or "1", read at every call; unset or absent: 1
//   KELVARID_STANDIN_LOG    the log file; one line a call: "<microseconds> <call> -> <result>"
//   KELVARID_STANDIN_MARKER a file to which each copy of the stand-in, when a process loads it,
//                           adds a line with its own full path
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "serline/serline.h"
#include "tests/wine/clock.h"

namespace {

void Record(const char* call, short result) {
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("KELVARID_STANDIN_LOG", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    char line[256];
    const int size = std::snprintf(line, sizeof line, "%lld %s -> %d\n", e2e::NowMicroseconds(), call, result);
    HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(log, line, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(log);
}

// The start of the file named by `variable`, NUL-terminated; false when there is none.
bool ReadControlFile(const char* variable, char* text, DWORD size) {
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA(variable, path, sizeof path);
    if (length == 0 || length >= sizeof path) return false;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD read = 0;
    const BOOL ok = ReadFile(file, text, size - 1, &read, nullptr);
    CloseHandle(file);
    text[ok ? read : 0] = '\0';
    return ok != FALSE;
}

bool PortOpens(const char* settings) {
    if (settings == nullptr || std::strncmp(settings, "COM", 3) != 0) return false;
    const char number = settings[3];
    if (number < '1' || number > '9' || settings[4] != ',') return false;
    char ports[32];
    if (ReadControlFile("KELVARID_STANDIN_PORTS_FILE", ports, sizeof ports)) return std::strchr(ports, number) != nullptr;
    const DWORD length = GetEnvironmentVariableA("KELVARID_STANDIN_PORTS", ports, sizeof ports);
    return length > 0 && length < sizeof ports && std::strchr(ports, number) != nullptr;
}

short TxdResult() {
    char result[4];
    if (!ReadControlFile("KELVARID_STANDIN_TXD_FILE", result, sizeof result)) return 1;
    return result[0] == '0' ? 0 : 1;
}

void MarkLoaded(HMODULE self) {
    char marker[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("KELVARID_STANDIN_MARKER", marker, sizeof marker);
    if (length == 0 || length >= sizeof marker) return;
    char line[MAX_PATH + 2];
    const DWORD size = GetModuleFileNameA(self, line, MAX_PATH);
    if (size == 0 || size >= MAX_PATH) return;
    line[size] = '\n';
    HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, size + 1, &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) MarkLoaded(self);
    return TRUE;
}

short __stdcall OPENCOM(const char* settings) {
    const short result = PortOpens(settings) ? 1 : 0;
    char call[96];
    std::snprintf(call, sizeof call, "OPENCOM %.64s", settings != nullptr ? settings : "(null)");
    Record(call, result);
    return result;
}

short __stdcall TXD(short level) {
    char call[32];
    std::snprintf(call, sizeof call, "TXD %d", level);
    const short result = TxdResult();
    Record(call, result);
    return result;
}
