// What the end-to-end tests need to run the real kelvarid.exe under Wine and look at it from
// outside: a folder of its own, the process, its windows, real mouse clicks and the log of
// the recording stand-in library.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/wine/clock.h"
#include "tests/wine/screenshot.h"
#include "window/form1_layout.h"

namespace e2e {

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

// The lines of a text file another process may still be writing; a last line without its
// newline is left out. Empty when the file is not there.
std::vector<std::string> ReadLines(const std::wstring& path);

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
    // Waits until the program waits for input with nothing left to do.
    bool WaitForIdle(int timeoutMs) const;
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
// Moves the mouse through the system's input queue, as a hand on the mouse would.
void MoveMouseTo(int screenX, int screenY);
// Closes a message box by clicking its OK button and waits until it is gone.
bool CloseBox(const BoxView& box);

}  // namespace e2e

namespace e2e {

RECT WindowRect(HWND window);
// Where a control of the window's description lies, in client pixels at `dpi`.
RECT RectOf(kelvarid::ControlId control, int dpi = 96);

}  // namespace e2e

namespace e2e {

inline constexpr int kStartTimeoutMs = 20000;

// A registry value set for as long as the object lives, then put back as it was.
class RegistryOverride {
public:
    RegistryOverride(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD type, const void* data, DWORD size);
    RegistryOverride(HKEY root, const wchar_t* subkey, const wchar_t* name, const std::wstring& text);
    ~RegistryOverride();
    RegistryOverride(const RegistryOverride&) = delete;
    RegistryOverride& operator=(const RegistryOverride&) = delete;
    bool ok() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
    const wchar_t* name_;
    DWORD previousType_ = 0;
    std::vector<BYTE> previous_;
    bool hadPrevious_ = false;
};

// kelvarid.exe with the recording stand-in as its serline.dll, in a folder of their own.
class StandinRun {
public:
    // openPorts: the port numbers whose OPENCOM succeeds, "3" or "1234".
    explicit StandinRun(const wchar_t* openPorts);

    // From now on the stand-in opens these ports ("13") and TXD returns `txdResult`.
    void SetOpenPorts(const char* ports) const;
    void SetTxdResult(int txdResult) const;

    std::vector<Call> Calls() const { return ReadCalls(folder / L"calls.log"); }
    std::vector<Call> Calls(const std::string& prefix) const { return CallsStartingWith(Calls(), prefix); }
    HWND Main() const { return program->MainWindow(); }
    HWND Option(const wchar_t* caption) const { return ChildWithText(Main(), L"Button", caption); }

    // Closes the start-up box, and any box of a port selected by taking the focus, and waits
    // for the window to show. False when that does not happen.
    bool PastStartUp();
    // Closes the start-up box as soon as the line first rises, so that the window shows while
    // the line is still high. False when that does not happen.
    bool ShowWhileTheLineIsHigh();

    Folder folder;
    std::unique_ptr<Program> program;
};

}  // namespace e2e
