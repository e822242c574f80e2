// Start-up, port selection and the pulses, driven through Form1's events.
#include <gtest/gtest.h>

#include <algorithm>

#include "keepalive/keepalive.h"
#include "tests/unit/fakes.h"

namespace kelvarid::testing {
namespace {

const Journal kProbesThenSelection{
    L"OPENCOM COM1,1200,N,8,1", L"OPENCOM COM2,1200,N,8,1", L"OPENCOM COM3,1200,N,8,1",
    L"OPENCOM COM4,1200,N,8,1", L"OPENCOM COM1,1200,N,8,1"};

TEST(StartUp, PlacesTheWindowProbesInOrderThenConfirmsTheSelectedPort) {
    Rig rig;
    rig.line.available = {L"COM1", L"COM2", L"COM3", L"COM4"};
    rig.form.Load();

    EXPECT_EQ(rig.journal, (Journal{L"SetLeft 0", L"SetTop 0", L"OPENCOM COM1,1200,N,8,1",
                                    L"OPENCOM COM2,1200,N,8,1", L"OPENCOM COM3,1200,N,8,1",
                                    L"OPENCOM COM4,1200,N,8,1", L"OPENCOM COM1,1200,N,8,1",
                                    L"Box information Port: Nastaven port COM1", L"Box closed"}));
    EXPECT_EQ(rig.window.left, 0);
    EXPECT_EQ(rig.window.top, 0);
}

TEST(StartUp, OnlyCom3AvailableGreysOutTheOthersAndKeepsOption1Selected) {
    Rig rig;
    rig.line.available = {L"COM3"};
    rig.form.Load();

    EXPECT_EQ(rig.Only(L"OPENCOM"), kProbesThenSelection);
    EXPECT_FALSE(rig.window.enabled[IndexOf(ControlId::Option1)]);
    EXPECT_FALSE(rig.window.enabled[IndexOf(ControlId::Option2)]);
    EXPECT_TRUE(rig.window.enabled[IndexOf(ControlId::Option3)]);
    EXPECT_FALSE(rig.window.enabled[IndexOf(ControlId::Option4)]);
    EXPECT_TRUE(rig.window.selected[IndexOf(ControlId::Option1)]);
    // The selected port did not open: the user is told so, not that it was set.
    EXPECT_EQ(rig.Only(L"Box "), (Journal{L"Box warning Port: Port COM1 nelze otevřít", L"Box closed"}));
}

TEST(StartUp, NoPortAvailableGreysOutAllFourAndStillRunsTheSelection) {
    Rig rig;
    rig.form.Load();

    EXPECT_EQ(rig.Only(L"SetEnabled"),
              (Journal{L"SetEnabled Option1 false", L"SetEnabled Option2 false",
                       L"SetEnabled Option3 false", L"SetEnabled Option4 false"}));
    EXPECT_EQ(rig.Only(L"OPENCOM"), kProbesThenSelection);
    EXPECT_TRUE(rig.window.selected[IndexOf(ControlId::Option1)]);
    EXPECT_EQ(rig.Only(L"Box "), (Journal{L"Box warning Port: Port COM1 nelze otevřít", L"Box closed"}));
}

TEST(StartUp, EachButtonIsGreyedOutRightAfterItsOwnProbe) {
    Rig rig;
    rig.line.available = {L"COM1", L"COM3"};
    rig.form.Load();

    EXPECT_EQ(Journal(rig.journal.begin() + 2, rig.journal.begin() + 8),
              (Journal{L"OPENCOM COM1,1200,N,8,1", L"OPENCOM COM2,1200,N,8,1", L"SetEnabled Option2 false",
                       L"OPENCOM COM3,1200,N,8,1", L"OPENCOM COM4,1200,N,8,1", L"SetEnabled Option4 false"}));
}

TEST(StartUp, TheFirstTickRaisesTheLineWhileTheStartUpBoxIsOpen) {
    Rig rig;
    rig.line.available = {L"COM1", L"COM3"};
    rig.window.whileBoxIsOpen = [&] { rig.form.Timer(ControlId::Timer1); };
    rig.form.Load();

    const auto box = std::find(rig.journal.begin(), rig.journal.end(), L"Box closed");
    const auto rise = std::find(rig.journal.begin(), rig.journal.end(), L"TXD 1");
    ASSERT_NE(rise, rig.journal.end());
    EXPECT_LT(rise, box);
    // All five OPENCOM calls come before the line is first raised.
    const auto opensBeforeRise = std::count_if(rig.journal.begin(), rise, [](const std::wstring& entry) {
        return entry.rfind(L"OPENCOM", 0) == 0;
    });
    EXPECT_EQ(opensBeforeRise, 5);
    EXPECT_EQ(rig.Only(L"OPENCOM").size(), 5u);
}

TEST(PortSelection, ClickingAnEnabledOptionOpensThatPortOnceAndShowsOneBox) {
    Rig rig;
    rig.line.available = {L"COM3"};
    rig.form.Load();
    rig.journal.clear();

    rig.window.Select(ControlId::Option3);
    rig.form.Click(ControlId::Option3);

    EXPECT_EQ(rig.journal, (Journal{L"OPENCOM COM3,1200,N,8,1", L"Box information Port: Nastaven port COM3",
                                    L"Box closed"}));
}

TEST(PortSelection, AFailedOpenIsReportedAndChangesNoButton) {
    Rig rig;
    rig.line.available = {L"COM1", L"COM2", L"COM3", L"COM4"};
    rig.form.Load();
    rig.line.available = {};  // the ports went away after start-up
    rig.journal.clear();

    rig.window.Select(ControlId::Option2);
    rig.form.Click(ControlId::Option2);

    EXPECT_EQ(rig.journal, (Journal{L"OPENCOM COM2,1200,N,8,1", L"Box warning Port: Port COM2 nelze otevřít",
                                    L"Box closed"}));
    // Probing is done once per start: no button is greyed out later.
    EXPECT_TRUE(rig.window.enabled[IndexOf(ControlId::Option2)]);
}

TEST(PortSelection, EveryOptionButtonIsExaminedNotOnlyUpToTheFirstSelected) {
    Rig rig;
    rig.line.available = {L"COM2", L"COM4"};
    rig.window.selected[IndexOf(ControlId::Option1)] = false;
    rig.window.selected[IndexOf(ControlId::Option2)] = true;
    rig.window.selected[IndexOf(ControlId::Option4)] = true;

    rig.form.Click(ControlId::Option4);

    EXPECT_EQ(rig.journal, (Journal{L"OPENCOM COM2,1200,N,8,1", L"Box information Port: Nastaven port COM2",
                                    L"Box closed", L"OPENCOM COM4,1200,N,8,1",
                                    L"Box information Port: Nastaven port COM4", L"Box closed"}));
}

TEST(PortSelection, NoButtonSelectedOpensNothing) {
    Rig rig;
    rig.window.Select(ControlId::Timer1);  // clears all four
    for (const ControlId option : {ControlId::Option1, ControlId::Option2, ControlId::Option3, ControlId::Option4}) {
        rig.form.Click(option);
    }
    EXPECT_TRUE(rig.journal.empty());
}

TEST(Pulses, TheFirstTickRaisesTheLineInItsFiveSteps) {
    Rig rig;
    EXPECT_EQ(rig.window.interval, 5u);  // the first tick is due 5 ms after creation
    rig.form.Timer(ControlId::Timer1);

    EXPECT_EQ(rig.journal, (Journal{L"TXD 1", L"SetVisible Image2 false", L"SetCaption Label10 log.1",
                                    L"SetInterval Timer1 500"}));
}

TEST(Pulses, TheSecondTickLowersTheLineInItsFiveSteps) {
    Rig rig;
    rig.form.Timer(ControlId::Timer1);
    rig.journal.clear();
    rig.form.Timer(ControlId::Timer1);

    EXPECT_EQ(rig.journal, (Journal{L"TXD 0", L"SetVisible Image2 true", L"SetCaption Label10 log.0",
                                    L"SetInterval Timer1 60000"}));
}

TEST(Pulses, TicksAlternateForAsLongAsTheProgramRuns) {
    Rig rig;
    for (int tick = 0; tick < 1000; ++tick) {
        rig.form.Timer(ControlId::Timer1);
        const bool raised = tick % 2 == 0;
        ASSERT_EQ(rig.journal.back(), raised ? L"SetInterval Timer1 500" : L"SetInterval Timer1 60000") << tick;
        ASSERT_EQ(rig.window.visible[IndexOf(ControlId::Image2)], !raised) << tick;
        ASSERT_EQ(rig.window.caption[IndexOf(ControlId::Label10)], raised ? L"log.1" : L"log.0") << tick;
    }
    EXPECT_EQ(rig.Only(L"TXD 1").size(), 500u);
    EXPECT_EQ(rig.Only(L"TXD 0").size(), 500u);
}

TEST(Pulses, RunAndCallTxdEvenWhenNoPortOpened) {
    Rig rig;
    rig.window.whileBoxIsOpen = [&] {
        rig.form.Timer(ControlId::Timer1);
        rig.form.Timer(ControlId::Timer1);
    };
    rig.form.Load();
    EXPECT_EQ(rig.Only(L"TXD"), (Journal{L"TXD 1", L"TXD 0"}));
}

TEST(Pulses, APortClickInTheHighPhaseNeitherLowersNorShiftsTheLine) {
    Rig rig;
    rig.line.available = {L"COM2"};
    rig.form.Timer(ControlId::Timer1);  // high
    rig.journal.clear();
    rig.window.Select(ControlId::Option2);
    rig.form.Click(ControlId::Option2);
    EXPECT_TRUE(rig.Only(L"TXD").empty());
    EXPECT_TRUE(rig.Only(L"SetInterval").empty());
    rig.form.Timer(ControlId::Timer1);
    EXPECT_EQ(rig.Only(L"TXD"), (Journal{L"TXD 0"}));
}

// A whole pulse, after which the journal starts empty.
void OnePulseThenClear(Rig& rig) {
    rig.form.Timer(ControlId::Timer1);
    rig.form.Timer(ControlId::Timer1);
    rig.journal.clear();
}

TEST(Pulses, AWakeInTheLowPhaseRaisesTheLineAtOnceAndTheUsualRhythmFollows) {
    Rig rig;
    OnePulseThenClear(rig);
    rig.form.Resume();
    EXPECT_EQ(rig.journal, (Journal{L"TXD 1", L"SetVisible Image2 false", L"SetCaption Label10 log.1",
                                    L"SetInterval Timer1 500"}));
    rig.journal.clear();
    rig.form.Timer(ControlId::Timer1);
    EXPECT_EQ(rig.Only(L"TXD"), (Journal{L"TXD 0"}));
    EXPECT_EQ(rig.window.interval, 60000u);
}

TEST(Pulses, AWakeInTheHighPhaseLowersTheLineAndTheRiseFollowsHalfASecondLater) {
    Rig rig;
    rig.form.Timer(ControlId::Timer1);  // high when the machine went to sleep
    rig.journal.clear();
    rig.form.Resume();
    EXPECT_EQ(rig.Only(L"TXD"), (Journal{L"TXD 0"}));
    EXPECT_EQ(rig.Only(L"SetInterval").back(), L"SetInterval Timer1 500") << "the rise waits a whole minute";
    EXPECT_EQ(rig.window.caption[IndexOf(ControlId::Label10)], L"log.0");
    rig.journal.clear();
    rig.form.Timer(ControlId::Timer1);
    EXPECT_EQ(rig.Only(L"TXD"), (Journal{L"TXD 1"}));
    rig.form.Timer(ControlId::Timer1);
    EXPECT_EQ(rig.Only(L"TXD"), (Journal{L"TXD 1", L"TXD 0"}));
    EXPECT_EQ(rig.window.interval, 60000u);
}

// A tick of each phase: the rise, then the fall.
void OnePulse(Rig& rig) {
    rig.form.Timer(ControlId::Timer1);
    rig.form.Timer(ControlId::Timer1);
}

TEST(ChosenPortRetry, APortLateAtStartUpIsAskedForAtEachRiseAndTakesThePulsesOnceItOpens) {
    Rig rig;
    rig.line.available = {L"COM3"};
    rig.form.Load();
    rig.journal.clear();

    OnePulse(rig);
    OnePulse(rig);
    // Before each rise, not before a fall; the pulses still go where the library keeps them.
    EXPECT_EQ(rig.Only(L"OPENCOM"), (Journal{L"OPENCOM COM1,1200,N,8,1", L"OPENCOM COM1,1200,N,8,1"}));
    EXPECT_EQ(rig.journal[0], L"OPENCOM COM1,1200,N,8,1");
    EXPECT_EQ(rig.journal[1], L"TXD 1");
    EXPECT_FALSE(rig.window.enabled[IndexOf(ControlId::Option1)]);

    rig.line.available = {L"COM1", L"COM3"};  // the adapter has come
    rig.journal.clear();
    rig.form.Timer(ControlId::Timer1);
    EXPECT_EQ(Journal(rig.journal.begin(), rig.journal.begin() + 3),
              (Journal{L"OPENCOM COM1,1200,N,8,1", L"SetEnabled Option1 true", L"TXD 1"}));
    EXPECT_TRUE(rig.window.enabled[IndexOf(ControlId::Option1)]);
    EXPECT_TRUE(rig.Only(L"Box").empty()) << "a port that comes late is taken without a box";

    // Open now: no more asking.
    rig.form.Timer(ControlId::Timer1);
    rig.journal.clear();
    OnePulse(rig);
    OnePulse(rig);
    EXPECT_TRUE(rig.Only(L"OPENCOM").empty());
}

TEST(ChosenPortRetry, APortThatOpenedIsNeverAskedForAgain) {
    Rig rig;
    rig.line.available = {L"COM1"};
    rig.form.Load();
    rig.line.available = {};  // gone: the library, not the window, opens it again
    rig.journal.clear();
    for (int pulse = 0; pulse < 5; ++pulse) OnePulse(rig);
    EXPECT_TRUE(rig.Only(L"OPENCOM").empty());
}

TEST(ChosenPortRetry, AClickedPortThatFailsIsRetriedAndAWorkingClickEndsTheRetry) {
    Rig rig;
    rig.line.available = {L"COM3"};
    rig.form.Load();
    rig.window.Select(ControlId::Option3);
    rig.form.Click(ControlId::Option3);  // opens: no retry of COM1 any more
    rig.journal.clear();
    OnePulse(rig);
    EXPECT_TRUE(rig.Only(L"OPENCOM").empty());

    rig.line.available = {};
    rig.window.Select(ControlId::Option3);
    rig.form.Click(ControlId::Option3);  // fails now
    rig.journal.clear();
    OnePulse(rig);
    EXPECT_EQ(rig.Only(L"OPENCOM"), (Journal{L"OPENCOM COM3,1200,N,8,1"}));
}

TEST(ChosenPortRetry, ARetryDuringTheStartUpBoxComesBeforeTheFirstRise) {
    Rig rig;
    rig.window.whileBoxIsOpen = [&] { rig.form.Timer(ControlId::Timer1); };
    rig.form.Load();
    const Journal opens = rig.Only(L"OPENCOM");
    ASSERT_EQ(opens.size(), 6u);
    const auto rise = std::find(rig.journal.begin(), rig.journal.end(), L"TXD 1");
    ASSERT_NE(rise, rig.journal.end());
    EXPECT_EQ(*(rise - 1), L"OPENCOM COM1,1200,N,8,1");
}

TEST(FailedPulse, ShowsRedAndChybaUntilTheNextTxdCallWorks) {
    Rig rig;
    rig.line.txdWorks = false;
    rig.form.Timer(ControlId::Timer1);  // the rise fails
    EXPECT_TRUE(rig.window.visible[IndexOf(ControlId::Image2)]);
    EXPECT_EQ(rig.window.colour[IndexOf(ControlId::Image2)], kRed);
    EXPECT_EQ(rig.window.caption[IndexOf(ControlId::Label10)], L"chyba");
    EXPECT_EQ(rig.window.interval, 500u) << "the cycle goes on";

    rig.form.Timer(ControlId::Timer1);  // the fall fails too
    EXPECT_EQ(rig.window.colour[IndexOf(ControlId::Image2)], kRed);
    EXPECT_EQ(rig.window.caption[IndexOf(ControlId::Label10)], L"chyba");
    EXPECT_EQ(rig.window.interval, 60000u);
    EXPECT_EQ(rig.Only(L"SetColour").size(), 1u) << "the colour is set when it changes, not at every tick";

    rig.line.txdWorks = true;
    rig.form.Timer(ControlId::Timer1);  // a good rise: white and log.1
    EXPECT_FALSE(rig.window.visible[IndexOf(ControlId::Image2)]);
    EXPECT_EQ(rig.window.colour[IndexOf(ControlId::Image2)], kBlack);
    EXPECT_EQ(rig.window.caption[IndexOf(ControlId::Label10)], L"log.1");
    rig.form.Timer(ControlId::Timer1);  // a good fall: black and log.0
    EXPECT_TRUE(rig.window.visible[IndexOf(ControlId::Image2)]);
    EXPECT_EQ(rig.window.colour[IndexOf(ControlId::Image2)], kBlack);
    EXPECT_EQ(rig.window.caption[IndexOf(ControlId::Label10)], L"log.0");
}

TEST(FailedPulse, AFallThatFailsAfterAGoodRiseIsShownToo) {
    Rig rig;
    rig.form.Timer(ControlId::Timer1);
    rig.line.txdWorks = false;
    rig.form.Timer(ControlId::Timer1);
    EXPECT_TRUE(rig.window.visible[IndexOf(ControlId::Image2)]);
    EXPECT_EQ(rig.window.colour[IndexOf(ControlId::Image2)], kRed);
    EXPECT_EQ(rig.window.caption[IndexOf(ControlId::Label10)], L"chyba");
}

TEST(Unload, LowersARaisedLineOnceAndLeavesALowOneAlone) {
    Rig rig;
    rig.form.Unload();
    EXPECT_TRUE(rig.journal.empty()) << "the line was low: nothing to do";

    rig.form.Timer(ControlId::Timer1);
    rig.journal.clear();
    rig.form.Unload();
    rig.form.Unload();
    EXPECT_EQ(rig.journal, (Journal{L"TXD 0"}));
    rig.form.Timer(ControlId::Timer1);  // a tick after it raises again: the cycle starts anew
    EXPECT_EQ(rig.journal.back(), L"SetInterval Timer1 500");
}

TEST(Pulses, OtherTimersAreNotTheLinesClock) {
    Rig rig;
    rig.form.Timer(ControlId::Label10);
    EXPECT_TRUE(rig.journal.empty());
}

// What the keep-alive reports, in its own terms, written into the journal beside the calls.
class RecordingEvents final : public KeepAliveEvents {
public:
    explicit RecordingEvents(Journal& journal) : journal_(journal) {}
    void PortProbed(int port, bool opened) override { Note(L"Probed", port, opened); }
    void PortChosen(int port, bool opened, int pulsePort) override {
        Note(L"Chosen", port, opened, L" pulses to " + std::to_wstring(pulsePort));
    }
    void ChosenPortOpenedLater(int port) override { Note(L"OpenedLater", port, true); }
    void LineChanged(bool high, bool worked, int pulsePort) override {
        journal_.push_back(std::wstring(L"Line ") + (high ? L"high" : L"low") + (worked ? L"" : L" failed") +
                           L" on " + std::to_wstring(pulsePort));
    }

private:
    void Note(const wchar_t* what, int port, bool opened, const std::wstring& more = {}) {
        journal_.push_back(std::wstring(what) + L" " + std::to_wstring(port) + (opened ? L" opened" : L" not opened") +
                           more);
    }
    Journal& journal_;
};

TEST(KeepAliveEvents, EachProbeTheChoiceALatePortAndEachEdgeAreReportedWithThePortThePulsesGoTo) {
    Journal journal;
    FakeSerialLine line(journal);
    RecordingEvents events(journal);
    KeepAlive keepAlive(line, events);
    line.available = {L"COM2", L"COM3"};
    keepAlive.ProbePorts();
    keepAlive.ChoosePort(0);
    EXPECT_EQ(keepAlive.PulsePort(), 2) << "the library holds the last port that opened";

    line.available.insert(L"COM1");
    line.txdWorks = false;
    EXPECT_EQ(keepAlive.Tick(), 500u);
    line.txdWorks = true;
    EXPECT_EQ(keepAlive.Tick(), 60000u);

    Journal reported;
    for (const auto& entry : journal) {
        if (entry.rfind(L"OPENCOM", 0) != 0 && entry.rfind(L"TXD", 0) != 0) reported.push_back(entry);
    }
    EXPECT_EQ(reported, (Journal{L"Probed 0 not opened", L"Probed 1 opened", L"Probed 2 opened",
                                 L"Probed 3 not opened", L"Chosen 0 not opened pulses to 2", L"OpenedLater 0 opened",
                                 L"Line high failed on 0", L"Line low on 0"}));
}

}  // namespace
}  // namespace kelvarid::testing
