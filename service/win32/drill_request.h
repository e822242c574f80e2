// kelvarid-service.exe --drill: an administrator asks the running service for a drill and reads
// in the console it was started from what will happen, or why there is none.
#pragma once

namespace kelvarid {

// One of product::DrillExitCode.
int RequestDrill();

}  // namespace kelvarid
