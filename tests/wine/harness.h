// What the end-to-end tests need to run the real kelvarid.exe under Wine and look at it from
// outside: a folder of its own, the process, its windows, real mouse clicks and the log of
// the recording stand-in library.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

long long NowMicroseconds();  // the same clock the stand-in library logs with

// Polls `ready` every 10 ms until it holds or `timeoutMs` have passed.
bool WaitUntil(const std::function<bool()>& ready, int timeoutMs);

// A fresh folder under the temporary folder, removed with everything in it at the end.
class Folder {
public:
    Folder();
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }
    void CopyIn(const std::wstring& from, const std::wstring& name) const;

private:
    std::wstring path_;
};

// The built files, as Windows paths.
std::wstring BuiltFile(const char* relativeToBuild);

struct Call {
    long long at;        // microseconds
    std::string call;    // "OPENCOM COM1,1200,N,8,1" or "TXD 1"
    int result;
};
std::vector<Call> ReadCalls(const std::wstring& logPath);
std::vector<Call> CallsStartingWith(const std::vector<Call>& calls, const std::string& prefix);

struct BoxView {
    HWND window = nullptr;
    std::wstring title;
    std::wstring text;
    HWND ok = nullptr;
};

class Program {
public:
    // Starts `exe` with these variables added to its environment, in `workingFolder` (the
    // program's own folder when empty).
    Program(const std::wstring& exe, const std::vector<std::pair<std::wstring, std::wstring>>& environment,
            const std::wstring& workingFolder = {});
    ~Program();  // ends the process if it still runs
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    DWORD id() const { return info_.dwProcessId; }
    bool WaitForExit(int timeoutMs) const;
    DWORD ExitCode() const;

    // Top-level windows of the process with this class (and title, when given).
    std::vector<HWND> TopWindows(const wchar_t* className, const wchar_t* title = nullptr) const;
    HWND MainWindow() const;
    // The message boxes the process has open now.
    std::vector<BoxView> Boxes() const;
    // Waits for exactly one box to be open and returns it; an empty view on timeout.
    BoxView WaitForBox(int timeoutMs) const;

private:
    PROCESS_INFORMATION info_{};
};

HWND ChildWithText(HWND parent, const wchar_t* className, const wchar_t* text);
std::wstring TextOf(HWND window);

// A real left click, through the system's input queue, at the middle of `window`
// (or at `x`, `y` in its client area).
void ClickAt(HWND window);
void ClickAt(HWND window, int x, int y);
// Closes a message box by clicking its OK button and waits until it is gone.
bool CloseBox(const BoxView& box);

}  // namespace e2e
