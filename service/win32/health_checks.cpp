#include "service/win32/health_checks.h"

#include "platform/tick_count.h"
#include "service/win32/health_probes.h"
#include "service/win32/registry_settings.h"

namespace kelvarid {

namespace {

constexpr DWORD kRoundIntervalMs = 10000;
// At STOP, a round that hangs is not waited for longer: the process ends with it.
constexpr DWORD kRoundEndWaitMs = 2000;

// Now, on the steady clock and the system's.
Instant Now() {
    FILETIME wall;
    GetSystemTimeAsFileTime(&wall);
    return {static_cast<std::int64_t>(TickCount64()),
            (static_cast<std::uint64_t>(wall.dwHighDateTime) << 32) | wall.dwLowDateTime};
}

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

RiseAnswer HealthChecks::AtRise() {
    Locked locked(lock_);
    return monitor_.AtRise(Now());
}

DrillAnswer HealthChecks::StartDrill() {
    Locked locked(lock_);
    return monitor_.StartDrill(Now());
}

std::optional<std::int64_t> HealthChecks::DrillDueInMs() {
    Locked locked(lock_);
    return monitor_.DrillDueInMs(Now());
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
