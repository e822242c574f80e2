// The service's health checks on a clock the tests set: the settings as the registry holds them,
// when a failing check stops the pulses and when it only watches, and the record that carries
// the stops in a row and the end of the last run across a reset.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "service/checks_and_drill/health_monitor.h"
#include "service/checks_and_drill/health_settings.h"
#include "service/checks_and_drill/run_record.h"
#include "tests/unit/fakes.h"

namespace kelvarid::testing {
namespace {

constexpr std::uint64_t kWallAtStart = 134'000'000'000'000'000ull;  // a FILETIME in 2025
constexpr std::uint64_t kSecond = 10'000'000;                         // FILETIME units

class RecordingHealthLog final : public HealthLog {
public:
    explicit RecordingHealthLog(Journal& journal) : journal_(journal) {}
    void SettingsInForce(const HealthSettings& settings) override {
        Add(L"Settings mode " + std::to_wstring(static_cast<int>(settings.mode)));
    }
    void BadSetting(const SettingProblem& problem) override {
        Add(L"Bad " + problem.value + L" " + problem.found + (problem.used.empty() ? L"" : L" -> " + problem.used));
    }
    void CheckFails(const CheckFailure& failure, const HealthSettings&) override {
        Add(L"Fails " + failure.check + L" since " + Seconds(failure.since));
    }
    void CheckPassesAgain(std::wstring_view check) override { Add(L"Passes " + std::wstring(check)); }
    void WouldStop(std::wstring_view check, std::uint64_t since) override {
        Add(L"WouldStop " + std::wstring(check) + L" since " + Seconds(since));
    }
    void PulsesStopped(std::wstring_view check, std::uint64_t since) override {
        Add(L"Stopped " + std::wstring(check) + L" since " + Seconds(since));
    }
    void LastRunStoppedByCheck(std::wstring_view check, std::uint64_t when) override {
        Add(L"LastRunStoppedBy " + std::wstring(check) + L" at " + Seconds(when));
    }
    void LastRunEndedWithoutStop(std::uint64_t lastPulse) override { Add(L"LastRunUnstopped " + Seconds(lastPulse)); }
    void TooManyStops(std::uint32_t stops) override { Add(L"TooManyStops " + std::to_wstring(stops)); }
    void ChecksActAgain() override { Add(L"ActAgain"); }
    void RecordNotWritten(unsigned long error) override { Add(L"RecordNotWritten " + std::to_wstring(error)); }
    void RecordUnreadable(unsigned long error) override { Add(L"RecordUnreadable " + std::to_wstring(error)); }
    void StopsUnknown() override { Add(L"StopsUnknown"); }
    void LastPulseBefore(std::uint64_t lastPulse, std::uint64_t secondsAgo) override {
        Add(L"LastPulseBefore " + Seconds(lastPulse) + L", " + std::to_wstring(secondsAgo) + L" s ago");
    }
    void DrillStarts(std::uint64_t lastPulse, std::uint32_t timeout) override {
        Add(L"DrillStarts after " + Seconds(lastPulse) + L" for " + std::to_wstring(timeout) + L" s");
    }
    void DrillFailed(std::uint64_t lastPulse, std::uint64_t waited, std::uint32_t timeout) override {
        Add(L"DrillFailed after " + Seconds(lastPulse) + L", waited " + std::to_wstring(waited) + L" of " +
            std::to_wstring(timeout) + L" s");
    }
    void DrillEndedByStop() override { Add(L"DrillEndedByStop"); }
    void DrillRefused(DrillAnswer why) override { Add(L"DrillRefused " + std::to_wstring(static_cast<int>(why))); }
    void DrillPassed(std::uint64_t lastPulse, std::uint64_t serviceStart, std::uint64_t windowsStart,
                     std::uint64_t seconds) override {
        Add(L"DrillPassed after " + Seconds(lastPulse) + L", started " + Seconds(serviceStart) + L", Windows " +
            Seconds(windowsStart) + L", " + std::to_wstring(seconds) + L" s");
    }

private:
    // The system's time as seconds since the start, which the tests read more easily.
    static std::wstring Seconds(std::uint64_t wall) {
        return wall == 0 ? L"never" : std::to_wstring((static_cast<std::int64_t>(wall - kWallAtStart)) / static_cast<std::int64_t>(kSecond)) + L"s";
    }
    void Add(std::wstring entry) { journal_.push_back(std::move(entry)); }
    Journal& journal_;
};

class FakeStore final : public RunRecordStore {
public:
    StoredRecord Load() override {
        if (unreadable) return {StoredRecord::State::Unreadable, {}, *unreadable};
        if (!stored) return {};
        return {StoredRecord::State::Read, *stored, 0};
    }
    unsigned long Save(const RunRecord& record) override {
        if (error == 0) stored = record;
        ++saves;
        return error;
    }
    std::optional<RunRecord> stored;
    std::optional<unsigned long> unreadable;  // the error Load reports instead of a record
    unsigned long error = 0;
    int saves = 0;
};

HealthSettings Acting(std::vector<std::wstring> processes, std::vector<std::wstring> files = {}) {
    HealthSettings settings;
    settings.mode = HealthMode::Act;
    settings.processes = std::move(processes);
    settings.heartbeatFiles = std::move(files);
    return settings;
}

// Acting with no grace: a check acts as soon as it has failed for FailAfter.
HealthSettings ActingAtOnce(std::vector<std::wstring> processes, std::vector<std::wstring> files = {}) {
    HealthSettings settings = Acting(std::move(processes), std::move(files));
    settings.startupGrace = 0;
    return settings;
}

// The monitor on a clock that only the test moves: `At(s)` is s seconds after the start.
struct HealthRig {
    explicit HealthRig(HealthSettings chosen) : settings(std::move(chosen)) {}

    static Instant At(double seconds) {
        return {static_cast<std::int64_t>(seconds * 1000), kWallAtStart + static_cast<std::uint64_t>(seconds * kSecond)};
    }
    // A whole round at `seconds`: the processes running as given, the files written at those times.
    void Round(double seconds, std::vector<bool> running, std::vector<std::optional<std::uint64_t>> written = {}) {
        monitor.RoundStarted(settings, problems, At(seconds));
        monitor.RoundFinished({std::move(running), std::move(written)}, At(seconds));
    }
    // Rounds every 10 s from `from` to `to`, all alike.
    void Rounds(double from, double to, std::vector<bool> running) {
        for (double t = from; t <= to; t += 10) Round(t, running);
    }
    bool RaiseAt(double seconds) { return monitor.MayRaise(At(seconds)); }
    Journal Only(const std::wstring& prefix) const {
        Journal picked;
        for (const auto& entry : journal) {
            if (entry.rfind(prefix, 0) == 0) picked.push_back(entry);
        }
        return picked;
    }

    HealthSettings settings;
    std::vector<SettingProblem> problems;
    Journal journal;
    RecordingHealthLog log{journal};
    FakeStore store;
    HealthMonitor monitor{log, store, At(0)};
};

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
        EXPECT_TRUE(rig.monitor.MayRaise(now)) << "round " << round;
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

TEST(HealthRecord, ReadsBackWhatItWroteAndNothingThatIsNotWhole) {
    const RunRecord record{133'900'000'000'000'123ull, false, 2, L"C:\\Data\\Žluťoučký kůň.txt", 42, 7};
    const std::wstring text = EncodeRunRecord(record);
    EXPECT_EQ(DecodeRunRecord(text), record);
    // Written before drills were known: whole without the drill's line, with no drill.
    const std::size_t drillLine = text.find(L"DrillStarted=7\r\n");
    ASSERT_NE(drillLine, std::wstring::npos);
    RunRecord older = record;
    older.drillStarted = 0;
    EXPECT_EQ(DecodeRunRecord(std::wstring(text).erase(drillLine, 16)), older);
    for (std::size_t cut = 0; cut < text.size(); ++cut) {
        EXPECT_FALSE(DecodeRunRecord(text.substr(0, cut))) << "a record cut after " << cut << " characters was read";
    }
    EXPECT_FALSE(DecodeRunRecord(L""));
    std::wstring bad = text;
    bad[bad.find(L"StopsInRow=") + 11] = L'x';
    EXPECT_FALSE(DecodeRunRecord(bad));
    EXPECT_FALSE(DecodeRunRecord(L"EndedWithStop=7\r\n" + text));
    EXPECT_FALSE(DecodeRunRecord(L"StopsInRow=0\r\n" + text)) << "a line there twice";
    EXPECT_FALSE(DecodeRunRecord(text + L"Other=1\r\n"));
}

// An administrator's drill: the rises held from its start until the circuit resets the machine
// or DrillTimeout after the last good pulse, and what the next start says.
HealthSettings DrillingFor(std::uint32_t seconds) {
    HealthSettings settings;
    settings.drillTimeout = seconds;
    return settings;
}

TEST(HealthDrill, HoldsEveryRiseUntilItsTimeoutAfterTheLastPulseThenFailsOnceAndThePulsesResume) {
    HealthRig rig(DrillingFor(60));
    rig.monitor.Begin();
    rig.Round(0, {});
    rig.monitor.PulseEnded(HealthRig::At(0.5));
    EXPECT_FALSE(rig.monitor.Drilling(HealthRig::At(1)));
    ASSERT_EQ(rig.monitor.StartDrill(HealthRig::At(10)), DrillAnswer::Started);
    EXPECT_EQ(rig.Only(L"Drill"), (Journal{L"DrillStarts after 0s for 60 s"}));
    ASSERT_TRUE(rig.store.stored);
    EXPECT_EQ(rig.store.stored->drillStarted, kWallAtStart + 10 * kSecond) << "a reset would forget the drill";

    EXPECT_TRUE(rig.monitor.Drilling(HealthRig::At(60.4)));
    EXPECT_EQ(rig.monitor.DrillDueInMs(HealthRig::At(60)), 500);
    EXPECT_FALSE(rig.monitor.Drilling(HealthRig::At(60.5)));
    EXPECT_EQ(rig.Only(L"DrillFailed"), (Journal{L"DrillFailed after 0s, waited 60 of 60 s"}));
    EXPECT_EQ(rig.store.stored->drillStarted, 0u) << "the next start would say the drill passed";
    EXPECT_EQ(DrillAllowedBy(*rig.store.stored), DrillAnswer::Started) << "a failed drill still refuses the next";
    EXPECT_FALSE(rig.monitor.DrillDueInMs(HealthRig::At(61)));
    EXPECT_FALSE(rig.monitor.Drilling(HealthRig::At(121)));
    EXPECT_TRUE(rig.RaiseAt(121));
    EXPECT_EQ(rig.Only(L"DrillFailed").size(), 1u);
}

TEST(HealthDrill, IsRefusedWhileAnotherRunsWhenTheChecksHoldAndWhenTheRecordCannotCarryIt) {
    HealthRig drilling(DrillingFor(600));
    drilling.monitor.Begin();
    ASSERT_EQ(drilling.monitor.StartDrill(HealthRig::At(5)), DrillAnswer::Started);
    EXPECT_EQ(drilling.monitor.StartDrill(HealthRig::At(6)), DrillAnswer::AlreadyRunning);
    EXPECT_EQ(drilling.Only(L"Drill"), (Journal{L"DrillStarts after never for 600 s", L"DrillRefused 2"}));
    // --drill reads the same answers from the record the service has written.
    EXPECT_EQ(DrillAllowedBy(*drilling.store.stored), DrillAnswer::AlreadyRunning);
    // No pulse in this run yet: the timeout counts from the drill's start.
    EXPECT_EQ(drilling.monitor.DrillDueInMs(HealthRig::At(6)), 599'000);

    HealthRig held(ActingAtOnce({L"logger.exe"}));
    held.monitor.Begin();
    held.Rounds(0, 130, {false});
    ASSERT_FALSE(held.RaiseAt(130));
    EXPECT_EQ(held.monitor.StartDrill(HealthRig::At(131)), DrillAnswer::ChecksHold);
    EXPECT_EQ(held.Only(L"Drill"), (Journal{L"DrillRefused 1"}));
    EXPECT_EQ(DrillAllowedBy(*held.store.stored), DrillAnswer::ChecksHold);

    HealthRig unwritable(DrillingFor(600));
    unwritable.monitor.Begin();
    unwritable.store.error = 5;
    EXPECT_EQ(unwritable.monitor.StartDrill(HealthRig::At(5)), DrillAnswer::NotRecorded);
    EXPECT_FALSE(unwritable.monitor.Drilling(HealthRig::At(6))) << "a drill that a reset would forget held a rise";
    EXPECT_EQ(unwritable.Only(L"Drill"), (Journal{L"DrillRefused 3"}));
}

TEST(HealthDrill, TheStartAfterTheResetSaysItPassedWithTheGapAndAStopEndsIt) {
    HealthRig run(DrillingFor(600));
    run.monitor.Begin();
    run.monitor.PulseEnded(HealthRig::At(100));
    ASSERT_EQ(run.monitor.StartDrill(HealthRig::At(110)), DrillAnswer::Started);

    // The circuit resets the machine: Windows starts 165 s after the first run's start, the
    // service 30 s later, 95 s after the last pulse. Under Wine "Windows" started long before.
    struct Case {
        std::int64_t windowsUpMs;
        std::wstring windows;
    };
    for (const Case& test : {Case{30'000, L"165s"}, Case{400'000, L"never"}}) {
        Journal journal;
        RecordingHealthLog log{journal};
        FakeStore store;
        store.stored = run.store.stored;
        HealthMonitor next(log, store, {test.windowsUpMs, kWallAtStart + 195 * kSecond});
        next.Begin();
        EXPECT_EQ(journal, (Journal{L"LastPulseBefore 100s, 95 s ago",
                                    L"DrillPassed after 100s, started 195s, Windows " + test.windows + L", 95 s"}));
        EXPECT_EQ(store.stored->drillStarted, 0u) << "a later reset would pass the drill again";
    }

    // A STOP ends the drill: logged, and the next start says nothing of it.
    run.monitor.Stopped();
    EXPECT_EQ(run.Only(L"DrillEnded"), (Journal{L"DrillEndedByStop"}));
    EXPECT_EQ(run.store.stored->drillStarted, 0u);
    EXPECT_FALSE(run.monitor.Drilling(HealthRig::At(800)));
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

RawValue Dword(std::uint32_t number) { return {true, kRegDword, number, {}}; }
RawValue List(std::vector<std::wstring> entries) { return {true, kRegMultiString, 0, std::move(entries)}; }
RawValue Text() { return {true, 1, 0, {}}; }

TEST(HealthSettingsRead, NothingSetMeansNoChecksAtTheirDefaults) {
    std::vector<SettingProblem> problems;
    EXPECT_EQ(ReadHealthSettings({}, problems), HealthSettings{});
    EXPECT_TRUE(problems.empty());
    const HealthSettings defaults;
    EXPECT_EQ(defaults.mode, HealthMode::Off);
    EXPECT_EQ(defaults.heartbeatMaxAge, 180u);
    EXPECT_EQ(defaults.failAfter, 120u);
    EXPECT_EQ(defaults.startupGrace, 600u);
    EXPECT_EQ(defaults.maxHealthResets, 3u);
}

TEST(HealthSettingsRead, AWrongTypeOrAValueOutOfRangeIsNamedAndItsDefaultUsed) {
    RawHealthValues raw;
    raw.healthChecks = Dword(3);
    raw.processes = Text();
    raw.heartbeatFiles = List({L"C:\\beat.txt"});
    raw.heartbeatMaxAge = Dword(9);
    raw.failAfter = Text();
    raw.startupGrace = Dword(0);
    raw.maxHealthResets = Dword(0);
    raw.drillTimeout = Dword(59);
    std::vector<SettingProblem> problems;
    const HealthSettings settings = ReadHealthSettings(raw, problems);
    EXPECT_EQ(settings.mode, HealthMode::Off);
    EXPECT_EQ(settings.drillTimeout, 600u);
    EXPECT_TRUE(settings.processes.empty());
    EXPECT_EQ(settings.heartbeatMaxAge, 180u);
    EXPECT_EQ(settings.failAfter, 120u);
    EXPECT_EQ(settings.startupGrace, 0u) << "a grace of 0 is allowed";
    EXPECT_EQ(settings.maxHealthResets, 3u);
    using Kind = SettingProblem::Kind;
    EXPECT_EQ(problems, (std::vector<SettingProblem>{{Kind::BadValue, L"HealthChecks", L"3", L"0"},
                                                      {Kind::BadValue, L"Processes", L"REG_SZ", L"-"},
                                                      {Kind::BadValue, L"HeartbeatMaxAge", L"9", L"180"},
                                                      {Kind::BadValue, L"FailAfter", L"REG_SZ", L"120"},
                                                      {Kind::BadValue, L"MaxHealthResets", L"0", L"3"},
                                                      {Kind::BadValue, L"DrillTimeout", L"59", L"600"}}));

    raw = {};
    raw.heartbeatMaxAge = Dword(10);
    raw.failAfter = Dword(10);
    raw.drillTimeout = Dword(3601);
    problems.clear();
    EXPECT_EQ(ReadHealthSettings(raw, problems).failAfter, 10u);
    EXPECT_EQ(problems, (std::vector<SettingProblem>{{Kind::BadValue, L"DrillTimeout", L"3601", L"600"}}))
        << "10 s is allowed, and a drill waits at most an hour";
    for (const std::uint32_t seconds : {60u, 3600u}) {
        raw.drillTimeout = Dword(seconds);
        problems.clear();
        EXPECT_EQ(ReadHealthSettings(raw, problems).drillTimeout, seconds);
        EXPECT_TRUE(problems.empty());
    }
}

TEST(HealthSettingsRead, EntriesThatAreNotImageNamesOrFullLocalPathsAreLeftOut) {
    RawHealthValues raw;
    raw.healthChecks = Dword(2);
    raw.processes = List({L"Logger.EXE", L"C:\\bin\\logger.exe", L"logger", L"log*.exe", L"..\\x.exe", L"", L"server.exe"});
    raw.heartbeatFiles = List({L"C:\\Data\\beat.txt", L"\\\\server\\share\\beat.txt", L"beat.txt", L"C:beat.txt",
                               L"C:\\Data\\..\\beat.txt", L"\\\\?\\C:\\beat.txt", L"C:\\Data\\", L"d:\\Měření\\tep.log"});
    std::vector<SettingProblem> problems;
    const HealthSettings settings = ReadHealthSettings(raw, problems);
    EXPECT_EQ(settings.mode, HealthMode::Act);
    EXPECT_EQ(settings.processes, (std::vector<std::wstring>{L"Logger.EXE", L"server.exe"}));
    EXPECT_EQ(settings.heartbeatFiles, (std::vector<std::wstring>{L"C:\\Data\\beat.txt", L"d:\\Měření\\tep.log"}));
    std::vector<std::wstring> leftOut;
    for (const SettingProblem& problem : problems) {
        EXPECT_EQ(problem.kind, SettingProblem::Kind::BadEntry);
        leftOut.push_back(problem.value + L":" + problem.found);
    }
    EXPECT_EQ(leftOut, (std::vector<std::wstring>{L"Processes:C:\\bin\\logger.exe", L"Processes:logger",
                                                   L"Processes:log*.exe", L"Processes:..\\x.exe",
                                                   L"HeartbeatFiles:\\\\server\\share\\beat.txt",
                                                   L"HeartbeatFiles:beat.txt", L"HeartbeatFiles:C:beat.txt",
                                                   L"HeartbeatFiles:C:\\Data\\..\\beat.txt",
                                                   L"HeartbeatFiles:\\\\?\\C:\\beat.txt", L"HeartbeatFiles:C:\\Data\\"}));
}

TEST(HealthSettingsRead, ActingWithNoUsableCheckMeansNoChecksAndIsLogged) {
    RawHealthValues raw;
    raw.healthChecks = Dword(2);
    raw.processes = List({L"\\\\server\\x.exe"});
    std::vector<SettingProblem> problems;
    EXPECT_EQ(ReadHealthSettings(raw, problems).mode, HealthMode::Off);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[1].kind, SettingProblem::Kind::NoUsableCheck);
}

TEST(HealthSettingsRead, SettingsAndProblemsAreLoggedWhenTheyChangeNotEveryRound) {
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

TEST(HealthSettingsRead, ChecksSwitchedOffForgetTheirFailures) {
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
