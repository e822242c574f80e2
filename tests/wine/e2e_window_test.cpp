// What the user sees of the real window under Wine at 96 DPI, and what the label commands
// do when clicked with the mouse: read back from the screen, pixel by pixel.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>

#include "tests/wine/harness.h"

namespace e2e {
namespace {

using kelvarid::ControlId;

// The window's corner is the screen's, so client and screen pixels are the same.
void Click(const StandinRun& run, ControlId control) {
    const RECT at = RectOf(control);
    ClickAt(run.Main(), (at.left + at.right) / 2, (at.top + at.bottom) / 2);
}

::testing::AssertionResult HasWindowRect(const StandinRun& run, LONG width, LONG height) {
    const RECT expected{0, 0, width, height};
    if (WaitUntil([&] {
            const RECT now = WindowRect(run.Main());
            return EqualRect(&now, &expected) != FALSE;
        }, 3000)) {
        return ::testing::AssertionSuccess();
    }
    const RECT now = WindowRect(run.Main());
    return ::testing::AssertionFailure() << "window at " << now.left << "," << now.top << " size "
                                         << now.right - now.left << " x " << now.bottom - now.top << ", expected 0,0 size "
                                         << width << " x " << height;
}

int Orange(const Screenshot& shot, ControlId control) { return shot.Count(RectOf(control), IsOrange); }
int White(const Screenshot& shot, ControlId control) { return shot.Count(RectOf(control), IsWhite); }
bool Grey(COLORREF colour) {
    const int r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
    return r == g && g == b && r > 40 && r < 220;
}

// How many pixels of `area` have the grey level that is most common there.
int MostCommonGrey(const Screenshot& shot, const RECT& area) {
    int mostCommon = 0;
    for (int level = 41; level < 220; ++level) {
        const int count = shot.Count(area, [level](COLORREF c) {
            return Grey(c) && GetRValue(c) == level;
        });
        mostCommon = std::max(mostCommon, count);
    }
    return mostCommon;
}

// How many pixels of the status text differ between two pictures of the window.
int StatusPixelsDiffering(const Screenshot& one, const Screenshot& other) {
    const RECT status = RectOf(ControlId::Label10);
    int differing = 0;
    for (int y = std::max(0L, status.top); y < status.bottom; ++y) {
        for (int x = status.left; x < status.right; ++x) differing += one.At(x, y) != other.At(x, y);
    }
    return differing;
}

// An option button's caption, past its round button.
RECT CaptionOf(ControlId option) {
    RECT text = RectOf(option);
    text.left += 16;
    return text;
}

TEST(MainWindow, ShowsTheSquareWhiteWhileTheLineIsHighAndBlackAfterwards) {
    StandinRun run(L"134");
    ASSERT_TRUE(run.ShowWhileTheLineIsHigh());
    const RECT square = RectOf(ControlId::Image1);
    const RECT status = RectOf(ControlId::Label10);
    // The window's text and square are drawn once it shows, while the line is still high.
    const Screenshot high = ShotWhen(RECT{0, 0, 160, 150}, [&](const Screenshot& shot) {
        return shot.Count(square, IsWhite) == 64 && shot.Count(status, IsWhite) > 5;
    });
    const long long highShotAt = NowMicroseconds();
    high.Save(L"line-high");

    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 2; }, 3000));
    const long long fallAt = run.Calls("TXD")[1].at;
    ASSERT_LT(highShotAt, fallAt) << "the window showed only after the line fell; nothing to compare";
    const Screenshot low = ShotWhen(RECT{0, 0, 160, 150}, [&](const Screenshot& shot) {
        return shot.Count(square, IsBlack) == 64 && StatusPixelsDiffering(high, shot) > 3;
    });
    low.Save(L"one-port-greyed");

    EXPECT_EQ(high.Count(square, IsWhite), 64) << "the square is not white while the line is high";
    EXPECT_EQ(low.Count(square, IsBlack), 64) << "the square is not black while the line is low";
    // The status text changes with the line: "log.1" and "log.0" differ somewhere.
    EXPECT_GT(StatusPixelsDiffering(high, low), 3) << "Label10 looks the same while high and low";
    EXPECT_GT(low.Count(status, IsWhite), 5) << "no white status text";
}

TEST(MainWindow, DrawsEveryControlOfTheMainStripAndNothingBeyondItsWidth) {
    StandinRun run(L"134");
    ASSERT_TRUE(run.PastStartUp());
    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 2; }, 3000));
    EXPECT_TRUE(HasWindowRect(run, 87, 140));
    // Every control paints itself: the picture is read once the last of them shows.
    const Screenshot shot = ShotWhen(RECT{0, 0, 160, 150}, [](const Screenshot& drawn) {
        return drawn.Count(RectOf(ControlId::Image1), IsBlack) == 64 && Orange(drawn, ControlId::Label1) > 20 &&
               Orange(drawn, ControlId::Label2) > 20 && drawn.Count(RectOf(ControlId::Label3), IsDarkOrange) > 20 &&
               White(drawn, ControlId::Option1) > 10 && White(drawn, ControlId::Option3) > 10 &&
               White(drawn, ControlId::Option4) > 10 && MostCommonGrey(drawn, CaptionOf(ControlId::Option2)) > 10;
    });

    EXPECT_GT(Orange(shot, ControlId::Label1), 20) << "Minimize ^";
    EXPECT_GT(Orange(shot, ControlId::Label2), 20) << "About...";
    EXPECT_GT(shot.Count(RectOf(ControlId::Label3), IsDarkOrange), 20) << "Quit !";
    EXPECT_EQ(shot.Count(RectOf(ControlId::Label3), IsOrange), 0) << "Quit ! is dark orange, not orange";
    // Line1 runs along y = 8 and shows through the transparent status text lying over it.
    const RECT status = RectOf(ControlId::Label10);
    EXPECT_GT(shot.Count(RECT{status.left, 8, status.right, 9}, IsOrange), 5);
    EXPECT_GT(shot.Count(RECT{8, 10, 9, 80}, IsOrange), 60) << "Line2";
    for (const ControlId option : {ControlId::Option1, ControlId::Option3, ControlId::Option4}) {
        EXPECT_GT(White(shot, option), 10) << "white text on an enabled option button";
    }
    // COM2 is greyed out: its caption has grey in it where the others are plain white.
    // Greyed-out text is one flat grey; enabled text is white, with at most the scattered
    // greys of font smoothing at its edges, where the system smooths fonts.
    const int greyedOut = MostCommonGrey(shot, CaptionOf(ControlId::Option2));
    EXPECT_GT(greyedOut, 10);
    EXPECT_GT(greyedOut, 2 * MostCommonGrey(shot, CaptionOf(ControlId::Option3)));
    // Beyond the window's width nothing of it shows: not the about panel, not Line3.
    EXPECT_EQ(shot.Count(RECT{87, 0, 160, 150}, [](COLORREF c) { return IsOrange(c) || IsDarkOrange(c) || IsWhite(c); }), 0);
}

TEST(MainWindow, TheFirstEnabledOptionButtonHoldsTheFocus) {
    StandinRun run(L"34");
    ASSERT_TRUE(run.PastStartUp());
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(WaitUntil([&] {
        return GetGUIThreadInfo(GetWindowThreadProcessId(run.Main(), nullptr), &gui) && gui.hwndFocus != nullptr;
    }, 3000));
    EXPECT_EQ(gui.hwndFocus, run.Option(L"COM3"));
}

TEST(MainWindow, FollowsTheScreensResolution) {
    // The screen's resolution for programs started from now on.
    const DWORD dpi = 144;
    const RegistryOverride screen(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi, sizeof dpi);
    ASSERT_TRUE(screen.ok());
    StandinRun run(L"1");
    ASSERT_TRUE(run.PastStartUp());
    EXPECT_TRUE(HasWindowRect(run, 131, 210));  // 1305 x 2100 twips at 144 DPI
    const Screenshot shot = ShotWhen(RECT{0, 0, 240, 220}, [](const Screenshot& drawn) {
        return drawn.Count(RectOf(ControlId::Label1, 144), IsOrange) > 40 &&
               drawn.Count(RECT{0, 0, 12, 12}, IsBlack) == 144 && drawn.Count(RECT{12, 15, 13, 120}, IsOrange) > 100;
    });
    shot.Save(L"dpi-144");
    EXPECT_GT(shot.Count(RectOf(ControlId::Label1, 144), IsOrange), 40) << "Minimize ^";
    EXPECT_EQ(shot.Count(RECT{0, 0, 12, 12}, IsBlack), 144) << "the square is 12 x 12 pixels";
    EXPECT_GT(shot.Count(RECT{12, 15, 13, 120}, IsOrange), 100) << "Line2: x = 12, from y = 120 up";
    EXPECT_EQ(shot.Count(RECT{12, 122, 13, 131}, IsOrange), 0) << "Line2 ends at y = 120";
    const RECT shrink = RectOf(ControlId::Label1, 144);
    ClickAt(run.Main(), (shrink.left + shrink.right) / 2, (shrink.top + shrink.bottom) / 2);
    EXPECT_TRUE(HasWindowRect(run, 12, 12));
}

TEST(WindowCommands, ShrinkToTheSquareAndRestoreInTheTopLeftCorner) {
    StandinRun run(L"1234");
    ASSERT_TRUE(run.PastStartUp());
    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 2; }, 3000));
    Screenshot(RECT{0, 0, 160, 150}).Save(L"normal");

    Click(run, ControlId::Label1);
    EXPECT_TRUE(HasWindowRect(run, 8, 8));
    const Screenshot shrunk = ShotWhen(RECT{0, 0, 40, 40}, [](const Screenshot& drawn) {
        return drawn.Count(RECT{0, 0, 8, 8}, IsBlack) == 64;
    });
    shrunk.Save(L"shrunk");
    EXPECT_EQ(shrunk.Count(RECT{0, 0, 8, 8}, IsBlack), 64);

    ClickAt(run.Main(), 4, 4);  // the black square: Image2
    EXPECT_TRUE(HasWindowRect(run, 87, 140));
}

TEST(WindowCommands, AboutWidensToThePanelAndHideNarrowsAgain) {
    StandinRun run(L"1234");
    ASSERT_TRUE(run.PastStartUp());

    Click(run, ControlId::Label2);
    ASSERT_TRUE(HasWindowRect(run, 369, 140));
    const Screenshot about = ShotWhen(RECT{0, 0, 380, 150}, [](const Screenshot& drawn) {
        return Orange(drawn, ControlId::Label4) > 20 && Orange(drawn, ControlId::Label7) > 20 &&
               White(drawn, ControlId::Label11) > 20 && drawn.Count(RECT{88, 10, 89, 125}, IsOrange) > 100;
    });
    about.Save(L"about");
    EXPECT_GT(Orange(about, ControlId::Label4), 20) << "Kelvarid v1.1.";
    EXPECT_GT(Orange(about, ControlId::Label7), 20) << "<- Skrýt";
    for (const ControlId label : {ControlId::Label5, ControlId::Label6, ControlId::Label8, ControlId::Label9,
                                  ControlId::Label11}) {
        EXPECT_GT(White(about, label), 20) << "white text of label " << kelvarid::IndexOf(label);
    }
    EXPECT_GT(about.Count(RECT{88, 10, 89, 125}, IsOrange), 100) << "Line3 separates the panel";

    Click(run, ControlId::Label2);  // twice: still 5535 twips
    EXPECT_TRUE(HasWindowRect(run, 369, 140));
    Click(run, ControlId::Label7);
    EXPECT_TRUE(HasWindowRect(run, 87, 140));
    Click(run, ControlId::Label2);
    ASSERT_TRUE(HasWindowRect(run, 369, 140));
    ClickAt(run.Main(), 4, 4);  // restore from the widened view closes the panel too
    EXPECT_TRUE(HasWindowRect(run, 87, 140));
}

// The text of the tooltip the program shows now; empty when none shows. GetWindowText would
// read the window's own caption; the tip's text comes from asking the tooltip itself.
std::wstring VisibleTooltip(const StandinRun& run) {
    std::wstring text;
    for (HWND tip : run.program->TopWindows(L"tooltips_class32")) {
        if (!IsWindowVisible(tip)) continue;
        wchar_t buffer[256] = L"";
        DWORD_PTR length = 0;
        SendMessageTimeoutW(tip, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 1000, &length);
        text.assign(buffer, length);
    }
    return text;
}

// Whether a process of this image name runs in the prefix.
bool ProcessRuns(const wchar_t* image) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
        found = lstrcmpiW(entry.szExeFile, image) == 0;
    }
    CloseHandle(snapshot);
    return found;
}

// Rests the mouse on `area` of the window and returns the tooltip that shows, if any.
std::wstring TooltipAt(const StandinRun& run, const RECT& area) {
    MoveMouseTo(0, 300);  // off the window, so that the tooltip starts afresh
    WaitUntil([&] { return VisibleTooltip(run).empty(); }, 3000);
    MoveMouseTo((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    Sleep(50);  // a hand's small move, which starts the tooltip's timer
    MoveMouseTo((area.left + area.right) / 2 + 1, (area.top + area.bottom) / 2);
    // The tooltip shows after the mouse rests a moment.
    std::wstring text;
    WaitUntil([&] { return !(text = VisibleTooltip(run)).empty(); }, 3000);
    return text;
}

TEST(WindowCommands, TooltipsNameTheCommandsAndTheShrunkSquareOffersToEnlarge) {
    StandinRun run(L"1");
    ASSERT_TRUE(run.PastStartUp());
    EXPECT_EQ(TooltipAt(run, RectOf(ControlId::Label1)), L"Minimalizuje program Kelvarid...");
    EXPECT_EQ(TooltipAt(run, RectOf(ControlId::Label2)), L"O programu Kelvarid...");
    EXPECT_EQ(TooltipAt(run, RectOf(ControlId::Label3)), L"Ukončí program Kelvarid...");
    EXPECT_EQ(TooltipAt(run, RectOf(ControlId::Image2)), L"") << "no tooltip on the square before the first shrink";

    Click(run, ControlId::Label1);
    ASSERT_TRUE(HasWindowRect(run, 8, 8));
    EXPECT_EQ(TooltipAt(run, RectOf(ControlId::Image2)), L"Zvětšit...");
    ClickAt(run.Main(), 4, 4);
    ASSERT_TRUE(HasWindowRect(run, 87, 140));
    EXPECT_EQ(TooltipAt(run, RectOf(ControlId::Image2)), L"Zvětšit...") << "the tooltip stays after a restore";
}

TEST(WindowCommands, TheWebLinksShowTheUpArrow) {
    StandinRun run(L"1");
    ASSERT_TRUE(run.PastStartUp());
    Click(run, ControlId::Label2);
    ASSERT_TRUE(HasWindowRect(run, 369, 140));
    const RECT link = RectOf(ControlId::Label9);
    const RECT plain = RectOf(ControlId::Label8);
    const auto cursorNow = [] {
        CURSORINFO info{};
        info.cbSize = sizeof info;
        GetCursorInfo(&info);
        return info;
    };
    // Each move goes between a link and plain text, so the pointer is expected to change: it is
    // read once it has, or after a deadline, which the comparisons below then catch.
    const auto cursorAfterMovingTo = [&](const RECT& area, HCURSOR before) {
        const POINT at{area.left + 5, (area.top + area.bottom) / 2};
        MoveMouseTo(at.x, at.y);
        WaitUntil([&] {
            const CURSORINFO now = cursorNow();
            return now.ptScreenPos.x == at.x && now.ptScreenPos.y == at.y && now.hCursor != before;
        }, 3000);
        return cursorNow().hCursor;
    };
    // Cursor handles belong to the process that loaded them, so the test cannot load the up
    // arrow to compare: both links must share one pointer that no other place shows.
    const HCURSOR overBackground = cursorAfterMovingTo(RECT{300, 125, 310, 135}, nullptr);
    const HCURSOR overCircuitLink = cursorAfterMovingTo(link, overBackground);
    const HCURSOR overText = cursorAfterMovingTo(plain, overCircuitLink);
    const HCURSOR overProgramLink = cursorAfterMovingTo(RectOf(ControlId::Label6), overText);
    const HCURSOR overTitle = cursorAfterMovingTo(RectOf(ControlId::Label4), overProgramLink);
    EXPECT_EQ(overCircuitLink, overProgramLink);
    EXPECT_NE(overCircuitLink, overText);
    EXPECT_EQ(overText, overBackground);
    EXPECT_EQ(overTitle, overBackground);
}

TEST(WindowCommands, QuitInTheHighPhaseEndsAtOnceWithoutLoweringTheLine) {
    StandinRun run(L"1");
    ASSERT_TRUE(run.ShowWhileTheLineIsHigh());
    Click(run, ControlId::Label3);
    const long long clickedAt = NowMicroseconds();
    ASSERT_TRUE(run.program->WaitForExit(1000)) << "still running a second after Quit !";
    EXPECT_EQ(run.program->ExitCode(), 0u);
    const auto txd = run.Calls("TXD");
    ASSERT_EQ(txd.size(), 1u) << "the line was lowered before the program ended";
    EXPECT_LT(clickedAt - txd[0].at, 500000) << "the click came after the high phase; nothing was proven";
    std::printf("Quit ! clicked %lld ms after the rise\n", (clickedAt - txd[0].at) / 1000);
}

TEST(WebLinks, EachLinkHandsTheShellExactlyItsAddress) {
    StandinRun run(L"1");
    run.folder.CopyIn(BuiltFile("tests/wine/url_recorder.exe"), L"url_recorder.exe");
    // The shell's handler of http addresses becomes the recorder, for this test only.
    const std::wstring command = L"\"" + (run.folder / L"url_recorder.exe") + L"\" \"%1\"";
    const RegistryOverride handler(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", nullptr, command);
    ASSERT_TRUE(handler.ok());

    ASSERT_TRUE(run.PastStartUp());
    Click(run, ControlId::Label2);
    ASSERT_TRUE(HasWindowRect(run, 369, 140));
    const std::wstring log = run.folder / L"opened.log";
    const auto opened = [&] { return ReadLines(log); };
    Click(run, ControlId::Label9);
    ASSERT_TRUE(WaitUntil([&] { return opened().size() >= 1; }, 10000)) << "nothing opened";
    // The second click waits until the first handler has ended. The recorder has no console:
    // under Wine with no window manager a console program's window was seen to linger over the
    // screen after it ended and take the next click.
    ASSERT_TRUE(WaitUntil([] { return !ProcessRuns(L"url_recorder.exe"); }, 10000)) << "the handler still runs";
    ASSERT_TRUE(run.program->WaitForIdle(10000));
    Click(run, ControlId::Label6);
    ASSERT_TRUE(WaitUntil([&] { return opened().size() >= 2; }, 10000)) << "the second link opened nothing";
    EXPECT_EQ(opened(), (std::vector<std::string>{"http://obvod.kelvarid.example", "http://www.kelvarid.example"}));
}

// A whole cycle and the next rise, about 62 s: the window is shrunk, restored, widened and
// narrowed in the low phase, and the white square clicked in the high phase.
TEST(SlowPulses, TheSecondRiseComesSixtyAndAHalfSecondsAfterTheFirstWhateverTheWindowDoes) {
    StandinRun run(L"1");
    ASSERT_TRUE(run.PastStartUp());
    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 2; }, 3000));
    for (int round = 0; round < 3; ++round) {
        Click(run, ControlId::Label1);
        EXPECT_TRUE(HasWindowRect(run, 8, 8));
        ClickAt(run.Main(), 4, 4);
        EXPECT_TRUE(HasWindowRect(run, 87, 140));
        Click(run, ControlId::Label2);
        EXPECT_TRUE(HasWindowRect(run, 369, 140));
        Click(run, ControlId::Label7);
        EXPECT_TRUE(HasWindowRect(run, 87, 140));
    }
    Click(run, ControlId::Label1);
    ASSERT_TRUE(HasWindowRect(run, 8, 8));

    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 3; }, 65000));
    // The line is high: Image2 is hidden and the white Image1 takes the click.
    ClickAt(run.Main(), 4, 4);
    const long long clickedAt = NowMicroseconds();
    EXPECT_TRUE(HasWindowRect(run, 87, 140));
    ASSERT_TRUE(WaitUntil([&] { return run.Calls("TXD").size() >= 4; }, 3000));

    const auto txd = run.Calls("TXD");
    std::vector<std::string> names;
    for (const Call& call : txd) names.push_back(call.call);
    EXPECT_EQ(names, (std::vector<std::string>{"TXD 1", "TXD 0", "TXD 1", "TXD 0"}));
    EXPECT_LT(clickedAt, txd[3].at) << "the square was clicked after the line fell";
    const long long periodMs = (txd[2].at - txd[0].at) / 1000;
    const long long firstHighMs = (txd[1].at - txd[0].at) / 1000;
    const long long secondHighMs = (txd[3].at - txd[2].at) / 1000;
    std::printf("rise to rise: %lld ms; high: %lld ms and %lld ms\n", periodMs, firstHighMs, secondHighMs);
    EXPECT_GE(periodMs, 60495);
    EXPECT_LE(periodMs, 60600);
    for (const long long high : {firstHighMs, secondHighMs}) {
        EXPECT_GE(high, 495);
        EXPECT_LE(high, 580);
    }
}

}  // namespace
}  // namespace e2e
