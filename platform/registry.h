// A string value under HKLM, read as RegGetValueW reads it, which XP does not have.
#pragma once

#include <windows.h>

#include <string>

namespace kelvarid {

// REG_SZ, or REG_EXPAND_SZ with its variables expanded; ended properly whatever its writer
// left. ERROR_FILE_NOT_FOUND: no such key or value; ERROR_UNSUPPORTED_TYPE: not a string.
LSTATUS ReadMachineString(const wchar_t* key, const wchar_t* value, std::wstring& text);

}  // namespace kelvarid
