#include "platform/registry.h"

#include <cwchar>
#include <vector>

#include "platform/handles.h"

namespace kelvarid {

namespace {

constexpr DWORD kLongestStringBytes = 32 * 1024;

std::wstring Expanded(const std::wstring& text) {
    const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return text;
    std::wstring expanded(needed, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed);
    if (written == 0 || written > needed) return text;
    expanded.resize(written - 1);  // without the ending zero
    return expanded;
}

}  // namespace

LSTATUS ReadMachineString(const wchar_t* key, const wchar_t* value, std::wstring& text) {
    HKEY raw = nullptr;
    LSTATUS result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &raw);
    if (result != ERROR_SUCCESS) return result;
    const UniqueKey opened(raw);
    DWORD type = 0;
    DWORD bytes = 0;
    result = RegQueryValueExW(opened.get(), value, nullptr, &type, nullptr, &bytes);
    if (result != ERROR_SUCCESS) return result;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_UNSUPPORTED_TYPE;
    if (bytes > kLongestStringBytes) return ERROR_MORE_DATA;
    // Room for an ending zero its writer may have left out.
    std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
    result = RegQueryValueExW(opened.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes);
    if (result != ERROR_SUCCESS) return result;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_UNSUPPORTED_TYPE;
    std::wstring read(data.data(), bytes / sizeof(wchar_t));
    read.resize(std::wcslen(read.c_str()));  // up to the first zero
    text = type == REG_EXPAND_SZ ? Expanded(read) : read;
    return ERROR_SUCCESS;
}

}  // namespace kelvarid
