// The four serial ports Kelvarid drives, always handled in this order, and how the serial-line
// library is asked to open each. A port is named by its index here: 0 is COM1.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kelvarid {

inline constexpr std::array<const wchar_t*, 4> kPortNames{L"COM1", L"COM2", L"COM3", L"COM4"};
// ASCII, handed to OPENCOM as it is.
inline constexpr std::array<const char*, 4> kPortSettings{"COM1,1200,N,8,1", "COM2,1200,N,8,1",
                                                         "COM3,1200,N,8,1", "COM4,1200,N,8,1"};
inline constexpr int kPortCount = static_cast<int>(kPortNames.size());
// No port: the library holds none.
inline constexpr int kNoPort = -1;

// "COM1" for 0; empty for kNoPort.
inline std::wstring PortName(int port) { return port == kNoPort ? std::wstring() : kPortNames[port]; }

// The index of "COM1" to "COM4" (any case, blanks around it allowed); kNoPort for anything else.
int PortFromName(std::wstring_view name);

}  // namespace kelvarid
