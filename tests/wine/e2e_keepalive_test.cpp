// The real kelvarid.exe under Wine, with the recording stand-in beside it as serline.dll.
#include <gtest/gtest.h>

#include "tests/wine/harness.h"

namespace e2e {
namespace {

const std::vector<std::string> kProbesThenSelection{
    "OPENCOM COM1,1200,N,8,1", "OPENCOM COM2,1200,N,8,1", "OPENCOM COM3,1200,N,8,1",
    "OPENCOM COM4,1200,N,8,1", "OPENCOM COM1,1200,N,8,1"};

std::vector<std::string> Names(const std::vector<Call>& calls) {
    std::vector<std::string> names;
    for (const Call& call : calls) names.push_back(call.call);
    return names;
}

TEST(StartUp, OnlyCom3AvailableProbesGreysOutAndReportsTheFailedPort) {
    StandinRun run(L"3");
    const BoxView box = run.program->WaitForBox(kStartTimeoutMs);
    ASSERT_NE(box.window, nullptr) << "no start-up box";
    EXPECT_EQ(box.title, L"Port");
    EXPECT_EQ(box.text, L"Port COM1 nelze otevřít");

    // While the box is open: five OPENCOM calls, then the first rise, which asks once more for
    // the chosen COM1; the window not yet shown.
    ASSERT_TRUE(WaitUntil([&] { return !run.Calls("TXD").empty(); }, 3000)) << "no TXD while the box is open";
    const auto calls = run.Calls();
    ASSERT_GE(calls.size(), 7u);
    EXPECT_EQ(Names(std::vector<Call>(calls.begin(), calls.begin() + 5)), kProbesThenSelection);
    EXPECT_EQ(calls[5].call, "OPENCOM COM1,1200,N,8,1");
    EXPECT_EQ(calls[6].call, "TXD 1");
    EXPECT_TRUE(IsWindow(box.window) && IsWindowVisible(box.window));
    HWND main = run.program->MainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(IsWindowVisible(main)) << "the window is shown only after start-up";

    EXPECT_FALSE(IsWindowEnabled(run.Option(L"COM1")));
    EXPECT_FALSE(IsWindowEnabled(run.Option(L"COM2")));
    EXPECT_TRUE(IsWindowEnabled(run.Option(L"COM3")));
    EXPECT_FALSE(IsWindowEnabled(run.Option(L"COM4")));
    EXPECT_EQ(SendMessageW(run.Option(L"COM1"), BM_GETCHECK, 0, 0), BST_CHECKED);

    // The fall follows the rise by 500 ms, still inside the box's wait.
    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 2; }, 3000));
    const auto txd = run.Calls("TXD");
    EXPECT_EQ(txd[1].call, "TXD 0");
    const long long highMs = (txd[1].at - txd[0].at) / 1000;
    EXPECT_GE(highMs, 495);
    EXPECT_LE(highMs, 580);
    std::printf("rise to fall: %lld us\n", txd[1].at - txd[0].at);

    ASSERT_TRUE(CloseBox(box));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != FALSE; }, 5000));
    RECT place;
    GetWindowRect(main, &place);
    EXPECT_EQ(place.left, 0);
    EXPECT_EQ(place.top, 0);
}

TEST(StartUp, NoFurtherPulseForSecondsAfterTheFirst) {
    StandinRun run(L"3");
    ASSERT_TRUE(run.PastStartUp());
    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 2; }, 3000));
    Sleep(5000);
    EXPECT_EQ(Names(run.Calls("TXD")), (std::vector<std::string>{"TXD 1", "TXD 0"}));
}

TEST(PortSelection, ClickingOption3OpensCom3OnceAndShowsOneBox) {
    StandinRun run(L"3");
    ASSERT_TRUE(run.PastStartUp());
    const std::size_t opensBefore = run.Calls("OPENCOM").size();

    ClickAt(run.Option(L"COM3"));
    const BoxView box = run.program->WaitForBox(5000);
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.title, L"Port");
    EXPECT_EQ(box.text, L"Nastaven port COM3");
    const auto opens = run.Calls("OPENCOM");
    ASSERT_EQ(opens.size(), opensBefore + 1);
    EXPECT_EQ(opens.back().call, "OPENCOM COM3,1200,N,8,1");
    EXPECT_EQ(SendMessageW(run.Option(L"COM3"), BM_GETCHECK, 0, 0), BST_CHECKED);
    // The greyed-out COM1 loses its selection too: one group, one selection.
    EXPECT_EQ(SendMessageW(run.Option(L"COM1"), BM_GETCHECK, 0, 0), BST_UNCHECKED);

    ASSERT_TRUE(CloseBox(box));
    Sleep(1000);
    EXPECT_TRUE(run.program->Boxes().empty()) << "a second box";
    EXPECT_EQ(run.Calls("OPENCOM").size(), opensBefore + 1);
}

TEST(PortSelection, AGreyedOutPortTakesNoClick) {
    StandinRun run(L"3");
    ASSERT_TRUE(run.PastStartUp());
    const std::size_t opensBefore = run.Calls("OPENCOM").size();
    ClickAt(run.Option(L"COM2"));
    Sleep(1000);
    EXPECT_TRUE(run.program->Boxes().empty());
    EXPECT_EQ(run.Calls("OPENCOM").size(), opensBefore);
}

TEST(StartUp, EveryPortAvailableConfirmsCom1) {
    StandinRun run(L"1234");
    const BoxView box = run.program->WaitForBox(kStartTimeoutMs);
    EXPECT_EQ(box.text, L"Nastaven port COM1");
    EXPECT_EQ(box.title, L"Port");
    for (const wchar_t* port : {L"COM1", L"COM2", L"COM3", L"COM4"}) EXPECT_TRUE(IsWindowEnabled(run.Option(port)));
    ASSERT_TRUE(CloseBox(box));
    Sleep(1000);
    EXPECT_TRUE(run.program->Boxes().empty()) << "COM1 already selected: no second box";
}

// Asleep, a machine sends no pulse: a wake brings the next tick at once. And the program runs
// above ordinary programs, so that a loaded machine does not shift its pulses.
TEST(Power, RunsAtHighPriorityAndAWakeBringsTheNextTickAtOnce) {
    StandinRun run(L"1");
    ASSERT_TRUE(run.PastStartUp());
    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 2; }, 3000));
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, run.program->id());
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(GetPriorityClass(process), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    CloseHandle(process);

    // Woken in the low phase: the rise at once, not a minute later.
    long long wokenAt = NowMicroseconds();
    PostMessageW(run.Main(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 3; }, 3000)) << "no rise after the wake";
    auto txd = run.Calls("TXD");
    EXPECT_EQ(txd[2].call, "TXD 1");
    EXPECT_LT(txd[2].at - wokenAt, 300000) << "the rise came " << (txd[2].at - wokenAt) / 1000 << " ms after the wake";

    // Woken again within that pulse: the fall at once, the rise half a second after it.
    wokenAt = NowMicroseconds();
    PostMessageW(run.Main(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ASSERT_LT(wokenAt - txd[2].at, 400000) << "the second wake came after the pulse; nothing to prove";
    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 5; }, 3000)) << "no fall and rise after the wake";
    txd = run.Calls("TXD");
    EXPECT_EQ(Names(std::vector<Call>(txd.begin() + 3, txd.end())), (std::vector<std::string>{"TXD 0", "TXD 1"}));
    EXPECT_LT(txd[3].at - wokenAt, 300000) << "the fall came " << (txd[3].at - wokenAt) / 1000 << " ms after the wake";
    const long long lowMs = (txd[4].at - txd[3].at) / 1000;
    EXPECT_GE(lowMs, 495);
    EXPECT_LE(lowMs, 580);
}

TEST(MissingLibrary, IsAFatalErrorNamingTheLibraryAndANonZeroExit) {
    Folder folder;
    folder.CopyIn(BuiltFile("kelvarid.exe"), L"kelvarid.exe");
    Program program(folder / L"kelvarid.exe", {});
    const BoxView box = program.WaitForBox(kStartTimeoutMs);
    ASSERT_NE(box.window, nullptr) << "no error box";
    EXPECT_EQ(box.title, L"Kelvarid");
    EXPECT_NE(box.text.find(L"serline.dll"), std::wstring::npos) << "the box does not name the library";
    ASSERT_TRUE(CloseBox(box));
    ASSERT_TRUE(program.WaitForExit(5000)) << "the program hangs after the error";
    EXPECT_EQ(program.ExitCode(), 3u);
}

}  // namespace
}  // namespace e2e
