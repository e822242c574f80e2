#include "service/port_setting.h"

#include "keepalive/ports.h"

namespace kelvarid {

int PortFromSetting(const PortValue& value, ServiceLog& log) {
    if (value.state == PortValue::State::Missing) return kDefaultPort;
    const bool read = value.state == PortValue::State::Read;
    const int port = read ? PortFromName(value.text) : kNoPort;
    if (port != kNoPort) return port;
    log.BadPortValue(read ? std::wstring_view(value.text) : std::wstring_view(L"?"));
    return kNoPort;
}

}  // namespace kelvarid
