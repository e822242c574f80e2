// kelvarid-service.exe --status, which kelvaridctl status runs: what the service published and
// what the service manager says, as monitoring plugins write it: a first line, then a line each
// on the mode, the port, the last pulse, the library, the checks, the drill and the last run.
// Any account may ask.
#pragma once

namespace kelvarid {

// One of Health: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.
int ShowStatus();

}  // namespace kelvarid
