#include "serial/module1.h"

#include <string>

#include "platform/fatal.h"
#include "platform/system_library.h"
#include "serial/library_path.h"
#include "platform/messages.h"

namespace kelvarid {

std::wstring SerialLibraryPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return LibraryBesideProgram(path, kSerialLibraryName);
        }
        path.resize(path.size() * 2);  // the path was cut short: try a longer buffer
    }
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
