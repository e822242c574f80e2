#include "serial/module1.h"

#include <string>

#include "platform/fatal.h"
#include "platform/program_path.h"
#include "platform/system_library.h"
#include "serial/library_path.h"
#include "platform/messages.h"

namespace kelvarid {

std::wstring SerialLibraryPath() {
    const std::wstring program = ProgramPath();
    return program.empty() ? std::wstring() : LibraryBesideProgram(program, kSerialLibraryName);
}

HMODULE Module1::Library() {
    if (library_) return library_.get();
    const std::wstring path = SerialLibraryPath();
    if (path.empty()) Fatal(texts::kNoProgramFolder);
    // A full path: the current directory and PATH are never searched.
    library_.reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library_) {
        FatalWithLastError(texts::SerialLibraryNotLoaded(path));
    }
    return library_.get();
}

void Module1::Release() {
    openCom_ = nullptr;
    txd_ = nullptr;
    library_.reset();
}

std::int16_t Module1::OPENCOM(const char* settings) {
    if (openCom_ == nullptr) openCom_ = BindFunction<OpenComFn>(Library(), kSerialLibraryName, "OPENCOM");
    return openCom_(settings);
}

std::int16_t Module1::TXD(std::int16_t level) {
    if (txd_ == nullptr) txd_ = BindFunction<TxdFn>(Library(), kSerialLibraryName, "TXD");
    return txd_(level);
}

}  // namespace kelvarid
