// Module1: OPENCOM and TXD of serline.dll, each bound on its first call. The window program
// cannot go on without them: a library or a function that is missing is a fatal error.
#pragma once

#include "serial/serial_library.h"
#include "serial/serial_line.h"

namespace kelvarid {

class Module1 final : public SerialLine {
public:
    std::int16_t OPENCOM(const char* settings) override;
    std::int16_t TXD(std::int16_t level) override;
    // Unloads the library, which lowers the line and lets the port go; the next call loads it
    // again.
    void Release();

private:
    SerialLibrary library_;
    OpenComFunction openCom_ = nullptr;
    TxdFunction txd_ = nullptr;
};

}  // namespace kelvarid
