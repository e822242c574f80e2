// What a round of health checks looks at in Windows: the running processes and the heartbeat
// files' last writes.
#pragma once

#include <string>
#include <vector>

#include "service/health_monitor.h"

namespace kelvarid {

// One round: whether a process of each image name runs, in any session, and when each file was
// last written (none for a file that is missing or cannot be read).
RoundObservation ObserveRound(const HealthSettings& settings);

// Whether a process runs for each entry: an image name, or a full path, which passes only for a
// process whose image is that file.
std::vector<bool> ProcessesRunning(const std::vector<std::wstring>& entries);

}  // namespace kelvarid
