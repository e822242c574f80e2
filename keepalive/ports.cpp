#include "keepalive/ports.h"

#include <cstddef>

namespace kelvarid {

int PortFromName(std::wstring_view name) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    while (!name.empty() && blank(name.front())) name.remove_prefix(1);
    while (!name.empty() && blank(name.back())) name.remove_suffix(1);
    for (int port = 0; port < kPortCount; ++port) {
        const std::wstring_view wanted = kPortNames[port];
        if (name.size() != wanted.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size(); ++i) {
            const wchar_t c = name[i] >= L'a' && name[i] <= L'z' ? name[i] - L'a' + L'A' : name[i];
            same = same && c == wanted[i];
        }
        if (same) return port;
    }
    return kNoPort;
}

}  // namespace kelvarid
