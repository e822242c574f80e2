// Where this program lies, as Windows gives it, however long the path.
#pragma once

#include <string>

namespace kelvarid {

// "C:\Program Files\Kelvarid\kelvarid.exe"; empty when Windows cannot say.
std::wstring ProgramPath();
// "C:\Program Files\Kelvarid": the folder of a path; empty for a path with none.
std::wstring FolderOf(const std::wstring& path);

}  // namespace kelvarid
