#include "service/settings.h"

#include <windows.h>

#include "service/event_log.h"

namespace kelvarid {

namespace {

constexpr DWORD kPortValueMaxChars = 64;

}  // namespace

int ConfiguredPort(EventLog& log) {
    wchar_t value[kPortValueMaxChars] = {};
    DWORD size = sizeof value;
    const LSTATUS result =
        RegGetValueW(HKEY_LOCAL_MACHINE, kServiceParametersKey, kPortValueName, RRF_RT_REG_SZ, nullptr, value, &size);
    if (result == ERROR_FILE_NOT_FOUND) return kDefaultPort;  // no key or no value
    const int port = result == ERROR_SUCCESS ? PortFromName(value) : kNoPort;
    if (port != kNoPort) return port;
    log.BadPortValue(result == ERROR_SUCCESS ? std::wstring_view(value) : std::wstring_view(L"?"),
                     PortName(kDefaultPort));
    return kDefaultPort;
}

}  // namespace kelvarid
