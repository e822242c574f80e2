// The service's name and where its settings lie: HKLM\<kServiceParametersKey>, the string value
// kPortValueName, which names the port it drives.
#pragma once

#include "keepalive/ports.h"
#include "product.h"

namespace kelvarid {

class ServiceLog;

inline constexpr const wchar_t* kServiceName = product::kServiceName;
inline constexpr const wchar_t* kServiceParametersKey = product::kParametersKey;
inline constexpr const wchar_t* kPortValueName = product::kPortValueName;

// With no Port value, and with one that names no port, the service drives the first port, as
// the window program does at every start.
inline constexpr int kDefaultPort = 0;

// The configured port; a value that names none is logged and the default is used.
int ConfiguredPort(ServiceLog& log);

}  // namespace kelvarid
