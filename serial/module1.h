// Module1: OPENCOM and TXD of serline.dll, bound on their first call. The library is loaded
// only from the program's own folder, by its full path.
#pragma once

#include <string>

#include "platform/handles.h"
#include "serial/serial_line.h"
#include "serline/serline.h"

namespace kelvarid {

// The full path of serline.dll beside the running program; empty when the program's own path
// cannot be had.
std::wstring SerialLibraryPath();

class Module1 final : public SerialLine {
public:
    std::int16_t OPENCOM(const char* settings) override;
    std::int16_t TXD(std::int16_t level) override;
    // Unloads the library, which lowers the line and lets the port go; the next call loads it
    // again.
    void Release();

private:
    // The library's own declarations: a change there cannot go unnoticed here.
    using OpenComFn = decltype(&::OPENCOM);
    using TxdFn = decltype(&::TXD);

    HMODULE Library();

    UniqueModule library_;
    OpenComFn openCom_ = nullptr;
    TxdFn txd_ = nullptr;
};

}  // namespace kelvarid
