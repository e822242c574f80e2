// The port the service drives, from its Port value. Plain C++: win32/registry_settings.cpp reads
// the value.
#pragma once

#include <string>

#include "service/service_log.h"

namespace kelvarid {

// The Port value as it was found.
struct PortValue {
    enum class State { Missing, Unreadable, Read } state = State::Missing;
    std::wstring text;  // when Read
};

// With no Port value the service drives the first port, as the window program does at every
// start.
inline constexpr int kDefaultPort = 0;

// The configured port. A value that names none, or cannot be read, is logged and names no port
// at all (kNoPort): the service touches no port but its own, and another may hold a modem or a
// UPS's cable.
int PortFromSetting(const PortValue& value, ServiceLog& log);

}  // namespace kelvarid
