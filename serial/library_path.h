// Where the serial-line library must lie: beside the program, nowhere else.
#pragma once

#include <string>
#include <string_view>

namespace kelvarid {

inline constexpr wchar_t kSerialLibraryName[] = L"serline.dll";

// The full path of `library` in the folder of the program at `programPath`; empty when the
// program's path has no folder (the library is then never looked for elsewhere).
std::wstring LibraryBesideProgram(std::wstring_view programPath, std::wstring_view library);

}  // namespace kelvarid
