// The administrator's own commands (TestCommand, RepairCommand) as the service runs them:
// hidden, with no window and no input, as the service's account, below the pulses' priority, in
// a job that ends it and every process it started once it ends, times out or the service stops.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "service/service_log.h"

namespace kelvarid {

// Runs `commandLine` for at most `timeoutSeconds`; `stop`, once set, ends it at once (as a
// timeout). Its output is read as it comes, whatever its amount, and only its end kept.
CommandOutcome RunCommand(const std::wstring& commandLine, std::uint32_t timeoutSeconds, HANDLE stop);

}  // namespace kelvarid
