#include "service/win32/service_work.h"

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/fatal.h"
#include "platform/handles.h"
#include "platform/power.h"
#include "service/service_pulses.h"
#include "service/texts.h"
#include "service/win32/health_checks.h"
#include "service/win32/registry_settings.h"
#include "service/win32/service_line.h"
#include "service/win32/status_file.h"

namespace kelvarid {

namespace {

// The drill's timeout is waited for a little longer than it lasts: the steady clock counts in
// steps of up to 16 ms, and a timeout that has not come yet is only waited for again.
constexpr std::int64_t kDrillDueSlackMs = 20;
constexpr DWORD kStatusFinishMs = 1000;

// Timer1 as a waitable timer, which the service's thread waits on together with its events.
class WaitableCountdown final : public Countdown {
public:
    WaitableCountdown() : timer_(CreateWaitableTimerW(nullptr, FALSE, nullptr)) {
        if (!timer_) FatalWithLastError(texts::kTimerNotMade);
    }
    void Start(unsigned milliseconds) override {
        LARGE_INTEGER due;
        due.QuadPart = -10000LL * milliseconds;  // relative, in 100 ns units
        if (!SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE)) {
            FatalWithLastError(texts::kTimerNotSet);
        }
    }
    HANDLE handle() const { return timer_.get(); }

private:
    UniqueHandle timer_;
};

void StopPulses(void* pulses) { static_cast<ServicePulses*>(pulses)->Stop(); }

// The checks' guard, with each good pulse's time published for `kelvaridctl status`.
class PublishingGuard final : public PulseGuard {
public:
    PublishingGuard(PulseGuard& checks, StatusFile& status, MachineClock& clock)
        : checks_(checks), status_(status), clock_(clock) {}
    RiseAnswer AtRise() override { return checks_.AtRise(); }
    void PulseEnded() override {
        checks_.PulseEnded();
        const std::uint64_t now = clock_.Now().wall;
        status_.Set(&PublishedStatus::lastPulse, now);
    }

private:
    PulseGuard& checks_;
    StatusFile& status_;
    MachineClock& clock_;
};

// The pulsing thread above every ordinary thread, and Windows kept awake; neither refusal
// stops the pulses.
void RunAhead(EventLog& log) {
    if (!RunAheadOfOrdinaryWork() || !SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST)) {
        log.PriorityNotRaised(GetLastError());
    }
    (void)KeepMachineAwake();
}

}  // namespace

void PulseUntilStopped(EventLog& log, const WorkSignals& signals, WorkStates& states, MachineClock& clock) {
    WaitableCountdown timer1;
    // Published from the first entry on; without its thread nothing is, and the pulses go on.
    auto status = std::make_unique<StatusFile>();
    if (status->Start(clock.Now().wall)) log.Publish(status.get());
    ServiceLine serialLine(log);
    auto health = std::make_unique<HealthChecks>(log, clock);
    PublishingGuard guard(*health, *status, clock);
    ServicePulses pulses(ConfiguredPort(log), serialLine, log, timer1, guard);
    SetFatalCleanup(&StopPulses, &pulses);
    RunAhead(log);
    // Without their thread the checks never act: the pulses go on as with no checks.
    (void)health->Start();
    pulses.Start();
    states.Running();

    WaitableCountdown drillDue;
    enum : DWORD { kStop = WAIT_OBJECT_0, kTick, kResume, kDrill, kDrillDue };
    const HANDLE waits[] = {signals.stop, timer1.handle(), signals.resume, signals.drill, drillDue.handle()};
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(5, waits, FALSE, INFINITE);
        if (woken == kStop) break;
        if (woken == kTick) {
            pulses.Tick();
            log.WriteRepeatCounts();
        } else if (woken == kResume) {
            log.Resumed(pulses.PulsePortName());
            pulses.Resume();
        } else if (woken == kDrill) {
            (void)health->StartDrill(ReadDrillRequest());  // a refusal is logged
        } else if (woken == kDrillDue) {
            // A timer set for a drill that has ended since is let be.
            if (health->DrillDueInMs()) pulses.Resume();
        } else {
            FatalWithLastError(texts::kWaitFailed);
        }
        const std::optional<std::int64_t> due = health->DrillDueInMs();
        if (due) drillDue.Start(static_cast<unsigned>(*due + kDrillDueSlackMs));
    }
    states.Stopping();
    pulses.Stop();
    SetFatalCleanup(nullptr, nullptr);
    // Left undeleted when a round of checks still hangs at STOP: its thread may wake later,
    // and the process ends soon after.
    const bool checksEnded = health->Stop();
    if (!checksEnded) (void)health.release();
    log.WriteRepeatCounts(EventLog::RepeatCounts::All);
    log.Stopped(pulses.PulsePortName());
    // The same for the status: its write may hang, and a round that wakes later still notes
    // what it found.
    if (!status->Finish(kStatusFinishMs) || !checksEnded) {
        (void)status.release();
        return;
    }
    log.Publish(nullptr);
}

}  // namespace kelvarid
