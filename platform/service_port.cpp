#include "platform/service_port.h"

#include "keepalive/port_table.h"

namespace kelvarid {

namespace {

std::wstring_view TrimBlanks(std::wstring_view text) {
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.remove_suffix(1);
    return text;
}

wchar_t Upper(wchar_t letter) { return letter >= L'a' && letter <= L'z' ? letter - L'a' + L'A' : letter; }

}  // namespace

int PortIndexFromValue(std::wstring_view value) {
    const std::wstring_view name = TrimBlanks(value);
    if (name.size() != 4) return -1;
    if (Upper(name[0]) != L'C' || Upper(name[1]) != L'O' || Upper(name[2]) != L'M') return -1;
    const int index = name[3] - L'1';
    if (index < 0 || index >= static_cast<int>(kPorts.size())) return -1;
    return index;
}

}  // namespace kelvarid
