// The service's keep-alive with the faked serial line: what it does must come out as the
// service's log entries and as countdowns of Timer1, and each rise must ask its guard once.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "keepalive/ports.h"
#include "service/service_pulses.h"
#include "tests/unit/fakes.h"
#include "tests/unit/service_fakes.h"

namespace kelvarid::testing {
namespace {

class RecordingCountdown final : public Countdown {
public:
    explicit RecordingCountdown(Journal& journal) : journal_(journal) {}
    void Start(unsigned milliseconds) override { journal_.push_back(L"Countdown " + std::to_wstring(milliseconds)); }

private:
    Journal& journal_;
};

// The health checks and the drill as the pulses see them: a drill leaves the rise out while
// `drilling` says so, else a rise is allowed while `allow` says so; each answer lands in the journal.
class RecordingGuard final : public PulseGuard {
public:
    explicit RecordingGuard(Journal& journal) : journal_(journal) {}
    RiseAnswer AtRise() override {
        if (drilling) {
            journal_.push_back(L"Guard drills");
            return RiseAnswer::LeaveOut;
        }
        journal_.push_back(allow ? L"Guard allows" : L"Guard holds");
        return allow ? RiseAnswer::Raise : RiseAnswer::Hold;
    }
    void PulseEnded() override { journal_.push_back(L"Guard pulse ended"); }
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

// A Port value that names no port: nothing is opened or driven, whatever ports there are; the
// first failed pulse says that no pulse reaches any port.
TEST(ServiceStartUp, WithNoPortConfiguredNoPortIsOpenedOrDriven) {
    ServiceRig rig(kNoPort, {L"COM1", L"COM2", L"COM3", L"COM4"});
    rig.Start();
    rig.Pulse();
    rig.Pulse();
    EXPECT_TRUE(rig.Only(L"OPENCOM").empty()) << rig.Only(L"OPENCOM").front();
    EXPECT_TRUE(rig.Only(L"TXD").empty()) << rig.Only(L"TXD").front();
    EXPECT_EQ(rig.Only(L"Log "), (Journal{L"Log Started ", L"Log PulseFailed "}));
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

}  // namespace
}  // namespace kelvarid::testing
