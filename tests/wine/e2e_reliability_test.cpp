// The real kelvarid.exe under Wine, with the recording stand-in, in the situations that must
// never stop the pulses of a working machine or hide that they stopped: a close request, a
// second start, a port that comes late, a library whose TXD fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wine/harness.h"

namespace e2e {
namespace {

using kelvarid::ControlId;

bool IsRed(COLORREF colour) { return GetRValue(colour) > 232 && GetGValue(colour) < 24 && GetBValue(colour) < 24; }

// What the indicator square and the status text show now.
struct Indicator {
    int white = 0;
    int black = 0;
    int red = 0;
};

// Waits until the whole square shows `colour`, for at most 3 s, and returns what it shows then.
Indicator IndicatorShowing(bool (*colour)(COLORREF)) {
    const RECT square = RectOf(ControlId::Image1);
    const Screenshot shot = ShotWhen(RECT{0, 0, 16, 16}, [&](const Screenshot& drawn) {
        return drawn.Count(square, colour) == 64;
    });
    return {shot.Count(square, IsWhite), shot.Count(square, IsBlack), shot.Count(square, IsRed)};
}

std::vector<std::string> Names(const std::vector<Call>& calls) {
    std::vector<std::string> names;
    for (const Call& call : calls) names.push_back(call.call);
    return names;
}

void PressAltF4() {
    INPUT keys[4]{};
    const WORD codes[4] = {VK_MENU, VK_F4, VK_F4, VK_MENU};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = codes[i];
        keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, keys, sizeof(INPUT));
}

TEST(Closing, AltF4AndCloseRequestsLeaveTheProgramRunningAndPulsing) {
    StandinRun run(L"1");
    const BoxView box = run.program->WaitForBox(kStartTimeoutMs);
    ASSERT_NE(box.window, nullptr) << "no start-up box";
    ASSERT_NE(run.Main(), nullptr);
    // With the start-up box open: what taskkill without /f sends.
    PostMessageW(run.Main(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(run.program->WaitForExit(1000)) << "a close request ended the program, code "
                                                 << run.program->ExitCode();
    EXPECT_EQ(run.program->Boxes().size(), 1u) << "the start-up box went, or a fatal box came";
    ASSERT_TRUE(run.PastStartUp());

    PostMessageW(run.Main(), WM_CLOSE, 0, 0);
    PostMessageW(run.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    SetForegroundWindow(run.Main());
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == run.Main(); }, 3000)) << "Alt+F4 would go elsewhere";
    PressAltF4();
    EXPECT_FALSE(run.program->WaitForExit(1500)) << "the program ended, code " << run.program->ExitCode();
    EXPECT_TRUE(IsWindowVisible(run.Main()));
    EXPECT_TRUE(run.program->Boxes().empty());
    // Still pulsing: the fall of the first pulse came, and nothing else ended the cycle.
    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 2; }, 3000));
    EXPECT_EQ(Names(run.Calls("TXD")), (std::vector<std::string>{"TXD 1", "TXD 0"}));
}

TEST(Closing, TheEndOfTheSessionLowersARaisedLineAtOnce) {
    StandinRun run(L"1");
    ASSERT_TRUE(run.ShowWhileTheLineIsHigh());
    ASSERT_EQ(Names(run.Calls("TXD")), std::vector<std::string>{"TXD 1"}) << "the line is no longer high";
    // Log-off or shutdown: the program agrees to end, and lowers the line before it is ended.
    EXPECT_NE(SendMessageW(run.Main(), WM_QUERYENDSESSION, 0, 0), 0) << "the program holds the session up";
    const long long endedAt = NowMicroseconds();
    SendMessageW(run.Main(), WM_ENDSESSION, TRUE, 0);
    WaitUntil([&] { return run.Calls("TXD").size() >= 2; }, 3000);
    const auto txd = run.Calls("TXD");
    ASSERT_EQ(Names(txd), (std::vector<std::string>{"TXD 1", "TXD 0"}));
    EXPECT_LT(txd[1].at - endedAt, 100000) << "the line was lowered by the next tick, not by the session's end";
}

TEST(SecondInstance, ShowsItsBoxOpensNoPortAndExitsWithItsCodeWhileTheFirstKeepsPulsing) {
    StandinRun first(L"1");
    ASSERT_TRUE(first.PastStartUp());

    StandinRun second(L"1234");
    const BoxView box = second.program->WaitForBox(kStartTimeoutMs);
    ASSERT_NE(box.window, nullptr) << "the second start shows no box";
    EXPECT_EQ(box.title, L"Kelvarid");
    EXPECT_EQ(box.text, L"Kelvarid už běží. / Kelvarid is already running.");
    EXPECT_EQ(second.program->MainWindow(), nullptr) << "the second start made a window";
    ASSERT_TRUE(CloseBox(box));
    ASSERT_TRUE(second.program->WaitForExit(5000));
    std::printf("the second start ended with exit code %lu\n", second.program->ExitCode());
    EXPECT_EQ(second.program->ExitCode(), 4u);
    EXPECT_TRUE(second.Calls().empty()) << "the second start called the library";

    EXPECT_FALSE(first.program->WaitForExit(0)) << "the first one ended";
    ASSERT_TRUE(WaitUntil([&] { return first.Calls("TXD").size() >= 2; }, 3000));
    EXPECT_TRUE(IsWindowVisible(first.Main()));
}

// A little over a whole cycle: COM1 is chosen but only COM3 opens at start-up, and the
// library's TXD fails. Then the library works again and COM1 comes: the next rise opens it,
// without a box, and the square shows the pulse white again.
TEST(SlowLatePort, AChosenPortThatComesLaterTakesTheNextRiseAndAFailedPulseShowsRed) {
    StandinRun run(L"3");
    run.SetTxdResult(0);
    const BoxView box = run.program->WaitForBox(kStartTimeoutMs);
    ASSERT_NE(box.window, nullptr) << "no start-up box";
    EXPECT_EQ(box.text, L"Port COM1 nelze otevřít");
    ASSERT_TRUE(run.PastStartUp());
    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 2; }, 3000));
    const Indicator failed = IndicatorShowing(IsRed);
    EXPECT_EQ(failed.red, 64) << "a failed TXD call is not shown red";
    EXPECT_EQ(failed.white, 0);
    EXPECT_FALSE(IsWindowEnabled(run.Option(L"COM1")));

    run.SetTxdResult(1);
    run.SetOpenPorts("13");
    const long long cameAt = NowMicroseconds();
    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 3; }, 65000)) << "no second rise";
    const Indicator high = IndicatorShowing(IsWhite);
    const auto calls = run.Calls();
    const auto txd = run.Calls("TXD");
    std::printf("COM1 came %.1f s before the second rise, which opened it\n", (txd[2].at - cameAt) / 1e6);
    // Every rise asked for COM1 first; the second one got it.
    const std::vector<Call> opens = run.Calls("OPENCOM");
    ASSERT_EQ(opens.size(), 7u);
    EXPECT_EQ(opens[5].call, "OPENCOM COM1,1200,N,8,1");
    EXPECT_EQ(opens[5].result, 0);
    EXPECT_EQ(opens[6].call, "OPENCOM COM1,1200,N,8,1");
    EXPECT_EQ(opens[6].result, 1);
    EXPECT_LT(opens[6].at, txd[2].at);
    EXPECT_EQ(txd[2].result, 1);
    EXPECT_TRUE(IsWindowEnabled(run.Option(L"COM1"))) << "COM1 opened but stays greyed out";
    EXPECT_TRUE(run.program->Boxes().empty()) << "a port that comes late is taken without a box";
    EXPECT_EQ(high.white, 64) << "a good pulse after failed ones is not shown white";
    EXPECT_EQ(high.red, 0);

    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 4; }, 3000));
    EXPECT_EQ(IndicatorShowing(IsBlack).black, 64);
    EXPECT_EQ(run.Calls("OPENCOM").size(), 7u) << "an open port is asked for again";
}

// Nobody may be at the machine to close a fatal box: it ends the program by itself, so that a
// watchdog or the circuit can take over, with the same exit code as when it is closed.
TEST(SlowFatalBox, EndsTheProgramAfterAMinuteWhenNobodyClosesIt) {
    Folder folder;
    folder.CopyIn(BuiltFile("kelvarid.exe"), L"kelvarid.exe");  // no serline.dll beside it
    Program program(folder / L"kelvarid.exe", {});
    const BoxView box = program.WaitForBox(kStartTimeoutMs);
    ASSERT_NE(box.window, nullptr) << "no error box";
    const long long shownAt = NowMicroseconds();
    EXPECT_FALSE(program.WaitForExit(55000)) << "the box went too early";
    ASSERT_TRUE(program.WaitForExit(10000)) << "the box still waits after a minute";
    std::printf("the fatal box ended the program after %.1f s\n", (NowMicroseconds() - shownAt) / 1e6);
    EXPECT_EQ(program.ExitCode(), 3u);
}

}  // namespace
}  // namespace e2e
