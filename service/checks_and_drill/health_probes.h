// What the health checks read from Windows: their settings under the Parameters key, and in a
// round, the running processes and the heartbeat files' last writes.
#pragma once

#include "service/checks_and_drill/health_monitor.h"
#include "service/checks_and_drill/health_settings.h"

namespace kelvarid {

// The values under HKLM\<Parameters key> as they stand; a missing key is no values at all.
RawHealthValues ReadRawHealthValues();

// One round: whether a process of each image name runs, in any session, and when each file was
// last written (none for a file that is missing or cannot be read).
RoundObservation ObserveRound(const HealthSettings& settings);

// Now, on the steady clock and the system's.
Instant Now();

}  // namespace kelvarid
