// The health checks' decisions on a clock the tests set: when a failing check stops the pulses
// and when it only watches, the limit on stops in a row, and what the record carries across a
// reset of the end of the last run.
#include <gtest/gtest.h>

#include "tests/unit/service_fakes.h"

namespace kelvarid::testing {
namespace {

TEST(HealthActs, NotWithinTheGraceThenAtTheFirstRiseAfterItAndNeverAgain) {
    HealthRig rig(Acting({L"logger.exe"}));
    rig.monitor.Begin();
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
    rig.monitor.Begin();
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
    rig.monitor.Begin();
    for (double t = 0; t < 1000; t += 10) {
        rig.Round(t, {false});
        EXPECT_TRUE(rig.RaiseAt(t + 5)) << "at " << t + 5 << " s";
    }
    EXPECT_EQ(rig.Only(L"WouldStop"), (Journal{L"WouldStop logger.exe since 0s"}));
    EXPECT_TRUE(rig.Only(L"Stopped").empty());
    EXPECT_EQ(rig.store.stored->stopsInRow, 0u) << "a watch counted as a stop";
}

TEST(HealthActs, TheLongestFailingCheckIsTheOneNamed) {
    HealthSettings settings = ActingAtOnce({L"a.exe", L"b.exe"});
    HealthRig rig(settings);
    rig.monitor.Begin();
    rig.Rounds(0, 50, {true, false});
    rig.Rounds(60, 200, {false, false});
    EXPECT_FALSE(rig.RaiseAt(200));
    EXPECT_EQ(rig.Only(L"Stopped"), (Journal{L"Stopped b.exe since 0s"}));
}

TEST(HealthActs, ARoundThatDoesNotFinishCountsAsFailedFromItsStart) {
    HealthSettings settings = ActingAtOnce({L"logger.exe"});
    HealthRig rig(settings);
    rig.monitor.Begin();
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
    rig.monitor.Begin();
    rig.monitor.RoundStarted(rig.settings, {}, HealthRig::At(0));
    EXPECT_TRUE(rig.RaiseAt(130));
    rig.monitor.RoundFinished({{true}, {}}, HealthRig::At(140));
    EXPECT_EQ(rig.Only(L"Passes"), (Journal{std::wstring(L"Passes ") + kUnfinishedRoundCheck}));
}

TEST(HealthHeartbeat, AFileFailsWhenItHasNotChangedForTheMaximumAgeOnTheSteadyClock) {
    HealthSettings settings = ActingAtOnce({}, {L"C:\\Data\\beat.txt"});
    settings.heartbeatMaxAge = 60;
    settings.failAfter = 30;
    HealthRig rig(settings);
    rig.monitor.Begin();
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
    rig.monitor.Begin();
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
    rig.monitor.Begin();
    rig.Round(0, {}, {std::nullopt});
    EXPECT_EQ(rig.Only(L"Fails"), (Journal{L"Fails C:\\Data\\beat.txt since 0s"}));
    EXPECT_FALSE(rig.RaiseAt(120));
}

TEST(HealthLimit, AfterTheStopsInARowTheChecksOnlyWatchUntilAnHourOfPassingChecks) {
    HealthSettings settings = ActingAtOnce({L"logger.exe"});
    HealthRig rig(settings);
    rig.store.stored = RunRecord{0, false, 3, L"logger.exe", kWallAtStart - kSecond};
    rig.monitor.Begin();
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
    rig.monitor.Begin();
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
        rig.monitor.Begin();
        EXPECT_EQ(rig.journal, test.expected);
        EXPECT_FALSE(rig.store.stored->endedWithStop) << "the new run is not marked as going on";
        EXPECT_TRUE(rig.store.stored->stoppedBy.empty());
        EXPECT_EQ(rig.store.stored->stopsInRow, test.last.stopsInRow);
    }
    HealthRig first(HealthSettings{});
    first.monitor.Begin();
    EXPECT_TRUE(first.journal.empty()) << "the first run ever: " << first.journal.front();
}

TEST(HealthRecord, KeepsTheLastGoodPulseAndAStop) {
    HealthRig rig(HealthSettings{});
    rig.monitor.Begin();
    rig.monitor.PulseEnded(HealthRig::At(61));
    EXPECT_EQ(rig.store.stored->lastPulse, kWallAtStart + 61 * kSecond);
    rig.monitor.Stopped();
    EXPECT_TRUE(rig.store.stored->endedWithStop);
}

TEST(HealthRecord, ARecordThatCannotBeWrittenIsLoggedOnceAndTheChecksOnlyWatch) {
    HealthSettings settings = ActingAtOnce({L"logger.exe"});
    HealthRig rig(settings);
    rig.store.error = 5;
    rig.monitor.Begin();
    rig.Rounds(0, 200, {false});
    for (double t = 61; t < 200; t += 60) rig.monitor.PulseEnded(HealthRig::At(t));
    EXPECT_TRUE(rig.RaiseAt(200));
    EXPECT_EQ(rig.Only(L"RecordNotWritten"), (Journal{L"RecordNotWritten 5"}));
    EXPECT_EQ(rig.Only(L"WouldStop"), (Journal{L"WouldStop logger.exe since 0s"}));

    // Writable again: the checks act.
    rig.store.error = 0;
    rig.monitor.PulseEnded(HealthRig::At(201));
    EXPECT_FALSE(rig.RaiseAt(260));
}

// A record that is there but cannot be read, whatever kept it from being read, and the next
// start after another reset: the checks only watch until every check has passed for an hour.
TEST(HealthRecord, AnUnreadableRecordCountsAsTheLimitReachedAcrossResetsUntilAGoodHour) {
    for (const unsigned long error : {0ul, 5ul}) {
        HealthRig rig(ActingAtOnce({L"logger.exe"}));
        rig.store.unreadable = error;
        rig.monitor.Begin();
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
        next.monitor.Begin();
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
    rig.monitor.Begin();
    rig.Rounds(0, 200, {false});
    EXPECT_FALSE(rig.RaiseAt(200));
    EXPECT_TRUE(rig.Only(L"Record").empty());
}

TEST(HealthSettingsInForce, SettingsAndProblemsAreLoggedWhenTheyChangeNotEveryRound) {
    HealthRig rig(Acting({L"logger.exe"}));
    rig.problems = {{SettingProblem::Kind::BadValue, L"FailAfter", L"5", L"120"}};
    rig.monitor.Begin();
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
    rig.monitor.Begin();
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
