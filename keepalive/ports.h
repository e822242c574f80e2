// The serial ports Kelvarid drives and how the serial-line library is asked to open each. The
// window program offers the first four, always handled in this order; the service takes any
// that Windows gives, up to COM255 (USB adapters come as COM5 and up). A port is named by its
// index here: 0 is COM1.
#pragma once

#include <iterator>
#include <string>
#include <string_view>

#include "product.h"

namespace kelvarid {

// The window program's ports' names (cmake/product.cmake).
inline constexpr const auto& kPortNames = product::kPortNames;
inline constexpr int kPortCount = static_cast<int>(std::size(kPortNames));
// The highest port number Windows gives: COM255.
inline constexpr int kLastPortNumber = product::kLastPortNumber;
// What OPENCOM gets after the port's name: 1200 baud, no parity, 8 data bits, 1 stop bit.
inline constexpr char kLineSettings[] = ",1200,N,8,1";
// No port: the library holds none.
inline constexpr int kNoPort = -1;

// "COM1" for 0, "COM12" for 11; empty for kNoPort.
std::wstring PortName(int port);

// "COM12,1200,N,8,1" for 11, as OPENCOM wants it, into `settings` (NUL-terminated).
void OpenComSettings(int port, char (&settings)[32]);

// The index of "COM1" to "COM255" (any case, blanks around it allowed, no leading zero); kNoPort
// for anything else.
int PortFromName(std::wstring_view name);

}  // namespace kelvarid
