// The health checks' decisions on a clock the tests set: when a failing check stops the pulses
// and when it only watches, the limit on stops in a row, and what the record carries across a
// reset of the end of the last run.
#include <gtest/gtest.h>

#include "tests/unit/service_fakes.h"

namespace kelvarid::testing {
namespace {

TEST(HealthActs, NotWithinTheGraceThenAtTheFirstRiseAfterItAndNeverAgain) {
    HealthRig rig(Acting({L"logger.exe"}));
    rig.Begin();
    rig.Rounds(0, 590, {false});
    EXPECT_TRUE(rig.RaiseAt(130)) << "a check acted within the grace";
    EXPECT_TRUE(rig.RaiseAt(599.9));
    EXPECT_EQ(rig.Only(L"Fails"), (Journal{L"Fails logger.exe since 0s"})) << "a failure is logged once, not every round";
    EXPECT_FALSE(rig.RaiseAt(600.5));
    EXPECT_EQ(rig.Only(L"Stopped"), (Journal{L"Stopped logger.exe since 0s"}));
    ASSERT_TRUE(rig.store.stored);
    EXPECT_EQ(rig.store.stored->stopsInRow, 1u);
    EXPECT_EQ(rig.store.stored->stoppedBy, L"logger.exe");
    EXPECT_FALSE(rig.store.stored->endedWithStop);

    // The process is back: the run still raises the line no more.
    rig.Round(610, {true});
    EXPECT_FALSE(rig.RaiseAt(661));
    EXPECT_EQ(rig.Only(L"Stopped").size(), 1u);
}

TEST(HealthActs, OnlyAfterFailingForFailAfterWithNoPassBetween) {
    HealthSettings settings = ActingAtOnce({L"logger.exe"});
    HealthRig rig(settings);
    rig.Begin();
    rig.Rounds(0, 100, {false});
    rig.Round(110, {true});
    rig.Rounds(120, 230, {false});
    EXPECT_TRUE(rig.RaiseAt(119.9)) << "the failure before the pass was counted";
    EXPECT_TRUE(rig.RaiseAt(239.9));
    EXPECT_FALSE(rig.RaiseAt(240));
    EXPECT_EQ(rig.Only(L"Fails"), (Journal{L"Fails logger.exe since 0s", L"Fails logger.exe since 120s"}));
    EXPECT_EQ(rig.Only(L"Passes"), (Journal{L"Passes logger.exe"}));
    EXPECT_EQ(rig.Only(L"Stopped"), (Journal{L"Stopped logger.exe since 120s"}));
}

TEST(HealthActs, WatchOnlyLogsOnceThatItWouldHaveStoppedAndNeverHoldsARise) {
    HealthSettings settings = ActingAtOnce({L"logger.exe"});
    settings.mode = HealthMode::Watch;
    HealthRig rig(settings);
    rig.Begin();
    for (double t = 0; t < 1000; t += 10) {
        rig.Round(t, {false});
        EXPECT_TRUE(rig.RaiseAt(t + 5)) << "at " << t + 5 << " s";
    }
    EXPECT_EQ(rig.Only(L"WouldStop"), (Journal{L"WouldStop logger.exe since 0s"}));
    EXPECT_TRUE(rig.Only(L"Stopped").empty());
    EXPECT_EQ(rig.store.stored->stopsInRow, 0u) << "a watch counted as a stop";

    // The first step it would take: a repair, else a restart; it takes none of them.
    for (const auto& [repair, expected] : {std::pair{L"repair.cmd", L", would repair"}, std::pair{L"", L", would restart"}}) {
        HealthRig steps(settings);
        steps.settings.repairCommand = repair;
        steps.settings.cleanRestart = true;
        steps.Begin();
        steps.Rounds(0, 300, {false});
        EXPECT_TRUE(steps.RaiseAt(300));
        EXPECT_EQ(steps.monitor.NextCommand().kind, CommandOrder::Kind::None);
        EXPECT_EQ(steps.Only(L"WouldStop"), (Journal{L"WouldStop logger.exe since 0s" + std::wstring(expected)}));
    }
}

TEST(HealthActs, TheLongestFailingCheckIsTheOneNamed) {
    HealthSettings settings = ActingAtOnce({L"a.exe", L"b.exe"});
    HealthRig rig(settings);
    rig.Begin();
    rig.Rounds(0, 50, {true, false});
    rig.Rounds(60, 200, {false, false});
    EXPECT_FALSE(rig.RaiseAt(200));
    EXPECT_EQ(rig.Only(L"Stopped"), (Journal{L"Stopped b.exe since 0s"}));
}

TEST(HealthActs, ARoundThatDoesNotFinishCountsAsFailedFromItsStart) {
    HealthSettings settings = ActingAtOnce({L"logger.exe"});
    HealthRig rig(settings);
    rig.Begin();
    rig.Rounds(0, 690, {true});
    rig.monitor.RoundStarted(rig.settings, {}, HealthRig::At(700));  // and never finishes
    EXPECT_TRUE(rig.RaiseAt(819.9));
    EXPECT_TRUE(rig.Only(L"Fails").empty());
    EXPECT_FALSE(rig.RaiseAt(820));
    EXPECT_EQ(rig.Only(L"Fails"), (Journal{std::wstring(L"Fails ") + kUnfinishedRoundCheck + L" since 700s"}));
    EXPECT_EQ(rig.Only(L"Stopped"), (Journal{std::wstring(L"Stopped ") + kUnfinishedRoundCheck + L" since 700s"}));
}

TEST(HealthActs, ARoundThatFinishesLateEndsTheFailureOfTheRound) {
    HealthSettings settings = ActingAtOnce({L"logger.exe"});
    settings.mode = HealthMode::Watch;
    HealthRig rig(settings);
    rig.Begin();
    rig.monitor.RoundStarted(rig.settings, {}, HealthRig::At(0));
    EXPECT_TRUE(rig.RaiseAt(130));
    rig.monitor.RoundFinished({{true}, {}}, HealthRig::At(140));
    EXPECT_EQ(rig.Only(L"Passes"), (Journal{std::wstring(L"Passes ") + kUnfinishedRoundCheck}));
}

// The administrator's own test command, as a check: its results come from a thread of their own.
HealthSettings Tested() {
    HealthSettings settings = ActingAtOnce({});
    settings.testCommand = L"check.cmd";
    return settings;
}

TEST(HealthTest, AFailingTestActsAfterFailAfterAndTheLogSaysItsExitCodeAndLastLine) {
    HealthRig rig(Tested());
    rig.Begin();
    rig.Round(0, {});
    rig.monitor.TestFinished(L"check.cmd", {CommandOutcome::End::Exited, 3, L"db down"}, HealthRig::At(0));
    rig.Rounds(10, 110, {});
    rig.monitor.TestFinished(L"check.cmd", {CommandOutcome::End::TimedOut, 0, L"waiting"}, HealthRig::At(70));
    EXPECT_TRUE(rig.RaiseAt(119.9)) << "a rise was held before FailAfter";
    EXPECT_FALSE(rig.RaiseAt(120));
    EXPECT_EQ(rig.Only(L"Fails"), (Journal{L"Fails check.cmd since 0s: exit 3, db down"}))
        << "a test that goes on failing, by a timeout too, is logged once";
    EXPECT_EQ(rig.Only(L"Stopped"), (Journal{L"Stopped check.cmd since 0s"}));
}

TEST(HealthTest, APassEndsTheFailureAndAResultOfACommandNoLongerNamedCountsForNothing) {
    HealthRig rig(Tested());
    rig.Begin();
    rig.Round(0, {});
    rig.monitor.TestFinished(L"check.cmd", {CommandOutcome::End::Exited, 1, L""}, HealthRig::At(0));
    rig.monitor.TestFinished(L"check.cmd", {CommandOutcome::End::Exited, 0, L""}, HealthRig::At(60));
    EXPECT_EQ(rig.Only(L"Passes"), (Journal{L"Passes check.cmd"}));
    rig.settings.testCommand = L"other.cmd";
    rig.Round(70, {});
    rig.monitor.TestFinished(L"check.cmd", {CommandOutcome::End::Exited, 5, L""}, HealthRig::At(70));
    rig.monitor.TestFinished(L"other.cmd", {CommandOutcome::End::NotStarted, 2, L""}, HealthRig::At(80));
    rig.Rounds(80, 300, {});
    EXPECT_EQ(rig.Only(L"Fails"), (Journal{L"Fails check.cmd since 0s: exit 1, ",
                                           L"Fails other.cmd since 80s: not started, error 2"}))
        << "the result of the command named before was taken for the new one's";
    EXPECT_TRUE(rig.RaiseAt(199.9));
    EXPECT_FALSE(rig.RaiseAt(200)) << "a test command that cannot be started is a failing check";
}

// The steps before the circuit: a repair while the pulses go on, then a clean restart, and only
// when that does not come the pulses stop.
HealthSettings Remedied(bool repair = true, bool cleanRestart = true) {
    HealthSettings settings = ActingAtOnce({L"logger.exe"});
    settings.repairCommand = repair ? L"repair.cmd" : L"";
    settings.cleanRestart = cleanRestart;
    return settings;
}

CommandOrder::Kind NextAt(HealthRig& rig) { return rig.monitor.NextCommand().kind; }

TEST(HealthSteps, ARepairRunsWhileThePulsesGoAndChecksPassingAfterItEndTheFailure) {
    HealthRig rig(Remedied());
    rig.Begin();
    rig.Rounds(0, 120, {false});
    EXPECT_EQ(NextAt(rig), CommandOrder::Kind::None) << "a repair before the check had failed for FailAfter";
    EXPECT_TRUE(rig.RaiseAt(120));
    EXPECT_EQ(NextAt(rig), CommandOrder::Kind::Repair);
    EXPECT_EQ(NextAt(rig), CommandOrder::Kind::None) << "a repair asked for twice";
    rig.Round(130, {true});
    rig.monitor.RepairFinished({CommandOutcome::End::Exited, 0, L"restarted"}, HealthRig::At(140));
    EXPECT_EQ(rig.Only(L"Repai"), (Journal{L"RepairBegins for logger.exe: repair.cmd", L"RepairEnded restarted",
                                           L"Repaired logger.exe"}));
    EXPECT_TRUE(rig.RaiseAt(300));
    EXPECT_EQ(rig.store.stored->stopsInRow, 0u) << "a repair counted as a stop";
    rig.Rounds(310, 430, {false});
    EXPECT_TRUE(rig.RaiseAt(430));
    EXPECT_EQ(NextAt(rig), CommandOrder::Kind::Repair) << "a new failure did not begin the steps anew";
}

TEST(HealthSteps, StillFailingAfterTheRepairAsksForARestartAndStopsThePulsesWhenItDoesNotCome) {
    HealthRig rig(Remedied());
    rig.Begin();
    rig.Rounds(0, 120, {false});
    EXPECT_TRUE(rig.RaiseAt(120));
    EXPECT_EQ(NextAt(rig), CommandOrder::Kind::Repair);
    rig.monitor.RepairFinished({CommandOutcome::End::TimedOut, 0, L"waiting"}, HealthRig::At(200));
    rig.Rounds(130, 330, {false});
    EXPECT_TRUE(rig.RaiseAt(319.9));
    EXPECT_EQ(NextAt(rig), CommandOrder::Kind::None) << "a restart asked before the checks had FailAfter again";
    EXPECT_TRUE(rig.RaiseAt(320)) << "the pulses stopped before a restart was asked";
    EXPECT_EQ(rig.store.stored->stopsInRow, 1u);
    EXPECT_EQ(rig.store.stored->restartAsked, kWallAtStart + 320 * kSecond);
    const CommandOrder restart = rig.monitor.NextCommand();
    EXPECT_EQ(std::pair(restart.kind, restart.command), std::pair(CommandOrder::Kind::Restart, std::wstring(L"logger.exe")));
    rig.monitor.RestartRequested(0);
    rig.Round(330, {true});  // once asked, the restart's timeout holds whatever the checks say
    EXPECT_TRUE(rig.RaiseAt(919.9));
    EXPECT_FALSE(rig.RaiseAt(920));
    EXPECT_FALSE(rig.RaiseAt(980.5));
    EXPECT_EQ(rig.Only(L"Restart"), (Journal{L"RestartAsked for logger.exe", L"RestartNotCome in 600 s"}));

    HealthRig next(Remedied());
    next.store.stored = rig.store.stored;
    next.Begin();
    EXPECT_EQ(next.Only(L"LastRun"), (Journal{L"LastRunStoppedBy logger.exe at 320s"}));
}

TEST(HealthSteps, ARefusedRestartStopsThePulsesAndOneThatCameIsLoggedAtTheNextStart) {
    HealthRig rig(Remedied(false));
    rig.Begin();
    rig.Rounds(0, 120, {false});
    EXPECT_TRUE(rig.RaiseAt(120));
    EXPECT_EQ(NextAt(rig), CommandOrder::Kind::Restart);
    HealthRig came(Remedied(false));
    came.store.stored = rig.store.stored;
    came.Begin();
    EXPECT_EQ(came.Only(L"LastRun"), (Journal{L"LastRunRestarted for logger.exe at 120s"}));
    EXPECT_EQ(came.store.stored->stopsInRow, 1u) << "a restart is counted with the stops in a row";

    rig.monitor.RestartRequested(1300);
    EXPECT_FALSE(rig.RaiseAt(180.5));
    EXPECT_EQ(rig.Only(L"Restart"), (Journal{L"RestartRefused 1300"}));
}

TEST(HealthSteps, ARepairThatNeverEndsIsGivenUpAndWithoutCleanRestartThePulsesStop) {
    HealthRig rig(Remedied(true, false));
    rig.Begin();
    rig.Rounds(0, 120, {false});
    EXPECT_TRUE(rig.RaiseAt(120));
    // Its thread never takes it: the test's timeout, the repair's and half a minute more.
    EXPECT_TRUE(rig.RaiseAt(120 + 60 + 120 + 29.9));
    EXPECT_FALSE(rig.RaiseAt(120 + 60 + 120 + 30));
    EXPECT_EQ(rig.Only(L"Stopped"), (Journal{L"Stopped logger.exe since 0s"}));
    EXPECT_EQ(NextAt(rig), CommandOrder::Kind::None) << "a repair began after it was given up";
}

TEST(HealthHeartbeat, AFileFailsWhenItHasNotChangedForTheMaximumAgeOnTheSteadyClock) {
    HealthSettings settings = ActingAtOnce({}, {L"C:\\Data\\beat.txt"});
    settings.heartbeatMaxAge = 60;
    settings.failAfter = 30;
    HealthRig rig(settings);
    rig.Begin();
    // Written long before the start: its age still counts from the start.
    const std::uint64_t old = kWallAtStart - 86400 * kSecond;
    for (double t = 0; t < 60; t += 10) rig.Round(t, {}, {old});
    EXPECT_TRUE(rig.Only(L"Fails").empty()) << "a file written before the start failed at once";
    rig.Round(60, {}, {old});
    EXPECT_EQ(rig.Only(L"Fails"), (Journal{L"Fails C:\\Data\\beat.txt since 60s"}));

    // Written again: it passes; then it stops changing.
    rig.Round(70, {}, {old + 5});
    for (double t = 80; t <= 200; t += 10) rig.Round(t, {}, {old + 5});
    EXPECT_EQ(rig.Only(L"Passes"), (Journal{L"Passes C:\\Data\\beat.txt"}));
    EXPECT_TRUE(rig.RaiseAt(159.9));
    EXPECT_FALSE(rig.RaiseAt(160)) << "failing since 130 s (70 + 60), FailAfter 30";
}

TEST(HealthHeartbeat, AChangeOfTheSystemTimeNeverMakesACheckFail) {
    HealthSettings settings = ActingAtOnce({}, {L"C:\\Data\\beat.txt"});
    settings.heartbeatMaxAge = 60;
    HealthRig rig(settings);
    rig.Begin();
    // The writer stamps the file with the system's time, which is set back a day, then a year
    // ahead, while the steady clock goes on.
    std::uint64_t wall = kWallAtStart;
    for (int round = 0; round < 60; ++round) {
        if (round == 20) wall -= 86400 * kSecond;
        if (round == 40) wall += 365 * 86400 * kSecond;
        wall += 10 * kSecond;
        const Instant now{round * 10'000, wall};
        rig.monitor.RoundStarted(rig.settings, {}, now);
        rig.monitor.RoundFinished({{}, {wall}}, now);
        EXPECT_TRUE(rig.monitor.AtRise(now) == RiseAnswer::Raise) << "round " << round;
    }
    EXPECT_TRUE(rig.Only(L"Fails").empty());
}

TEST(HealthHeartbeat, AMissingFileFailsAtOnce) {
    HealthSettings settings = ActingAtOnce({}, {L"C:\\Data\\beat.txt"});
    HealthRig rig(settings);
    rig.Begin();
    rig.Round(0, {}, {std::nullopt});
    EXPECT_EQ(rig.Only(L"Fails"), (Journal{L"Fails C:\\Data\\beat.txt since 0s"}));
    EXPECT_FALSE(rig.RaiseAt(120));
}

TEST(HealthLimit, AfterTheStopsInARowTheChecksOnlyWatchUntilAnHourOfPassingChecks) {
    HealthSettings settings = ActingAtOnce({L"logger.exe"});
    HealthRig rig(settings);
    rig.store.stored = RunRecord{0, false, 3, L"logger.exe", kWallAtStart - kSecond};
    rig.Begin();
    rig.Rounds(0, 200, {false});
    EXPECT_TRUE(rig.RaiseAt(200)) << "a fourth stop in a row";
    EXPECT_EQ(rig.Only(L"TooManyStops"), (Journal{L"TooManyStops 3"}));
    EXPECT_EQ(rig.Only(L"WouldStop"), (Journal{L"WouldStop logger.exe since 0s"}));

    // 59 minutes of passing checks are not enough; a failure starts the hour again.
    rig.Rounds(210, 210 + 3540, {true});
    rig.Round(3760, {false});
    rig.Rounds(3770, 3770 + 3590, {true});
    EXPECT_TRUE(rig.Only(L"ActAgain").empty());
    EXPECT_EQ(rig.store.stored->stopsInRow, 3u);
    rig.Round(3770 + 3600, {true});
    EXPECT_EQ(rig.Only(L"ActAgain"), (Journal{L"ActAgain"}));
    EXPECT_EQ(rig.store.stored->stopsInRow, 0u);

    rig.Rounds(7400, 7520, {false});
    EXPECT_FALSE(rig.RaiseAt(7520)) << "the checks did not act again after their good hour";
}

TEST(HealthLimit, AGoodHourBetweenTwoStopsMeansTheyAreNotInARow) {
    HealthSettings settings = Acting({L"logger.exe"});
    HealthRig rig(settings);
    rig.store.stored = RunRecord{0, true, 2, L"", 0};
    rig.Begin();
    rig.Rounds(0, 3600, {true});
    EXPECT_EQ(rig.store.stored->stopsInRow, 0u);
    EXPECT_TRUE(rig.Only(L"ActAgain").empty()) << "the checks were never only watching";
}

TEST(HealthRecord, TheNextStartSaysWhyTheLastRunEndedUnlessItWasAStop) {
    struct Case {
        RunRecord last;
        Journal expected;
    };
    const std::uint64_t lastPulse = kWallAtStart - 3600 * kSecond;
    const Case cases[] = {
        {{lastPulse, false, 1, L"logger.exe", lastPulse + 30 * kSecond},
         {L"LastPulseBefore -3600s, 3600 s ago", L"LastRunStoppedBy logger.exe at -3570s"}},
        {{lastPulse, false, 0, L"", 0}, {L"LastPulseBefore -3600s, 3600 s ago", L"LastRunUnstopped -3600s"}},
        {{0, false, 0, L"", 0}, {L"LastRunUnstopped never"}},
        // Every start says how long the pulses were away, a STOP before it or not.
        {{lastPulse, true, 1, L"", 0}, {L"LastPulseBefore -3600s, 3600 s ago"}},
    };
    for (const Case& test : cases) {
        HealthRig rig(HealthSettings{});
        rig.store.stored = test.last;
        rig.Begin();
        EXPECT_EQ(rig.journal, test.expected);
        EXPECT_FALSE(rig.store.stored->endedWithStop) << "the new run is not marked as going on";
        EXPECT_TRUE(rig.store.stored->stoppedBy.empty());
        EXPECT_EQ(rig.store.stored->stopsInRow, test.last.stopsInRow);
    }
    HealthRig first(HealthSettings{});
    first.Begin();
    EXPECT_TRUE(first.journal.empty()) << "the first run ever: " << first.journal.front();
}

// Within one run of Windows the gap is the steady count's, whatever the system's time did
// meanwhile (here it was set an hour ahead); across a start of Windows only the clock knows it.
TEST(HealthRecord, TheGapSinceTheLastPulseComesFromTheSteadyCountWhileWindowsRanOn) {
    RunRecord last{kWallAtStart - 3600 * kSecond, true, 0, L"", 0};
    last.lastPulseUptimeMs = 470'000;
    for (const auto& [run, gap] : {std::pair{WindowsRun::Same, L"30 s ago"}, std::pair{WindowsRun::New, L"3600 s ago"},
                                  std::pair{WindowsRun::Unknown, L"3600 s ago"}}) {
        Journal journal;
        RecordingHealthLog log{journal};
        FakeStore store;
        store.stored = last;
        HealthMonitor next(log, store, {500'000, kWallAtStart, 500'000});
        next.Begin(run);
        EXPECT_EQ(journal, (Journal{L"LastPulseBefore -3600s, " + std::wstring(gap)}));
    }
}

TEST(HealthRecord, KeepsTheLastGoodPulseAndAStop) {
    HealthRig rig(HealthSettings{});
    rig.Begin();
    rig.monitor.PulseEnded(HealthRig::At(61));
    EXPECT_EQ(rig.store.stored->lastPulse, kWallAtStart + 61 * kSecond);
    rig.monitor.Stopped();
    EXPECT_TRUE(rig.store.stored->endedWithStop);
}

TEST(HealthRecord, ARecordThatCannotBeWrittenIsLoggedOnceAndTheChecksOnlyWatch) {
    HealthSettings settings = ActingAtOnce({L"logger.exe"});
    HealthRig rig(settings);
    rig.store.error = 5;
    rig.Begin();
    rig.Rounds(0, 200, {false});
    for (double t = 61; t < 200; t += 60.5) rig.monitor.PulseEnded(HealthRig::At(t));
    EXPECT_TRUE(rig.RaiseAt(200));
    EXPECT_EQ(rig.Only(L"RecordNotWritten"), (Journal{L"RecordNotWritten 5"}));
    EXPECT_EQ(rig.Only(L"WouldStop"), (Journal{L"WouldStop logger.exe since 0s"}));

    // Writable again: the checks act.
    rig.store.error = 0;
    rig.monitor.PulseEnded(HealthRig::At(242.5));
    EXPECT_FALSE(rig.RaiseAt(260));
}

// The record is written elsewhere, its outcome told later: nothing waits for it. What keeps the
// limit and the drill goes to the disk at once; a pulse's time without forcing it, at most once
// a minute; a write that fails later is logged once, the checks then only watch, and a drill
// that the record may not carry ends.
TEST(HealthRecord, OnlyWhatGuardsIsWrittenThroughAndAWriteThatFailsLaterStopsTheChecksActing) {
    HealthRig rig(ActingAtOnce({L"logger.exe"}));
    rig.store.later = true;
    rig.Begin();
    rig.Rounds(0, 100, {true});
    for (double t = 0.5; t < 200; t += 30) rig.monitor.PulseEnded(HealthRig::At(t));
    using enum RecordWrite;
    EXPECT_EQ(rig.store.writes, (std::vector<RecordWrite>{Guard, Pulse, Pulse, Pulse, Pulse}));
    EXPECT_EQ(rig.store.stored->lastPulseUptimeMs, 180'500);

    rig.monitor.RecordWritten(112);
    rig.monitor.RecordWritten(112);
    EXPECT_EQ(rig.Only(L"Record"), (Journal{L"RecordNotWritten 112"}));
    rig.Rounds(110, 300, {false});
    EXPECT_TRUE(rig.RaiseAt(300)) << "the checks acted with a record that cannot be written";

    HealthRig drill(HealthSettings{});
    drill.store.later = true;
    drill.Begin();
    ASSERT_EQ(drill.DrillAt(10), DrillAnswer::Started);
    EXPECT_EQ(drill.store.writes.back(), RecordWrite::Guard);
    drill.monitor.RecordWritten(112);
    EXPECT_TRUE(drill.RaiseAt(20)) << "a drill that the record may not carry left a rise out";
    EXPECT_EQ(drill.Only(L"DrillRefused"), (Journal{L"DrillRefused 3"}));

    HealthRig stop(ActingAtOnce({L"logger.exe"}));
    stop.store.later = true;
    stop.Begin();
    stop.Rounds(0, 130, {false});
    EXPECT_FALSE(stop.RaiseAt(130)) << "the checks waited for the record before they held the rise";
    EXPECT_EQ(stop.store.writes.back(), RecordWrite::Guard);
    EXPECT_EQ(stop.store.stored->stopsInRow, 1u);
}

// A sleep is no time for a check to fail in: the clock the monitor reads leaves it out, and a
// round that was under way when the machine slept is judged on what it finds after the wake.
// The grace after the start counts no sleep either.
TEST(HealthSleep, ARoundUnderWayWhileTheMachineSleepsIsJudgedAfterTheWake) {
    for (const double roundAt : {610.0 /* after the grace */, 310.0 /* within it */}) {
        HealthRig rig(Acting({L"logger.exe"}));  // 600 s of grace, FailAfter 120 s
        AwakeClock clock;
        const auto at = [&clock](double seconds) {
            const auto ms = static_cast<std::int64_t>(seconds * 1000);
            return clock.Now(ms, kWallAtStart + static_cast<std::uint64_t>(seconds * kSecond));
        };
        rig.Begin();
        for (double t = 0; t < roundAt; t += 10) {
            rig.monitor.RoundStarted(rig.settings, rig.problems, at(t));
            rig.monitor.RoundFinished({{true}, {}}, at(t));
        }
        rig.monitor.RoundStarted(rig.settings, rig.problems, at(roundAt));
        clock.Suspending(static_cast<std::int64_t>(roundAt * 1000) + 1000);
        const double wake = roundAt + 7200;
        EXPECT_EQ(rig.monitor.AtRise(at(wake - 100)), RiseAnswer::Raise) << roundAt << ": asleep";
        clock.Resumed(static_cast<std::int64_t>(wake * 1000));
        EXPECT_EQ(rig.monitor.AtRise(at(wake)), RiseAnswer::Raise) << roundAt << ": the sleep counted";
        rig.monitor.RoundFinished({{true}, {}}, at(wake + 1));
        EXPECT_TRUE(rig.Only(L"Fails").empty()) << roundAt << ": " << rig.Only(L"Fails").front();

        // Awake, time counts again: a round that hangs now fails after FailAfter, and acts once
        // 600 s awake have passed since the start.
        rig.monitor.RoundStarted(rig.settings, rig.problems, at(wake + 10));
        EXPECT_EQ(rig.monitor.AtRise(at(wake + 129)), RiseAnswer::Raise) << roundAt;
        const double awakeAt131 = roundAt + 1 + 130;  // awake seconds since the start at wake + 131
        EXPECT_EQ(rig.monitor.AtRise(at(wake + 131)), awakeAt131 >= 600 ? RiseAnswer::Hold : RiseAnswer::Raise)
            << roundAt;
        EXPECT_EQ(rig.monitor.AtRise(at(wake + 600)), RiseAnswer::Hold) << roundAt << ": the checks never acted";
    }
}

// A record that is there but cannot be read, whatever kept it from being read, and the next
// start after another reset: the checks only watch until every check has passed for an hour.
TEST(HealthRecord, AnUnreadableRecordCountsAsTheLimitReachedAcrossResetsUntilAGoodHour) {
    for (const unsigned long error : {0ul, 5ul}) {
        HealthRig rig(ActingAtOnce({L"logger.exe"}));
        rig.store.unreadable = error;
        rig.Begin();
        rig.Rounds(0, 200, {false});
        EXPECT_TRUE(rig.RaiseAt(200)) << "the checks acted with the stops in a row unknown";
        EXPECT_EQ(rig.Only(L"Record"), (Journal{L"RecordUnreadable " + std::to_wstring(error)}));
        EXPECT_EQ(rig.Only(L"StopsUnknown").size(), 1u);
        EXPECT_TRUE(rig.Only(L"TooManyStops").empty());
        ASSERT_TRUE(rig.store.stored);
        EXPECT_EQ(rig.store.stored->stopsInRow, kStopsUnknown) << "the next reset would forget the limit";

        // The machine resets before a good hour: the record written since keeps the limit.
        HealthRig next(ActingAtOnce({L"logger.exe"}));
        next.store.stored = rig.store.stored;
        next.Begin();
        next.Rounds(0, 200, {false});
        EXPECT_TRUE(next.RaiseAt(200));
        next.Rounds(210, 210 + 3600, {true});
        EXPECT_EQ(next.Only(L"ActAgain"), (Journal{L"ActAgain"}));
        next.Rounds(3820, 3940, {false});
        EXPECT_FALSE(next.RaiseAt(3940)) << "the checks did not act after their good hour";
        EXPECT_EQ(next.store.stored->stopsInRow, 1u);
    }
}

TEST(HealthRecord, AMissingRecordIsTheFirstRunAndTheChecksActAtOnce) {
    HealthRig rig(ActingAtOnce({L"logger.exe"}));
    rig.Begin();
    rig.Rounds(0, 200, {false});
    EXPECT_FALSE(rig.RaiseAt(200));
    EXPECT_TRUE(rig.Only(L"Record").empty());
}

TEST(HealthSettingsInForce, SettingsAndProblemsAreLoggedWhenTheyChangeNotEveryRound) {
    HealthRig rig(Acting({L"logger.exe"}));
    rig.problems = {{SettingProblem::Kind::BadValue, L"FailAfter", L"5", L"120"}};
    rig.Begin();
    rig.Rounds(0, 100, {true});
    EXPECT_EQ(rig.journal, (Journal{L"Bad FailAfter 5 -> 120", L"Settings mode 2"}));

    rig.journal.clear();
    rig.settings.mode = HealthMode::Watch;
    rig.problems.clear();
    rig.Rounds(110, 200, {true});
    rig.problems = {{SettingProblem::Kind::BadValue, L"FailAfter", L"5", L"120"}};
    rig.Round(210, {true});
    EXPECT_EQ(rig.journal, (Journal{L"Settings mode 1", L"Bad FailAfter 5 -> 120"}))
        << "a value broken again is logged again";
}

TEST(HealthSettingsInForce, ChecksSwitchedOffForgetTheirFailures) {
    HealthSettings settings = ActingAtOnce({L"logger.exe"});
    HealthRig rig(settings);
    rig.Begin();
    rig.Rounds(0, 100, {false});
    rig.settings.mode = HealthMode::Off;
    rig.Round(110, {});
    EXPECT_TRUE(rig.RaiseAt(200));
    rig.settings.mode = HealthMode::Act;
    rig.Round(210, {false});
    EXPECT_TRUE(rig.RaiseAt(329)) << "the failure from before the switch counted";
    EXPECT_FALSE(rig.RaiseAt(330));
}

}  // namespace
}  // namespace kelvarid::testing
