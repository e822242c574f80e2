// kelvaridctl.exe: Kelvarid for administrators and monitoring systems, in a console or a script.
//   kelvaridctl status  the state of the pulses, as monitoring plugins report it: a first line,
//                       then a line each; exit code 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.
//   kelvaridctl drill   an administrator's drill, with the exit codes of kelvarid-service.exe --drill.
// kelvarid-service.exe beside it does the work (its --status and --drill): this console program
// gives it its output, waits for it and ends with its exit code, which a windowed program
// cannot do for a console or a script by itself. Nothing of the C or C++ library, not even its
// start-up: it stays small.
#include <windows.h>

namespace {

constexpr wchar_t kServiceProgram[] = L"kelvarid-service.exe";
constexpr wchar_t kUsage[] =
    L"kelvaridctl status   the state of Kelvarid's pulses; exit code 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN\r\n"
    L"kelvaridctl drill    an administrator's drill: the pulses stop until the circuit resets the machine\r\n";
constexpr wchar_t kNotStarted[] = L"KELVARID UNKNOWN - kelvarid-service.exe beside kelvaridctl.exe cannot be started\r\n";
constexpr DWORD kUnknown = 3;

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

void Write(const wchar_t* text) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (IsConsole(output)) {
        WriteConsoleW(output, text, lstrlenW(text), &written, nullptr);
        return;
    }
    char bytes[512];
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    if (size > 1) WriteFile(output, bytes, static_cast<DWORD>(size - 1), &written, nullptr);
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The one word after the program's own name, quoted or not, in `commandLine`, copied into
// `word`; false when there is none, more than one, or a longer one.
bool OnlyArgument(const wchar_t* line, wchar_t (&word)[16]) {
    if (*line == L'"') {
        ++line;
        while (*line != L'\0' && *line != L'"') ++line;
        if (*line == L'"') ++line;
    } else {
        while (*line != L'\0' && !IsBlank(*line)) ++line;
    }
    while (IsBlank(*line)) ++line;
    int length = 0;
    while (line[length] != L'\0' && !IsBlank(line[length])) {
        if (length + 1 >= 16) return false;
        word[length] = line[length];
        ++length;
    }
    word[length] = L'\0';
    line += length;
    while (IsBlank(*line)) ++line;
    return length > 0 && *line == L'\0';
}

// The option of kelvarid-service.exe for `command`; none for one it does not know.
const wchar_t* OptionFor(const wchar_t* command) {
    if (lstrcmpiW(command, L"status") == 0) return L"--status";
    if (lstrcmpiW(command, L"drill") == 0) return L"--drill";
    return nullptr;
}

// "<folder of this program>\kelvarid-service.exe"; false when it does not fit.
bool ServiceProgramPath(wchar_t (&path)[MAX_PATH]) {
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    DWORD folderEnd = length;
    while (folderEnd > 0 && path[folderEnd - 1] != L'\\') --folderEnd;
    if (folderEnd + lstrlenW(kServiceProgram) >= MAX_PATH) return false;
    lstrcpyW(path + folderEnd, kServiceProgram);
    return true;
}

DWORD Run() {
    wchar_t command[16];
    const wchar_t* option = OnlyArgument(GetCommandLineW(), command) ? OptionFor(command) : nullptr;
    if (option == nullptr) {
        Write(kUsage);
        return kUnknown;
    }
    wchar_t path[MAX_PATH];
    wchar_t commandLine[MAX_PATH + 16];
    if (!ServiceProgramPath(path)) {
        Write(kNotStarted);
        return kUnknown;
    }
    lstrcpyW(commandLine, L"\"");
    lstrcatW(commandLine, path);
    lstrcatW(commandLine, L"\" ");
    lstrcatW(commandLine, option);
    // Output that goes to a file or a pipe is handed over; a console's the program attaches to.
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const bool console = IsConsole(output);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = console ? nullptr : output;
    startup.hStdError = console ? nullptr : GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(path, commandLine, nullptr, nullptr, !console, 0, nullptr, nullptr, &startup, &started)) {
        Write(kNotStarted);
        return kUnknown;
    }
    CloseHandle(started.hThread);
    DWORD code = kUnknown;
    if (WaitForSingleObject(started.hProcess, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(started.hProcess, &code)) {
        code = kUnknown;
    }
    CloseHandle(started.hProcess);
    return code;
}

}  // namespace

// Where Windows starts the program.
extern "C" void __stdcall Start() { ExitProcess(Run()); }
