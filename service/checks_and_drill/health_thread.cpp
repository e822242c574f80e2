#include "service/checks_and_drill/health_thread.h"

#include "service/checks_and_drill/health_probes.h"

namespace kelvarid {

namespace {

constexpr DWORD kRoundIntervalMs = 10000;
// At STOP, a round that hangs is not waited for longer: the process ends with it.
constexpr DWORD kRoundEndWaitMs = 2000;

}  // namespace

HealthChecks::HealthChecks(HealthLog& log) : monitor_(log, record_, Now()) {}

bool HealthChecks::Start() {
    {
        Locked locked(lock_);
        monitor_.Begin();
    }
    stopEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stopEvent_) return false;
    thread_.reset(CreateThread(nullptr, 0, &RunRounds, this, 0, nullptr));
    return static_cast<bool>(thread_);
}

bool HealthChecks::Stop() {
    if (stopEvent_) SetEvent(stopEvent_.get());
    const bool ended = !thread_ || WaitForSingleObject(thread_.get(), kRoundEndWaitMs) == WAIT_OBJECT_0;
    Locked locked(lock_);
    stopped_ = true;
    monitor_.Stopped();
    return ended;
}

bool HealthChecks::Drilling() {
    Locked locked(lock_);
    return monitor_.Drilling(Now());
}

DrillAnswer HealthChecks::StartDrill() {
    Locked locked(lock_);
    return monitor_.StartDrill(Now());
}

std::optional<std::int64_t> HealthChecks::DrillDueInMs() {
    Locked locked(lock_);
    return monitor_.DrillDueInMs(Now());
}

bool HealthChecks::MayRaise() {
    Locked locked(lock_);
    return monitor_.MayRaise(Now());
}

void HealthChecks::PulseEnded() {
    Locked locked(lock_);
    monitor_.PulseEnded(Now());
}

DWORD WINAPI HealthChecks::RunRounds(void* self) {
    auto& checks = *static_cast<HealthChecks*>(self);
    do {
        checks.Round();
    } while (WaitForSingleObject(checks.stopEvent_.get(), kRoundIntervalMs) == WAIT_TIMEOUT);
    return 0;
}

void HealthChecks::Round() {
    std::vector<SettingProblem> problems;
    const HealthSettings settings = ReadHealthSettings(ReadRawHealthValues(), problems);
    {
        Locked locked(lock_);
        if (stopped_) return;
        monitor_.RoundStarted(settings, problems, Now());
    }
    if (settings.mode == HealthMode::Off) return;
    const RoundObservation seen = ObserveRound(settings);
    Locked locked(lock_);
    if (stopped_) return;
    monitor_.RoundFinished(seen, Now());
}

}  // namespace kelvarid
