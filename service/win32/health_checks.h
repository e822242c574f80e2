// The health checks as the service runs them: a round at the start and every 10 s on a thread
// of their own, so that no check ever delays a pulse edge; the administrator's test command, the
// repair command and the request for a restart on another, one at a time, 10 s after the last
// one ended, so that a command that takes its time delays no round; the pulsing thread asks
// before every rise; the record is written on a thread of its own too. The three threads reach the decisions
// (HealthMonitor) under one lock, held only while they decide, never while a round looks at
// processes and files, nor while the record is written.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "platform/handles.h"
#include "service/health_monitor.h"
#include "service/service_pulses.h"
#include "service/win32/machine_clock.h"
#include "service/win32/run_record_file.h"

namespace kelvarid {

class HealthChecks final : public PulseGuard, private RecordWritten {
public:
    HealthChecks(HealthLog& log, MachineClock& clock);
    HealthChecks(const HealthChecks&) = delete;
    HealthChecks& operator=(const HealthChecks&) = delete;

    // Logs why the last run ended and starts the rounds and the test command; false when a
    // thread of theirs cannot be made (the pulses go on without what it would run).
    bool Start();
    // STOP: the rounds end and the record says that the run ended with a STOP. False when a
    // round or a write still hangs: its thread may wake later, so this object must then outlive
    // the service (the caller leaves it undeleted; the process ends soon after).
    bool Stop();

    RiseAnswer AtRise() override;
    void PulseEnded() override;
    // An administrator's drill (on the service's thread, as the control handler asks for it),
    // with the request found under the Parameters key.
    DrillAnswer StartDrill(std::optional<std::uint64_t> request);
    // Milliseconds until the drill's timeout; none without a drill.
    std::optional<std::int64_t> DrillDueInMs();

private:
    // A thread's loop: the work now, then every 10 s after it ended, until STOP.
    template <void (HealthChecks::*Work)()>
    static DWORD WINAPI Repeat(void* self);
    void Round();
    // The administrator's test command, or the repair or restart the checks ask for.
    void Command();
    void Written(unsigned long error) override;

    MachineClock& clock_;
    CriticalSection lock_;
    RecordWriter record_{*this};
    HealthMonitor monitor_;
    UniqueHandle stopEvent_;
    UniqueHandle thread_;
    UniqueHandle commandThread_;
    bool stopped_ = false;  // under lock_: a round that wakes after STOP decides nothing
};

}  // namespace kelvarid
