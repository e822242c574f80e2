// The four serial ports Kelvarid drives, always handled in this order, and how the serial-line
// library is asked to open each. A port is named by its index here: 0 is COM1.
#pragma once

#include <iterator>
#include <string>
#include <string_view>

#include "product.h"

namespace kelvarid {

// The ports' names (cmake/product.cmake), wide and in ASCII.
inline constexpr const auto& kPortNames = product::kPortNames;
inline constexpr const auto& kPortAsciiNames = product::kPortAsciiNames;
inline constexpr int kPortCount = static_cast<int>(std::size(kPortNames));
// What OPENCOM gets after the port's name: 1200 baud, no parity, 8 data bits, 1 stop bit.
inline constexpr char kLineSettings[] = ",1200,N,8,1";
// No port: the library holds none.
inline constexpr int kNoPort = -1;

// "COM1" for 0; empty for kNoPort.
inline std::wstring PortName(int port) { return port == kNoPort ? std::wstring() : kPortNames[port]; }

// The index of "COM1" to "COM4" (any case, blanks around it allowed); kNoPort for anything else.
int PortFromName(std::wstring_view name);

}  // namespace kelvarid
