#include "serial/module1.h"

#include "platform/fatal.h"
#include "platform/messages.h"
#include "serial/library_path.h"

namespace kelvarid {

namespace {

// Returns only when nothing failed.
void FatalOn(const SerialLibraryFailure& failure) {
    switch (failure.kind) {
    case SerialLibraryFailure::Kind::None: return;
    case SerialLibraryFailure::Kind::NoProgramFolder: Fatal(texts::kNoProgramFolder);
    case SerialLibraryFailure::Kind::NotLoaded: FatalWithError(texts::SerialLibraryNotLoaded(failure.path), failure.error);
    case SerialLibraryFailure::Kind::LacksFunction: Fatal(texts::FunctionMissing(kSerialLibraryName, failure.FunctionName()));
    }
}

}  // namespace

void Module1::Release() {
    openCom_ = nullptr;
    txd_ = nullptr;
    library_.Release();
}

std::int16_t Module1::OPENCOM(const char* settings) {
    if (openCom_ == nullptr) FatalOn(library_.Bind("OPENCOM", openCom_));
    return openCom_(settings);
}

std::int16_t Module1::TXD(std::int16_t level) {
    if (txd_ == nullptr) FatalOn(library_.Bind("TXD", txd_));
    return txd_(level);
}

}  // namespace kelvarid
