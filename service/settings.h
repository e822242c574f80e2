// The service's name and where its settings lie: HKLM\<kServiceParametersKey>, the string value
// kPortValueName, which names the port it drives.
#pragma once

#include "keepalive/ports.h"

namespace kelvarid {

class EventLog;

inline constexpr wchar_t kServiceName[] = L"Kelvarid";
inline constexpr wchar_t kServiceParametersKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Kelvarid\\Parameters";
inline constexpr wchar_t kPortValueName[] = L"Port";

// With no Port value, and with one that names no port, the service drives COM1, as the
// window program does at every start.
inline constexpr int kDefaultPort = 0;

// The configured port; a value that names none is logged and the default is used.
int ConfiguredPort(EventLog& log);

}  // namespace kelvarid
