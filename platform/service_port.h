// Which port the service drives: the value Port under the service's Parameters key.
#pragma once

#include <string_view>

namespace kelvarid {

// Where the service reads its port: HKLM\<kServiceParametersKey>, string value kPortValueName.
inline constexpr wchar_t kServiceName[] = L"Kelvarid";
inline constexpr wchar_t kServiceParametersKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Kelvarid\\Parameters";
inline constexpr wchar_t kPortValueName[] = L"Port";

// With no Port value, and with one that names no port, the service drives COM1, as the
// window program does at every start.
inline constexpr int kDefaultPortIndex = 0;

// The index into kPorts of "COM1" to "COM4" (any case, blanks around it allowed); -1 for
// anything else.
int PortIndexFromValue(std::wstring_view value);

}  // namespace kelvarid
