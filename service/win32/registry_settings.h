// The service's settings as the registry holds them, under HKLM\<Parameters key>: the Port
// value, and the health checks' values, read again before every round.
#pragma once

#include <cstdint>
#include <optional>

#include "service/health_settings.h"
#include "service/service_log.h"

namespace kelvarid {

// The configured port (service/port_setting.h).
int ConfiguredPort(ServiceLog& log);

// The health checks' values as they stand; a missing key is no values at all.
RawHealthValues ReadRawHealthValues();

// An administrator's request for a drill (service/drill.h); none when there is none.
std::optional<std::uint64_t> ReadDrillRequest();

}  // namespace kelvarid
