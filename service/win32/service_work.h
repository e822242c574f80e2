// The service's work: the keep-alive on the configured port, the health checks and the drill,
// on the service's one thread, which waits for Timer1, a wake from sleep, a drill and its
// timeout, and STOP. The host (service_main.cpp) reports the service's states and passes the
// service manager's controls on as events.
#pragma once

#include <windows.h>

#include "service/win32/event_log.h"
#include "service/win32/machine_clock.h"

namespace kelvarid {

// What the work tells the host, which reports it to the service manager.
class WorkStates {
public:
    virtual ~WorkStates() = default;
    virtual void Running() = 0;   // the pulses have started
    virtual void Stopping() = 0;  // STOP came: the line is being lowered
};

struct WorkSignals {
    HANDLE stop;    // STOP
    HANDLE resume;  // the machine has woken from sleep
    HANDLE drill;   // an administrator asks for a drill
};

// Pulses until STOP; returns with the line lowered. Once the health checks hold a rise back,
// the line stays low and the service waits for STOP: it keeps running, so that no recovery
// action of the service manager starts the pulses again. The checks read `clock`, which the
// host tells of every suspend and wake.
void PulseUntilStopped(EventLog& log, const WorkSignals& signals, WorkStates& states, MachineClock& clock);

}  // namespace kelvarid
