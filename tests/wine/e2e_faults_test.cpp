// The real kelvarid.exe under Wine when things around it go wrong: a library named like the
// serial-line library planted where Windows looks for DLLs, and a port another process holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

#include "tests/wine/harness.h"

namespace e2e {
namespace {

constexpr int kStartTimeoutMs = 20000;

// Puts a folder in front of PATH for the programs started while it lives.
class PathPrefix {
public:
    explicit PathPrefix(const std::wstring& folder) {
        wchar_t old[32768];
        const DWORD length = GetEnvironmentVariableW(L"PATH", old, 32768);
        old_.assign(old, length < 32768 ? length : 0);
        SetEnvironmentVariableW(L"PATH", (folder + L";" + old_).c_str());
    }
    ~PathPrefix() { SetEnvironmentVariableW(L"PATH", old_.c_str()); }

private:
    std::wstring old_;
};

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

// The lines of the stand-in's marker file: the full path of each copy a process loaded.
std::vector<std::wstring> LoadedCopies(const std::wstring& marker) {
    std::vector<std::wstring> copies;
    for (const std::string& line : ReadLines(marker)) {
        copies.push_back(Lower(std::wstring(line.begin(), line.end())));
    }
    return copies;
}

// kelvarid.exe alone in one folder; a stand-in serline.dll planted in the folder it is
// started in and in a folder on PATH. Each copy of the stand-in notes when it is loaded.
struct PlantedLibraries {
    PlantedLibraries() {
        programFolder.CopyIn(BuiltFile("kelvarid.exe"), L"kelvarid.exe");
        currentFolder.CopyIn(BuiltFile("tests/wine/standin/serline.dll"), L"serline.dll");
        pathFolder.CopyIn(BuiltFile("tests/wine/standin/serline.dll"), L"serline.dll");
    }
    std::unique_ptr<Program> Start() {
        PathPrefix path(pathFolder.path());
        return std::make_unique<Program>(programFolder / L"kelvarid.exe",
                                         std::vector<std::pair<std::wstring, std::wstring>>{
                                             {L"KELVARID_STANDIN_PORTS", L"1234"},
                                             {L"KELVARID_STANDIN_LOG", marker / L"calls.log"},
                                             {L"KELVARID_STANDIN_MARKER", marker / L"loaded.txt"}},
                                         currentFolder.path());
    }
    std::vector<std::wstring> Loaded() const { return LoadedCopies(marker / L"loaded.txt"); }

    Folder programFolder, currentFolder, pathFolder, marker;
};

TEST(SafeLoading, APlantedLibraryIsNeverLoadedWhenNoneLiesBesideTheProgram) {
    PlantedLibraries planted;
    const auto program = planted.Start();
    const BoxView box = program->WaitForBox(kStartTimeoutMs);
    ASSERT_NE(box.window, nullptr) << "no error box";
    EXPECT_EQ(box.title, L"Kelvarid");
    EXPECT_NE(box.text.find(L"serline.dll"), std::wstring::npos) << "the box does not name the library";
    EXPECT_NE(Lower(box.text).find(Lower(planted.programFolder.path())), std::wstring::npos)
        << "the box does not say where the library was looked for: " << std::string(box.text.begin(), box.text.end());
    EXPECT_TRUE(planted.Loaded().empty()) << "a planted copy was loaded";
    EXPECT_TRUE(ReadCalls(planted.marker / L"calls.log").empty()) << "a planted copy was called";
    ASSERT_TRUE(CloseBox(box));
    ASSERT_TRUE(program->WaitForExit(5000)) << "the program hangs after the error";
    EXPECT_EQ(program->ExitCode(), 3u);
    EXPECT_TRUE(planted.Loaded().empty());
}

TEST(SafeLoading, OnlyTheLibraryBesideTheProgramIsLoaded) {
    PlantedLibraries planted;
    planted.programFolder.CopyIn(BuiltFile("tests/wine/standin/serline.dll"), L"serline.dll");
    const auto program = planted.Start();
    const BoxView box = program->WaitForBox(kStartTimeoutMs);
    ASSERT_NE(box.window, nullptr) << "no start-up box";
    EXPECT_EQ(box.text, L"Nastaven port COM1");
    EXPECT_EQ(planted.Loaded(), std::vector<std::wstring>{Lower(planted.programFolder / L"serline.dll")});
    EXPECT_EQ(CallsStartingWith(ReadCalls(planted.marker / L"calls.log"), "OPENCOM").size(), 5u);
}

// kelvarid.exe with the real serline.dll beside it, on the ports with_pty.sh prepared.
struct RealLibraryRun {
    RealLibraryRun() {
        folder.CopyIn(BuiltFile("kelvarid.exe"), L"kelvarid.exe");
        folder.CopyIn(BuiltFile("serline.dll"), L"serline.dll");
        program = std::make_unique<Program>(folder / L"kelvarid.exe",
                                            std::vector<std::pair<std::wstring, std::wstring>>{});
    }
    HWND Option(const wchar_t* caption) const { return ChildWithText(program->MainWindow(), L"Button", caption); }

    Folder folder;
    std::unique_ptr<Program> program;
};

std::wstring Variable(const wchar_t* name) {
    wchar_t value[64];
    const DWORD length = GetEnvironmentVariableW(name, value, 64);
    return std::wstring(value, length < 64 ? length : 0);
}

// Wine keeps no serial device exclusive between processes, so the other program that holds
// COM2 is a Linux one: it keeps the terminal locked, and opening COM2 fails as opening a
// port held by another program fails on Windows. COM1 is a free terminal, COM3 and COM4 lead
// nowhere.
TEST(HeldPort, APortAnotherProgramHoldsIsGreyedOutAtStartUpWithNoCrash) {
    ASSERT_EQ(Variable(L"KELVARID_TEST_FREE_PORTS"), L"1") << "run this test through with_pty.sh";
    ASSERT_EQ(Variable(L"KELVARID_TEST_HELD_PORTS"), L"2") << "run this test through with_pty.sh";
    HANDLE held = CreateFileW(L"\\\\.\\COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD heldError = GetLastError();
    ASSERT_EQ(held, INVALID_HANDLE_VALUE) << "COM2 is not held: this process opened it";
    ASSERT_NE(heldError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "no device at COM2 at all";
    std::printf("opening the held COM2 fails with error %lu\n", heldError);

    RealLibraryRun run;
    const BoxView box = run.program->WaitForBox(kStartTimeoutMs);
    ASSERT_NE(box.window, nullptr) << "no start-up box";
    EXPECT_EQ(box.title, L"Port");
    EXPECT_EQ(box.text, L"Nastaven port COM1");
    EXPECT_TRUE(IsWindowEnabled(run.Option(L"COM1")));
    EXPECT_FALSE(IsWindowEnabled(run.Option(L"COM2")));
    EXPECT_FALSE(IsWindowEnabled(run.Option(L"COM3")));
    EXPECT_FALSE(IsWindowEnabled(run.Option(L"COM4")));
    ASSERT_TRUE(CloseBox(box));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(run.program->MainWindow()) != FALSE; }, 5000));

    // A click on the greyed-out COM2 does nothing; the program stays up and keeps COM1.
    ClickAt(run.Option(L"COM2"));
    EXPECT_FALSE(run.program->WaitForExit(2000)) << "the program ended, code " << run.program->ExitCode();
    EXPECT_TRUE(run.program->Boxes().empty());
    EXPECT_EQ(SendMessageW(run.Option(L"COM1"), BM_GETCHECK, 0, 0), BST_CHECKED);
}

}  // namespace
}  // namespace e2e
