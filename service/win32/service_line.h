// serline.dll as the service uses it. The window program cannot go on without the library and
// says so in a box; the service has nobody to tell, and a process that ended would only be
// started again by the service manager, for ever. So a library that is missing or lacks its
// functions is logged once, nothing is sent, and it is looked for again at every open, which
// comes before every rise while the port is not open: about once a minute.
#pragma once

#include "serial/serial_library.h"
#include "serial/serial_line.h"
#include "service/service_log.h"

namespace kelvarid {

class ServiceLine final : public SerialLine {
public:
    explicit ServiceLine(LibraryLog& log) : log_(log) {}

    // 0 without the library, as for a port that does not open.
    std::int16_t OPENCOM(const char* settings) override;
    // 0 without the library: nothing was sent.
    std::int16_t TXD(std::int16_t level) override;

private:
    // True once the library and both its functions are there.
    bool Bind();
    void Report(const SerialLibraryFailure& failure);

    LibraryLog& log_;
    SerialLibrary library_;
    OpenComFunction openCom_ = nullptr;
    TxdFunction txd_ = nullptr;
    bool failureLogged_ = false;
};

}  // namespace kelvarid
