// An administrator's drill on a clock the tests set, as the monitor answers at every rise.
#include <gtest/gtest.h>

#include "tests/unit/service_fakes.h"

namespace kelvarid::testing {
namespace {

// An administrator's drill: the rises held from its start until the circuit resets the machine
// or DrillTimeout after the last good pulse, and what the next start says.
HealthSettings DrillingFor(std::uint32_t seconds) {
    HealthSettings settings;
    settings.drillTimeout = seconds;
    return settings;
}

TEST(HealthDrill, HoldsEveryRiseUntilItsTimeoutAfterTheLastPulseThenFailsOnceAndThePulsesResume) {
    HealthRig rig(DrillingFor(60));
    rig.Begin();
    rig.Round(0, {});
    rig.monitor.PulseEnded(HealthRig::At(0.5));
    EXPECT_FALSE(rig.LeftOutAt(1));
    ASSERT_EQ(rig.DrillAt(10), DrillAnswer::Started);
    EXPECT_EQ(rig.Only(L"Drill"), (Journal{L"DrillStarts after 0s for 60 s"}));
    ASSERT_TRUE(rig.store.stored);
    EXPECT_EQ(rig.store.stored->drillStarted, kWallAtStart + 10 * kSecond) << "a reset would forget the drill";

    EXPECT_TRUE(rig.LeftOutAt(60.4));
    EXPECT_EQ(rig.monitor.DrillDueInMs(HealthRig::At(60)), 500);
    EXPECT_FALSE(rig.LeftOutAt(60.5));
    EXPECT_EQ(rig.Only(L"DrillFailed"), (Journal{L"DrillFailed after 0s, waited 60 of 60 s"}));
    EXPECT_EQ(rig.store.stored->drillStarted, 0u) << "the next start would say the drill passed";
    EXPECT_EQ(DrillAllowedBy(*rig.store.stored), DrillAnswer::Started) << "a failed drill still refuses the next";
    EXPECT_FALSE(rig.monitor.DrillDueInMs(HealthRig::At(61)));
    EXPECT_FALSE(rig.LeftOutAt(121));
    EXPECT_TRUE(rig.RaiseAt(121));
    EXPECT_EQ(rig.Only(L"DrillFailed").size(), 1u);
}

TEST(HealthDrill, IsRefusedWhileAnotherRunsWhenTheChecksHoldAndWhenTheRecordCannotCarryIt) {
    HealthRig drilling(DrillingFor(600));
    drilling.Begin();
    ASSERT_EQ(drilling.DrillAt(5), DrillAnswer::Started);
    EXPECT_EQ(drilling.DrillAt(6), DrillAnswer::AlreadyRunning);
    EXPECT_EQ(drilling.Only(L"Drill"), (Journal{L"DrillStarts after never for 600 s", L"DrillRefused 2"}));
    // --drill reads the same answers from the record the service has written.
    EXPECT_EQ(DrillAllowedBy(*drilling.store.stored), DrillAnswer::AlreadyRunning);
    // No pulse in this run yet: the timeout counts from the drill's start.
    EXPECT_EQ(drilling.monitor.DrillDueInMs(HealthRig::At(6)), 599'000);

    HealthRig held(ActingAtOnce({L"logger.exe"}));
    held.Begin();
    held.Rounds(0, 130, {false});
    ASSERT_FALSE(held.RaiseAt(130));
    EXPECT_EQ(held.DrillAt(131), DrillAnswer::ChecksHold);
    EXPECT_EQ(held.Only(L"Drill"), (Journal{L"DrillRefused 1"}));
    EXPECT_EQ(DrillAllowedBy(*held.store.stored), DrillAnswer::ChecksHold);

    HealthRig unwritable(DrillingFor(600));
    unwritable.Begin();
    unwritable.store.error = 5;
    EXPECT_EQ(unwritable.DrillAt(5), DrillAnswer::NotRecorded);
    EXPECT_FALSE(unwritable.LeftOutAt(6)) << "a drill that a reset would forget held a rise";
    EXPECT_EQ(unwritable.Only(L"Drill"), (Journal{L"DrillRefused 3"}));
}

// The control alone, which whoever may send it to the service can send, starts nothing: only a
// fresh request that an administrator put where only administrators can write, and only once.
TEST(HealthDrill, StartsOnlyForAFreshRequestOnce) {
    HealthRig rig(DrillingFor(600));
    rig.Begin();
    const std::uint64_t minute = 60 * kSecond;
    EXPECT_EQ(rig.monitor.StartDrill(HealthRig::At(100), std::nullopt), DrillAnswer::NotAsked);
    EXPECT_EQ(rig.monitor.StartDrill(HealthRig::At(100), HealthRig::At(100).wall - minute - 1), DrillAnswer::NotAsked)
        << "a request left from long ago started a drill";
    EXPECT_EQ(rig.monitor.StartDrill(HealthRig::At(100), HealthRig::At(100).wall + minute + 1), DrillAnswer::NotAsked);
    EXPECT_FALSE(rig.LeftOutAt(101));
    EXPECT_EQ(rig.Only(L"Drill"), (Journal{L"DrillRefused 4", L"DrillRefused 4", L"DrillRefused 4"}));

    const std::uint64_t request = HealthRig::At(95).wall;
    ASSERT_EQ(rig.monitor.StartDrill(HealthRig::At(110), request), DrillAnswer::Started);
    rig.monitor.Stopped();  // the drill ends; its request is spent
    EXPECT_EQ(rig.monitor.StartDrill(HealthRig::At(120), request), DrillAnswer::NotAsked);

    EXPECT_EQ(ParseDrillRequest(L"134000000000000000"), 134'000'000'000'000'000ull);
    for (const wchar_t* text : {L"", L"-1", L"12x", L"99999999999999999999", L" 1"}) {
        EXPECT_FALSE(ParseDrillRequest(text)) << text;
    }
}

TEST(HealthDrill, TheStartAfterTheResetSaysItPassedWithTheGapAndAStopEndsIt) {
    HealthRig run(DrillingFor(600));
    run.Begin();
    run.monitor.PulseEnded(HealthRig::At(100));
    ASSERT_EQ(run.DrillAt(110), DrillAnswer::Started);

    // The service starts again 195 s after the first run's start, 95 s after the last pulse.
    // Whether Windows started again in between is the mark's to say; only without it do the
    // clocks decide: Windows' start (the start less its steady count) after the last pulse.
    struct Case {
        WindowsRun run;
        std::int64_t windowsUpMs;
        std::wstring verdict;
    };
    const Case cases[] = {
        {WindowsRun::New, 30'000, L"DrillPassed after 100s, started 195s, Windows 165s, 95 s"},
        // Windows' clock started an hour behind: the reset came all the same.
        {WindowsRun::New, 3'630'000, L"DrillPassed after 100s, started 195s, Windows -3435s, 95 s"},
        // The service alone started again; its steady count says so, whatever the clocks say.
        {WindowsRun::Same, 195'000, L"DrillWithoutReset after 100s"},
        {WindowsRun::Unknown, 30'000, L"DrillPassed after 100s, started 195s, Windows 165s, 95 s"},
        {WindowsRun::Unknown, 400'000, L"DrillWithoutReset after 100s"},
    };
    for (const Case& test : cases) {
        Journal journal;
        RecordingHealthLog log{journal};
        FakeStore store;
        store.stored = run.store.stored;
        HealthMonitor next(log, store, {test.windowsUpMs, kWallAtStart + 195 * kSecond, test.windowsUpMs});
        next.Begin(test.run);
        EXPECT_EQ(journal, (Journal{L"LastPulseBefore 100s, 95 s ago", test.verdict}))
            << "Windows up " << test.windowsUpMs << " ms";
        EXPECT_EQ(store.stored->drillStarted, 0u) << "a later reset would pass the drill again";
    }

    // A STOP ends the drill: logged, and the next start says nothing of it.
    run.monitor.Stopped();
    EXPECT_EQ(run.Only(L"DrillEnded"), (Journal{L"DrillEndedByStop"}));
    EXPECT_EQ(run.store.stored->drillStarted, 0u);
    EXPECT_FALSE(run.LeftOutAt(800));
}

}  // namespace
}  // namespace kelvarid::testing
