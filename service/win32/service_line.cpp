#include "service/win32/service_line.h"

namespace kelvarid {

bool ServiceLine::Bind() {
    if (openCom_ != nullptr && txd_ != nullptr) return true;
    SerialLibraryFailure failure = library_.Bind("OPENCOM", openCom_);
    if (!failure) failure = library_.Bind("TXD", txd_);
    if (failure) {
        // A library without both functions is let go: a good one may be put in its place.
        openCom_ = nullptr;
        txd_ = nullptr;
        library_.Release();
        // Logged once, whatever keeps the library away, until it has been bound.
        if (!failureLogged_) Report(failure);
        failureLogged_ = true;
        return false;
    }
    if (failureLogged_) log_.LibraryLoaded(library_.Path());
    failureLogged_ = false;
    return true;
}

void ServiceLine::Report(const SerialLibraryFailure& failure) {
    if (failure.kind != SerialLibraryFailure::Kind::LacksFunction) {
        log_.LibraryNotLoaded(failure.path, failure.error);
        return;
    }
    log_.LibraryLacks(failure.path, failure.FunctionName());
}

std::int16_t ServiceLine::OPENCOM(const char* settings) { return Bind() ? openCom_(settings) : 0; }

std::int16_t ServiceLine::TXD(std::int16_t level) { return txd_ != nullptr ? txd_(level) : 0; }

}  // namespace kelvarid
