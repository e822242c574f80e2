#include "serial/serial_library.h"

#include "platform/program_path.h"
#include "serial/library_path.h"

namespace kelvarid {

SerialLibraryFailure SerialLibrary::Load() {
    if (library_) return {};
    const std::wstring program = ProgramPath();
    path_ = program.empty() ? std::wstring() : LibraryBesideProgram(program, kSerialLibraryName);
    if (path_.empty()) return {SerialLibraryFailure::Kind::NoProgramFolder, kSerialLibraryName, GetLastError()};
    // A full path: the current directory and PATH are never searched.
    library_.reset(LoadLibraryExW(path_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library_) return {SerialLibraryFailure::Kind::NotLoaded, path_, GetLastError()};
    return {};
}

SerialLibraryFailure SerialLibrary::Find(const char* name, FARPROC& found) {
    if (const SerialLibraryFailure failure = Load()) return failure;
    found = GetProcAddress(library_.get(), name);
    if (found == nullptr) return {SerialLibraryFailure::Kind::LacksFunction, path_, GetLastError(), name};
    return {};
}

}  // namespace kelvarid
