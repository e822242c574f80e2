#include "service/work/service_line.h"

#include <string>

#include "platform/system_library.h"
#include "serial/library_path.h"
#include "serial/module1.h"

namespace kelvarid {

bool ServiceLine::Bind() {
    if (openCom_ != nullptr) return true;
    const std::wstring path = SerialLibraryPath();
    // Logged once, whatever keeps the library away, until it has been bound.
    const bool firstFailure = !failureLogged_;
    failureLogged_ = true;
    if (path.empty()) {
        if (firstFailure) log_.LibraryNotLoaded(kSerialLibraryName, GetLastError());
        return false;
    }
    // A full path: the current directory and PATH are never searched.
    UniqueModule library(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library) {
        if (firstFailure) log_.LibraryNotLoaded(path, GetLastError());
        return false;
    }
    const auto openCom = BindOptionalFunction<OpenComFn>(library.get(), "OPENCOM");
    const auto txd = BindOptionalFunction<TxdFn>(library.get(), "TXD");
    if (openCom == nullptr || txd == nullptr) {
        if (firstFailure) log_.LibraryLacks(path, openCom == nullptr ? L"OPENCOM" : L"TXD");
        return false;
    }
    library_ = std::move(library);
    openCom_ = openCom;
    txd_ = txd;
    if (!firstFailure) log_.LibraryLoaded(path);
    failureLogged_ = false;
    return true;
}

std::int16_t ServiceLine::OPENCOM(const char* settings) { return Bind() ? openCom_(settings) : 0; }

std::int16_t ServiceLine::TXD(std::int16_t level) { return txd_ != nullptr ? txd_(level) : 0; }

}  // namespace kelvarid
