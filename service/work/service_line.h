// serline.dll as the service binds it. The window program cannot go on without the library and
// says so in a box; the service has nobody to tell, and a process that ended would only be
// started again by the service manager, for ever. So a library that is missing or lacks its
// functions is logged once, nothing is sent, and it is looked for again at every open, which
// comes before every rise while the port is not open: about once a minute.
#pragma once

#include <windows.h>

#include <string_view>

#include "platform/handles.h"
#include "serial/serial_line.h"
#include "serline/serline.h"

namespace kelvarid {

class LibraryLog {
public:
    virtual ~LibraryLog() = default;
    virtual void LibraryNotLoaded(std::wstring_view path, unsigned long error) = 0;
    virtual void LibraryLacks(std::wstring_view path, std::wstring_view function) = 0;
    virtual void LibraryLoaded(std::wstring_view path) = 0;
};

class ServiceLine final : public SerialLine {
public:
    explicit ServiceLine(LibraryLog& log) : log_(log) {}

    // 0 without the library, as for a port that does not open.
    std::int16_t OPENCOM(const char* settings) override;
    // 0 without the library: nothing was sent.
    std::int16_t TXD(std::int16_t level) override;

private:
    using OpenComFn = decltype(&::OPENCOM);
    using TxdFn = decltype(&::TXD);

    // True once the library and both its functions are there.
    bool Bind();

    LibraryLog& log_;
    UniqueModule library_;
    OpenComFn openCom_ = nullptr;
    TxdFn txd_ = nullptr;
    bool failureLogged_ = false;
};

}  // namespace kelvarid
