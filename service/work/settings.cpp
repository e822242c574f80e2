#include "service/work/settings.h"

#include <windows.h>

#include "platform/registry.h"
#include "service/work/service_pulses.h"

namespace kelvarid {

int ConfiguredPort(ServiceLog& log) {
    std::wstring value;
    const LSTATUS result = ReadMachineString(kServiceParametersKey, kPortValueName, value);
    if (result == ERROR_FILE_NOT_FOUND) return kDefaultPort;  // no key or no value
    const int port = result == ERROR_SUCCESS ? PortFromName(value) : kNoPort;
    if (port != kNoPort) return port;
    log.BadPortValue(result == ERROR_SUCCESS ? std::wstring_view(value) : std::wstring_view(L"?"),
                     PortName(kDefaultPort));
    return kDefaultPort;
}

}  // namespace kelvarid
