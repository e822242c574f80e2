// The two functions of the serial-line library, as the handlers call them.
#pragma once

#include <cstdint>

namespace kelvarid {

class SerialLine {
public:
    virtual ~SerialLine() = default;
    // settings: "COMn,1200,N,8,1", 8-bit and NUL-terminated. 0: the port could not be opened.
    virtual std::int16_t OPENCOM(const char* settings) = 0;
    // level: 1 raises the TXD line, 0 lowers it.
    virtual std::int16_t TXD(std::int16_t level) = 0;
};

}  // namespace kelvarid
