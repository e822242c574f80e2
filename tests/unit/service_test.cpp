// The service's keep-alive with the faked serial line: what it does must come out as the
// service's log entries and as countdowns of Timer1. The Port value that chooses the port, and
// the limit on entries that repeat.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keepalive/ports.h"
#include "platform/tick_count.h"
#include "service/log/repeat_limit.h"
#include "service/host/service_command.h"
#include "service/work/service_pulses.h"
#include "tests/unit/fakes.h"

namespace kelvarid::testing {
namespace {

class RecordingLog final : public ServiceLog {
public:
    explicit RecordingLog(Journal& journal) : journal_(journal) {}
    void Started(std::wstring_view port) override { Add(L"Started", port); }
    void PortNotOpened(std::wstring_view port) override { Add(L"PortNotOpened", port); }
    void PortOpenedLater(std::wstring_view port) override { Add(L"PortOpenedLater", port); }
    void PulseFailed(std::wstring_view port) override { Add(L"PulseFailed", port); }
    void PulsesWorkAgain(std::wstring_view port) override { Add(L"PulsesWorkAgain", port); }
    void Stopped(std::wstring_view port) override { Add(L"Stopped", port); }
    void BadPortValue(std::wstring_view value, std::wstring_view used) override {
        Add(L"BadPortValue", std::wstring(value) + L" -> " + std::wstring(used));
    }
    void AlreadyRunning(std::wstring_view holder) override { Add(L"AlreadyRunning", holder); }
    void Fatal(std::wstring_view what) override { Add(L"Fatal", what); }
    void Suspending() override { Add(L"Suspending", L""); }
    void Resumed(std::wstring_view port) override { Add(L"Resumed", port); }
    void PriorityNotRaised(unsigned long error) override { Add(L"PriorityNotRaised", std::to_wstring(error)); }

private:
    void Add(std::wstring_view entry, std::wstring_view detail) {
        journal_.push_back(L"Log " + std::wstring(entry) + L" " + std::wstring(detail));
    }
    Journal& journal_;
};

class RecordingCountdown final : public Countdown {
public:
    explicit RecordingCountdown(Journal& journal) : journal_(journal) {}
    void Start(unsigned milliseconds) override { journal_.push_back(L"Countdown " + std::to_wstring(milliseconds)); }

private:
    Journal& journal_;
};

// The health checks as the pulses see them: a rise is allowed while `allow` says so; both
// questions land in the journal.
class RecordingGuard final : public PulseGuard {
public:
    explicit RecordingGuard(Journal& journal) : journal_(journal) {}
    bool MayRaise() override {
        journal_.push_back(allow ? L"Guard allows" : L"Guard holds");
        return allow;
    }
    void PulseEnded() override { journal_.push_back(L"Guard pulse ended"); }
    bool Drilling() override {
        if (drilling) journal_.push_back(L"Guard drills");
        return drilling;
    }
    bool allow = true;
    bool drilling = false;

private:
    Journal& journal_;
};

// The keep-alive as the service runs it: the configured port, the faked line, nothing on screen.
struct ServiceRig {
    ServiceRig(int port, std::set<std::wstring> available) : configured(port) { line.available = std::move(available); }

    void Start() { pulses.Start(); }
    // One whole pulse: the rise and the fall.
    void Pulse() {
        pulses.Tick();
        pulses.Tick();
    }
    Journal Only(const std::wstring& prefix) const {
        Journal picked;
        for (const auto& entry : journal) {
            if (entry.rfind(prefix, 0) == 0) picked.push_back(entry);
        }
        return picked;
    }
    void Forget() { journal.clear(); }

    Journal journal;
    RecordingLog log{journal};
    RecordingCountdown countdown{journal};
    FakeSerialLine line{journal};
    RecordingGuard guard{journal};
    int configured;
    ServicePulses pulses{configured, line, log, countdown, guard};
};

const std::wstring kCom2Settings = L"OPENCOM COM2,1200,N,8,1";

TEST(ServiceStartUp, OnlyTheConfiguredPortIsOpenedAndItsOpeningIsLoggedAsTheStart) {
    ServiceRig rig(1, {L"COM1", L"COM2", L"COM3", L"COM4"});
    rig.Start();
    rig.Pulse();

    // No probe: an open switches DTR and RTS on, which another port's device may act on.
    EXPECT_EQ(rig.Only(L"OPENCOM"), (Journal{kCom2Settings}));
    EXPECT_EQ(rig.Only(L"Log "), (Journal{L"Log Started COM2"}));
    // Timer1 starts before Load, with the first rise due 5 ms later, as in the window.
    EXPECT_EQ(rig.journal.front(), L"Countdown 5");
    EXPECT_EQ(rig.pulses.PulsePortName(), L"COM2");
}

TEST(ServiceStartUp, WhileItsPortWillNotOpenNothingIsSentAnywhereAndItIsTakenAtTheFirstRiseAfterItCame) {
    ServiceRig rig(1, {L"COM1", L"COM3", L"COM4"});
    rig.Start();
    EXPECT_EQ(rig.Only(L"Log "), (Journal{L"Log Started ", L"Log PortNotOpened COM2"}));

    rig.Forget();
    for (int pulse = 0; pulse < 3; ++pulse) rig.Pulse();
    EXPECT_EQ(rig.Only(L"OPENCOM"), Journal(3, kCom2Settings)) << "the wanted port is not tried at every rise";
    EXPECT_TRUE(rig.Only(L"TXD").empty()) << "a level was sent while the service's port was missing";
    // The first rise that could not be sent is a failed pulse, never shown as a good one.
    EXPECT_EQ(rig.Only(L"Log "), (Journal{L"Log PulseFailed "}));
    EXPECT_EQ(rig.pulses.PulsePortName(), L"");

    rig.Forget();
    rig.line.available.insert(L"COM2");
    rig.Pulse();
    rig.Pulse();
    EXPECT_EQ(rig.Only(L"OPENCOM"), (Journal{kCom2Settings}));
    EXPECT_EQ(rig.Only(L"TXD"), (Journal{L"TXD 1", L"TXD 0", L"TXD 1", L"TXD 0"}));
    EXPECT_EQ(rig.Only(L"Log "), (Journal{L"Log PortOpenedLater COM2", L"Log PulsesWorkAgain COM2"}));
    EXPECT_EQ(rig.pulses.PulsePortName(), L"COM2");
}

TEST(ServiceStop, AStopWhileItsPortIsMissingSendsNothing) {
    ServiceRig rig(2, {L"COM1"});
    rig.Start();
    rig.pulses.Tick();  // a rise that could not be sent
    rig.pulses.Stop();
    EXPECT_TRUE(rig.Only(L"TXD").empty());
}

TEST(ServiceStartUp, WithNoPortAtAllThePulsesGoNowhereAndTheLogSaysSo) {
    ServiceRig rig(0, {});
    rig.Start();
    EXPECT_EQ(rig.Only(L"Log "), (Journal{L"Log Started ", L"Log PortNotOpened COM1"}));
    EXPECT_EQ(rig.pulses.PulsePortName(), L"");
}

TEST(ServicePulses, Timer1CountsDownTheWindowsScheduleFromStartOn) {
    ServiceRig rig(0, {L"COM1"});
    rig.Start();
    rig.Pulse();
    rig.pulses.Tick();

    EXPECT_EQ(rig.Only(L"Countdown"),
              (Journal{L"Countdown 5", L"Countdown 500", L"Countdown 60000", L"Countdown 500"}));
    EXPECT_EQ(rig.Only(L"TXD"), (Journal{L"TXD 1", L"TXD 0", L"TXD 1"}));
}

TEST(ServicePulses, ARunOfFailedPulsesIsLoggedOnceAtItsStartAndOnceAtItsEnd) {
    ServiceRig rig(0, {L"COM1", L"COM4"});
    rig.Start();
    rig.Forget();

    rig.line.txdWorks = false;
    for (int pulse = 0; pulse < 3; ++pulse) rig.Pulse();
    EXPECT_EQ(rig.Only(L"Log "), (Journal{L"Log PulseFailed COM1"}));

    rig.Forget();
    rig.line.txdWorks = true;
    for (int pulse = 0; pulse < 3; ++pulse) rig.Pulse();
    EXPECT_EQ(rig.Only(L"Log "), (Journal{L"Log PulsesWorkAgain COM1"}));
}

TEST(ServiceStop, StopLowersARaisedLineOnceAndLeavesALowOneAlone) {
    ServiceRig rig(0, {L"COM1"});
    rig.Start();
    rig.Pulse();
    rig.Forget();
    rig.pulses.Stop();
    EXPECT_TRUE(rig.Only(L"TXD").empty()) << "a low line was driven at the stop";

    rig.pulses.Tick();
    rig.Forget();
    rig.pulses.Stop();
    rig.pulses.Stop();
    EXPECT_EQ(rig.Only(L"TXD"), (Journal{L"TXD 0"}));
}

TEST(ServicePulses, AWakeBringsTheRiseAtOnceOrEndsAPulseAndRisesHalfASecondLater) {
    ServiceRig rig(0, {L"COM1"});
    rig.Start();
    rig.Pulse();
    rig.Forget();
    rig.pulses.Resume();
    EXPECT_EQ(rig.journal, (Journal{L"Guard allows", L"TXD 1", L"Countdown 500"}));
    rig.Forget();
    rig.pulses.Resume();
    EXPECT_EQ(rig.journal, (Journal{L"TXD 0", L"Countdown 500", L"Guard pulse ended"}));
    EXPECT_EQ(rig.pulses.PulsePortName(), L"COM1");
}

TEST(ServiceGuard, IsAskedBeforeEveryRiseOnlyAndHearsOfEveryGoodPulse) {
    ServiceRig rig(0, {L"COM1"});
    rig.Start();
    rig.Forget();
    rig.Pulse();
    rig.Pulse();
    EXPECT_EQ(rig.Only(L"Guard"),
              (Journal{L"Guard allows", L"Guard pulse ended", L"Guard allows", L"Guard pulse ended"}));

    // A pulse whose rise failed is no sign of life: the guard does not hear of it.
    rig.Forget();
    rig.line.txdWorks = false;
    rig.pulses.Tick();
    rig.line.txdWorks = true;
    rig.pulses.Tick();
    EXPECT_EQ(rig.Only(L"Guard"), (Journal{L"Guard allows"}));
}

TEST(ServiceGuard, AHeldRiseLeavesTheLineLowAndStopsTimer1ForTheRestOfTheRun) {
    ServiceRig rig(0, {L"COM1"});
    rig.Start();
    rig.pulses.Tick();  // raised
    rig.guard.allow = false;
    rig.Forget();
    rig.pulses.Tick();  // the fall is never held back
    EXPECT_EQ(rig.Only(L"TXD"), (Journal{L"TXD 0"}));
    rig.Forget();
    rig.pulses.Tick();
    EXPECT_EQ(rig.journal, (Journal{L"Guard holds"})) << "a held rise drove the line or started Timer1";
    EXPECT_TRUE(rig.pulses.Held());

    // Nothing brings the pulses back in this run: not the guard, not a tick, not a wake.
    rig.guard.allow = true;
    rig.Forget();
    rig.pulses.Tick();
    rig.pulses.Resume();
    EXPECT_TRUE(rig.journal.empty()) << "after the hold: " << rig.journal.front();
    rig.pulses.Stop();
    EXPECT_TRUE(rig.Only(L"TXD").empty()) << "STOP drove a line that was low";
}

TEST(ServiceGuard, AWakeInTheLowPhaseAsksTheGuardBeforeItRaises) {
    ServiceRig rig(0, {L"COM1"});
    rig.Start();
    rig.Pulse();
    rig.guard.allow = false;
    rig.Forget();
    rig.pulses.Resume();
    EXPECT_EQ(rig.journal, (Journal{L"Guard holds"}));
}

TEST(ServiceGuard, ADrillLeavesOutEachRiseKeepsTheScheduleAndItsEndRaisesAtOnce) {
    ServiceRig rig(0, {L"COM1"});
    rig.Start();
    rig.Pulse();
    rig.guard.drilling = true;
    rig.Forget();
    rig.pulses.Tick();
    EXPECT_EQ(rig.journal, (Journal{L"Guard drills", L"Countdown 60500"})) << "a left-out rise drove the line";
    rig.Forget();
    rig.pulses.Resume();  // a wake from sleep, or the drill's timer before its time
    EXPECT_EQ(rig.journal, (Journal{L"Guard drills"})) << "Timer1 was moved during a drill";
    EXPECT_FALSE(rig.pulses.Held()) << "a drill held the pulses for good";

    // Its timeout: the rise at once, the usual rhythm after it.
    rig.guard.drilling = false;
    rig.Forget();
    rig.pulses.Resume();
    rig.pulses.Tick();
    EXPECT_EQ(rig.Only(L"TXD"), (Journal{L"TXD 1", L"TXD 0"}));
    EXPECT_EQ(rig.Only(L"Countdown"), (Journal{L"Countdown 500", L"Countdown 60000"}));
}

TEST(ServiceGuard, ADrillAskedForInTheHighPhaseLetsThatPulseEnd) {
    ServiceRig rig(0, {L"COM1"});
    rig.Start();
    rig.pulses.Tick();
    rig.guard.drilling = true;
    rig.Forget();
    rig.pulses.Tick();
    EXPECT_EQ(rig.Only(L"TXD"), (Journal{L"TXD 0"}));
    EXPECT_EQ(rig.Only(L"Guard"), (Journal{L"Guard pulse ended"}));
}

TEST(PortValue, NamesTheFourPortsInAnyCaseWithBlanksAround) {
    EXPECT_EQ(PortFromName(L"COM1"), 0);
    EXPECT_EQ(PortFromName(L"com2"), 1);
    EXPECT_EQ(PortFromName(L" Com3\t"), 2);
    EXPECT_EQ(PortFromName(L"COM4"), 3);
}

TEST(PortValue, AnythingElseNamesNoPort) {
    for (const wchar_t* value : {L"", L"COM", L"COM0", L"COM5", L"COM12", L"COM1:", L"LPT1", L"1", L"CO M1",
                                 L"\\\\.\\COM1", L"COM\u0661"}) {
        EXPECT_EQ(PortFromName(value), kNoPort) << "value: " << value;
    }
}

// The log as the service writes it: the counts that are due before each entry, as EventLog does.
struct RepeatRig {
    // An entry of `key` at `seconds`; whether it was written.
    bool Entry(const std::wstring& key, double seconds) {
        Counts(seconds);
        return limit.Admit(key, Ms(seconds));
    }
    void Counts(double seconds) {
        for (const RepeatLimit::Held& held : limit.Due(Ms(seconds))) counts.push_back(held);
    }
    static std::int64_t Ms(double seconds) { return static_cast<std::int64_t>(seconds * 1000); }
    RepeatLimit limit;
    std::vector<RepeatLimit::Held> counts;
};

TEST(RepeatedEntries, ACheckThatFailsAndPassesEveryRoundIsWrittenOnceAndThenCountedOnceAMinute) {
    RepeatRig rig;
    int written = 0;
    for (double t = 0; t < 180; t += 10) {
        written += rig.Entry(L"14 (logger.exe)", t) ? 1 : 0;
        written += rig.Entry(L"15 (logger.exe)", t + 5) ? 1 : 0;
    }
    EXPECT_EQ(written, 2) << "each entry once, then only counts";
    using Held = RepeatLimit::Held;
    EXPECT_EQ(rig.counts, (std::vector<Held>{{L"14 (logger.exe)", 5}, {L"15 (logger.exe)", 5},
                                              {L"14 (logger.exe)", 6}, {L"15 (logger.exe)", 6}}));
    rig.counts.clear();
    rig.Counts(1e12);  // the end: what is still held is counted
    EXPECT_EQ(rig.counts, (std::vector<Held>{{L"14 (logger.exe)", 6}, {L"15 (logger.exe)", 6}}));
}

TEST(RepeatedEntries, OtherEntriesAndAnEntryAfterAQuietMinuteAreWrittenAtOnce) {
    RepeatRig rig;
    EXPECT_TRUE(rig.Entry(L"14 (logger.exe)", 0));
    EXPECT_TRUE(rig.Entry(L"14 (backup.exe)", 1)) << "another check's failure was held back";
    EXPECT_TRUE(rig.Entry(L"4 (COM1)", 2));
    EXPECT_FALSE(rig.Entry(L"14 (logger.exe)", 59.9));
    EXPECT_TRUE(rig.Entry(L"14 (backup.exe)", 61));
    EXPECT_EQ(rig.counts, (std::vector<RepeatLimit::Held>{{L"14 (logger.exe)", 1}}));
    rig.counts.clear();
    EXPECT_TRUE(rig.Entry(L"4 (COM1)", 300)) << "an entry after a quiet minute was held back";
    EXPECT_TRUE(rig.Entry(L"14 (logger.exe)", 300));
    EXPECT_TRUE(rig.counts.empty());
}

TEST(ServiceCommandLine, TheServiceManagersStartRunsTheServiceAndOnlyTheInstallersOptionsAndTheDrillDoElse) {
    const std::wstring quoted = L"\"C:\\Program Files\\Kelvarid --x\\kelvarid-service.exe\"";
    EXPECT_EQ(ParseServiceCommand(quoted), ServiceCommand::RunAsService);
    EXPECT_EQ(ParseServiceCommand(quoted + L"  "), ServiceCommand::RunAsService);
    EXPECT_EQ(ParseServiceCommand(L"C:\\Kelvarid\\kelvarid-service.exe"), ServiceCommand::RunAsService);
    EXPECT_EQ(ParseServiceCommand(quoted + L" --set-program-rights"), ServiceCommand::SetProgramRights);
    EXPECT_EQ(ParseServiceCommand(L"kelvarid-service.exe\t--make-record-folder "), ServiceCommand::MakeRecordFolder);
    EXPECT_EQ(ParseServiceCommand(quoted + L" --drill"), ServiceCommand::Drill);
    EXPECT_EQ(ParseServiceCommand(quoted + L" --set-service-rights"), ServiceCommand::SetServiceRights);
    for (const wchar_t* options : {L" --SET-PROGRAM-RIGHTS", L" --set-program-rights x", L" /set-program-rights",
                                   L" --drill now", L" /drill",
                                   L" --make-record-folder --set-program-rights", L" -"}) {
        EXPECT_EQ(ParseServiceCommand(quoted + options), ServiceCommand::Unknown) << options;
    }
    EXPECT_EQ(ParseServiceCommand(L"\"C:\\Kelvarid\\kelvarid-service.exe --set-program-rights"), ServiceCommand::RunAsService)
        << "an unclosed quote belongs to the program's name";
}

// XP's 32-bit tick count widened: through its wrap after 49.7 days, and with readings that
// threads hand over a little out of order on either side of it.
TEST(TickCount, GoesOnThroughTheWrapOfTheThirtyTwoBitCount) {
    constexpr std::uint64_t kWrap = std::uint64_t{1} << 32;
    std::uint64_t last = WidenTickCount(0, 0xF0000000u);  // first read 46 days after boot
    EXPECT_EQ(last, 0xF0000000u);
    std::uint64_t previous = last;
    for (std::uint64_t t = 0xF0000000u; t < 3 * kWrap; t += 60500) {  // a pulse's reading every 60.5 s
        last = WidenTickCount(last, static_cast<std::uint32_t>(t));
        ASSERT_EQ(last, t) << "after " << (t / kWrap) << " wraps";
        ASSERT_GE(last, previous);
        previous = last;
    }
    const std::uint64_t afterWrap = WidenTickCount(kWrap - 100, 50);
    EXPECT_EQ(afterWrap, kWrap + 50);
    EXPECT_EQ(WidenTickCount(afterWrap, 0xFFFFFFF0u), kWrap - 16) << "a reading from before the wrap, handed late";
    EXPECT_EQ(WidenTickCount(kWrap + 5000, 4000), kWrap + 4000) << "a reading a second old";
}

}  // namespace
}  // namespace kelvarid::testing
