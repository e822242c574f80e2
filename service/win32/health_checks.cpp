#include "service/win32/health_checks.h"

#include "service/win32/health_probes.h"
#include "service/win32/registry_settings.h"
#include "service/win32/system_restart.h"
#include "service/win32/run_command.h"
#include "service/win32/windows_run.h"

namespace kelvarid {

namespace {

constexpr DWORD kRoundIntervalMs = 10000;
// At STOP, a round that hangs is not waited for longer: the process ends with it.
constexpr DWORD kRoundEndWaitMs = 2000;
// Nor the record's last write, which says that the run ended with a STOP.
constexpr DWORD kLastWriteWaitMs = 3000;

}  // namespace

HealthChecks::HealthChecks(HealthLog& log, MachineClock& clock)
    : clock_(clock), monitor_(log, record_, clock.Now()) {}

bool HealthChecks::Start() {
    // Without its thread every write fails at once: the checks only watch.
    (void)record_.Start();
    const WindowsRun run = MarkWindowsRun();
    {
        Locked locked(lock_);
        monitor_.Begin(run);
    }
    stopEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stopEvent_) return false;
    thread_.reset(CreateThread(nullptr, 0, &Repeat<&HealthChecks::Round>, this, 0, nullptr));
    if (!thread_) return false;
    // Without it the test command never runs, so it neither fails nor passes, and a repair or
    // restart asked for is given up after its time: as without the rounds' thread, the pulses go on.
    commandThread_.reset(CreateThread(nullptr, 0, &Repeat<&HealthChecks::Command>, this, 0, nullptr));
    return static_cast<bool>(commandThread_);
}

bool HealthChecks::Stop() {
    if (stopEvent_) SetEvent(stopEvent_.get());
    const HANDLE threads[] = {thread_.get(), commandThread_.get()};
    bool ended = true;
    for (HANDLE thread : threads) {
        ended = (thread == nullptr || WaitForSingleObject(thread, kRoundEndWaitMs) == WAIT_OBJECT_0) && ended;
    }
    {
        Locked locked(lock_);
        stopped_ = true;
        monitor_.Stopped();
    }
    return record_.Finish(kLastWriteWaitMs) && ended;
}

void HealthChecks::Written(unsigned long error) {
    Locked locked(lock_);
    monitor_.RecordWritten(error);
}

RiseAnswer HealthChecks::AtRise() {
    Locked locked(lock_);
    return monitor_.AtRise(clock_.Now());
}

DrillAnswer HealthChecks::StartDrill(std::optional<std::uint64_t> request) {
    Locked locked(lock_);
    return monitor_.StartDrill(clock_.Now(), request);
}

std::optional<std::int64_t> HealthChecks::DrillDueInMs() {
    Locked locked(lock_);
    return monitor_.DrillDueInMs(clock_.Now());
}

void HealthChecks::PulseEnded() {
    Locked locked(lock_);
    monitor_.PulseEnded(clock_.Now());
}

template <void (HealthChecks::*Work)()>
DWORD WINAPI HealthChecks::Repeat(void* self) {
    auto& checks = *static_cast<HealthChecks*>(self);
    do {
        (checks.*Work)();
    } while (WaitForSingleObject(checks.stopEvent_.get(), kRoundIntervalMs) == WAIT_TIMEOUT);
    return 0;
}

void HealthChecks::Command() {
    CommandOrder order;
    Instant started;
    {
        Locked locked(lock_);
        if (stopped_) return;
        order = monitor_.NextCommand();
        started = clock_.Now();
    }
    if (order.kind == CommandOrder::Kind::None) return;
    if (order.kind == CommandOrder::Kind::Restart) {
        const unsigned long error = AskWindowsToRestart(order.command);
        Locked locked(lock_);
        if (!stopped_) monitor_.RestartRequested(error);
        return;
    }
    const CommandOutcome outcome = RunCommand(order.command, order.timeout, stopEvent_.get());
    // Ended by STOP, not by its timeout: nothing to log of it.
    if (WaitForSingleObject(stopEvent_.get(), 0) == WAIT_OBJECT_0) return;
    Locked locked(lock_);
    if (stopped_) return;
    if (order.kind == CommandOrder::Kind::Repair) monitor_.RepairFinished(outcome, clock_.Now());
    else monitor_.TestFinished(order.command, outcome, started);
}

void HealthChecks::Round() {
    std::vector<SettingProblem> problems;
    const HealthSettings settings = ReadHealthSettings(ReadRawHealthValues(), problems);
    {
        Locked locked(lock_);
        if (stopped_) return;
        monitor_.RoundStarted(settings, problems, clock_.Now());
    }
    if (settings.mode == HealthMode::Off) return;
    const RoundObservation seen = ObserveRound(settings);
    Locked locked(lock_);
    if (stopped_) return;
    monitor_.RoundFinished(seen, clock_.Now());
}

}  // namespace kelvarid
