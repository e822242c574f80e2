#include "tests/wine/harness.h"

#include <gtest/gtest.h>

#include "window/twips.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

// Vista's, above the programs' floor: the tests run under a Wine that has it.
extern "C" __declspec(dllimport) BOOL WINAPI SetProcessDPIAware();

namespace e2e {

namespace {

// The tests read the screen in real pixels, as the program draws them, whatever the DPI.
const bool kDpiAware = SetProcessDPIAware() != FALSE;

}  // namespace

bool WaitUntil(const std::function<bool()>& ready, int timeoutMs) {
    const long long deadline = NowMicroseconds() + static_cast<long long>(timeoutMs) * 1000;
    for (;;) {
        if (ready()) return true;
        if (NowMicroseconds() > deadline) return false;
        Sleep(10);
    }
}

Folder::Folder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter = 0;
    for (;;) {
        path_ = std::wstring(temp) + L"kelvarid-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
        if (CreateDirectoryW(path_.c_str(), nullptr)) return;
        if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create a test folder");
    }
}

Folder::~Folder() {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") DeleteFileW((path_ + L"\\" + name).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path_.c_str());
}

void Folder::CopyIn(const std::wstring& from, const std::wstring& name) const {
    if (!CopyFileW(from.c_str(), (*this / name).c_str(), FALSE)) {
        throw std::runtime_error("cannot copy a built file into the test folder");
    }
}

std::wstring BuiltFile(const char* relativeToBuild) {
    // Wine shows the Linux file system as drive Z:.
    std::wstring path = L"Z:";
    for (const char* c = KELVARID_BUILD_DIR; *c != '\0'; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    path += L'\\';
    for (const char* c = relativeToBuild; *c != '\0'; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return path;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::vector<std::string> lines;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lines;
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    CloseHandle(file);
    std::size_t start = 0;
    for (std::size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(content.substr(start, end - start));
    }
    return lines;
}

std::vector<Call> ReadCalls(const std::wstring& logPath) {
    std::vector<Call> calls;
    for (const std::string& line : ReadLines(logPath)) {
        const auto firstSpace = line.find(' ');
        const auto arrow = line.rfind(" -> ");
        if (firstSpace == std::string::npos || arrow == std::string::npos) continue;
        calls.push_back(Call{std::stoll(line.substr(0, firstSpace)), line.substr(firstSpace + 1, arrow - firstSpace - 1),
                             std::stoi(line.substr(arrow + 4))});
    }
    return calls;
}

std::vector<Call> CallsStartingWith(const std::vector<Call>& calls, const std::string& prefix) {
    std::vector<Call> picked;
    for (const Call& call : calls) {
        if (call.call.rfind(prefix, 0) == 0) picked.push_back(call);
    }
    return picked;
}

Program::Program(const std::wstring& exe, const std::vector<std::pair<std::wstring, std::wstring>>& environment,
                 const std::wstring& workingFolder) {
    for (const auto& [name, value] : environment) SetEnvironmentVariableW(name.c_str(), value.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + exe + L"\"";
    const std::wstring folder = workingFolder.empty() ? exe.substr(0, exe.find_last_of(L'\\')) : workingFolder;
    const BOOL started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        folder.c_str(), &startup, &info_);
    for (const auto& entry : environment) SetEnvironmentVariableW(entry.first.c_str(), nullptr);
    if (!started) throw std::runtime_error("cannot start the program");
}

Program::~Program() {
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool Program::WaitForExit(int timeoutMs) const {
    return WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

bool Program::WaitForIdle(int timeoutMs) const {
    return WaitForInputIdle(info_.hProcess, static_cast<DWORD>(timeoutMs)) == 0;
}

DWORD Program::ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

namespace {

struct WindowSearch {
    DWORD process;
    const wchar_t* className;
    const wchar_t* title;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process) return TRUE;
    wchar_t className[64];
    GetClassNameW(window, className, 64);
    if (search->className != nullptr && lstrcmpW(className, search->className) != 0) return TRUE;
    if (search->title != nullptr && TextOf(window) != search->title) return TRUE;
    search->found.push_back(window);
    return TRUE;
}

struct ChildSearch {
    const wchar_t* className;
    const wchar_t* text;
    HWND found = nullptr;
    std::vector<HWND> all;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<ChildSearch*>(context);
    wchar_t className[64];
    GetClassNameW(window, className, 64);
    if (lstrcmpiW(className, search->className) != 0) return TRUE;
    search->all.push_back(window);
    if (search->text != nullptr && TextOf(window) == search->text && search->found == nullptr) search->found = window;
    return TRUE;
}

}  // namespace

std::vector<HWND> Program::TopWindows(const wchar_t* className, const wchar_t* title) const {
    WindowSearch search{info_.dwProcessId, className, title, {}};
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Program::MainWindow() const {
    const auto windows = TopWindows(L"KelvaridForm", L"Kelvarid");
    return windows.empty() ? nullptr : windows.front();
}

std::vector<BoxView> Program::Boxes() const {
    std::vector<BoxView> boxes;
    for (HWND window : TopWindows(L"#32770")) {
        if (!IsWindowVisible(window)) continue;
        BoxView box;
        box.window = window;
        box.title = TextOf(window);
        ChildSearch statics{L"Static", nullptr, nullptr, {}};
        EnumChildWindows(window, &CollectChild, reinterpret_cast<LPARAM>(&statics));
        for (HWND label : statics.all) {
            const std::wstring text = TextOf(label);
            if (!text.empty()) box.text = text;
        }
        box.ok = GetDlgItem(window, IDOK);
        boxes.push_back(box);
    }
    return boxes;
}

BoxView Program::WaitForBox(int timeoutMs) const {
    BoxView box;
    WaitUntil([&] {
        const auto boxes = Boxes();
        if (boxes.size() != 1 || boxes.front().ok == nullptr) return false;
        box = boxes.front();
        return true;
    }, timeoutMs);
    return box;
}

HWND ChildWithText(HWND parent, const wchar_t* className, const wchar_t* text) {
    ChildSearch search{className, text, nullptr, {}};
    EnumChildWindows(parent, &CollectChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring TextOf(HWND window) {
    wchar_t text[512];
    const int length = GetWindowTextW(window, text, 512);
    return std::wstring(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

void MoveMouseTo(int screenX, int screenY) {
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = MulDiv(screenX, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    move.mi.dy = MulDiv(screenY, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &move, sizeof move);
}

void ClickAt(HWND window, int x, int y) {
    POINT at{x, y};
    ClientToScreen(window, &at);
    MoveMouseTo(at.x, at.y);
    Sleep(30);
    INPUT press[2]{};
    press[0].type = INPUT_MOUSE;
    press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    press[1].type = INPUT_MOUSE;
    press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &press[0], sizeof(INPUT));
    Sleep(30);
    SendInput(1, &press[1], sizeof(INPUT));
    Sleep(30);
}

void ClickAt(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    ClickAt(window, (client.right - client.left) / 2, (client.bottom - client.top) / 2);
}

bool CloseBox(const BoxView& box) {
    if (box.ok == nullptr) return false;
    const auto gone = [&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); };
    // A box that has just shown may not take a click yet: clicked again while it stays, three
    // times at most.
    for (int click = 0; click < 3; ++click) {
        ClickAt(box.ok);
        if (WaitUntil(gone, 1700)) return true;
    }
    return false;
}

}  // namespace e2e

namespace e2e {


RECT WindowRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

RECT RectOf(kelvarid::ControlId control, int dpi) {
    return kelvarid::PixelRectOf<RECT>(kelvarid::RowOf(control).rect, dpi);
}

}  // namespace e2e

namespace e2e {

RegistryOverride::RegistryOverride(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD type,
                                   const void* data, DWORD size)
    : name_(name) {
    if (RegCreateKeyExW(root, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) != ERROR_SUCCESS) {
        key_ = nullptr;
        return;
    }
    DWORD previousSize = 0;
    hadPrevious_ = RegQueryValueExW(key_, name_, nullptr, &previousType_, nullptr, &previousSize) == ERROR_SUCCESS;
    if (hadPrevious_) {
        previous_.resize(previousSize);
        RegQueryValueExW(key_, name_, nullptr, &previousType_, previous_.data(), &previousSize);
    }
    RegSetValueExW(key_, name_, 0, type, static_cast<const BYTE*>(data), size);
}

RegistryOverride::RegistryOverride(HKEY root, const wchar_t* subkey, const wchar_t* name, const std::wstring& text)
    : RegistryOverride(root, subkey, name, REG_SZ, text.c_str(),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) {}

RegistryOverride::~RegistryOverride() {
    if (key_ == nullptr) return;
    if (hadPrevious_) {
        RegSetValueExW(key_, name_, 0, previousType_, previous_.data(), static_cast<DWORD>(previous_.size()));
    } else {
        RegDeleteValueW(key_, name_);
    }
    RegCloseKey(key_);
}

StandinRun::StandinRun(const wchar_t* openPorts) {
    folder.CopyIn(BuiltFile("kelvarid.exe"), L"kelvarid.exe");
    folder.CopyIn(BuiltFile("tests/wine/standin/serline.dll"), L"serline.dll");
    program = std::make_unique<Program>(folder / L"kelvarid.exe",
                                        std::vector<std::pair<std::wstring, std::wstring>>{
                                            {L"KELVARID_STANDIN_PORTS", openPorts},
                                            {L"KELVARID_STANDIN_PORTS_FILE", folder / L"ports.txt"},
                                            {L"KELVARID_STANDIN_TXD_FILE", folder / L"txd.txt"},
                                            {L"KELVARID_STANDIN_LOG", folder / L"calls.log"}});
}

namespace {

void WriteWholeFile(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

void StandinRun::SetOpenPorts(const char* ports) const { WriteWholeFile(folder / L"ports.txt", ports); }

void StandinRun::SetTxdResult(int txdResult) const { WriteWholeFile(folder / L"txd.txt", std::to_string(txdResult)); }

bool StandinRun::ShowWhileTheLineIsHigh() {
    const BoxView box = program->WaitForBox(kStartTimeoutMs);
    if (!WaitUntil([&] { return !Calls("TXD 1").empty(); }, 3000)) return false;
    if (!CloseBox(box)) return false;
    return WaitUntil([&] { return IsWindowVisible(Main()) != FALSE; }, 3000);
}

bool StandinRun::PastStartUp() {
    BoxView box = program->WaitForBox(kStartTimeoutMs);
    if (!CloseBox(box)) {
        ADD_FAILURE() << (box.window ? "the start-up box did not close" : "no start-up box");
        return false;
    }
    if (!WaitUntil([&] { return Main() != nullptr && IsWindowVisible(Main()); }, 5000)) {
        ADD_FAILURE() << "no window after the start-up box";
        return false;
    }
    for (int more = 0; more < 4; ++more) {
        box = program->WaitForBox(1000);
        if (box.window == nullptr) break;
        if (!CloseBox(box)) {
            ADD_FAILURE() << "a box after the start-up did not close";
            return false;
        }
    }
    for (const BoxView& left : program->Boxes()) ADD_FAILURE() << "a box is left: " << left.title << ": " << left.text;
    return program->Boxes().empty();
}

}  // namespace e2e
