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

// With no Port value, and with one that names no port, the service drives the first port, as
// the window program does at every start.
inline constexpr int kDefaultPort = 0;

// The configured port; a value that names none is logged and the default is used.
int PortFromSetting(const PortValue& value, ServiceLog& log);

}  // namespace kelvarid
