#include "serial/library_path.h"

namespace kelvarid {

std::wstring LibraryBesideProgram(std::wstring_view programPath, std::wstring_view library) {
    const auto slash = programPath.find_last_of(L"\\/");
    if (slash == std::wstring_view::npos) return {};
    std::wstring path(programPath.substr(0, slash + 1));
    path += library;
    return path;
}

}  // namespace kelvarid
