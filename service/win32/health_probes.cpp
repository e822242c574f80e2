#include "service/win32/health_probes.h"

#include <windows.h>
#include <tlhelp32.h>

#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/system_library.h"

namespace kelvarid {

namespace {

// Image names as Windows compares file names: ordinal, whatever the case, the same in every
// language (CharUpperBuff maps case alone, where CompareStringOrdinal came only with Vista).
std::wstring UpperCase(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// Not in XP's headers: the least right that reads a process's image path, from Vista on.
constexpr DWORD kQueryLimitedInformation = 0x1000;

// A "\\?\" or "\??\" before a path, which some Windows put before the image path of a process.
std::wstring WithoutPrefix(std::wstring path) {
    for (const wchar_t* prefix : {L"\\\\?\\", L"\\??\\"}) {
        if (path.rfind(prefix, 0) == 0) return path.substr(4);
    }
    return path;
}

// The full path of the process's image, none when it cannot be read: QueryFullProcessImageName
// from Vista on; before it, on XP, GetModuleFileNameEx, which needs more rights of the process.
std::optional<std::wstring> ImagePathOf(DWORD processId) {
    using QueryFullPathFn = BOOL(WINAPI*)(HANDLE, DWORD, wchar_t*, DWORD*);
    using ModuleFileNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, wchar_t*, DWORD);
    wchar_t path[MAX_PATH * 2];
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto queryFullPath =
        kernel != nullptr ? BindOptionalFunction<QueryFullPathFn>(kernel, "QueryFullProcessImageNameW") : nullptr;
    if (queryFullPath != nullptr) {
        const UniqueHandle process(OpenProcess(kQueryLimitedInformation, FALSE, processId));
        DWORD length = static_cast<DWORD>(std::size(path));
        if (!process || !queryFullPath(process.get(), 0, path, &length)) return std::nullopt;
        return WithoutPrefix(std::wstring(path, length));
    }
    const HMODULE psapi = LoadOptionalSystemLibrary(L"psapi.dll");
    const auto moduleFileName = psapi != nullptr ? BindOptionalFunction<ModuleFileNameFn>(psapi, "GetModuleFileNameExW") : nullptr;
    if (moduleFileName == nullptr) return std::nullopt;
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    const DWORD length = process ? moduleFileName(process.get(), nullptr, path, static_cast<DWORD>(std::size(path))) : 0;
    if (length == 0 || length >= std::size(path)) return std::nullopt;
    return WithoutPrefix(std::wstring(path, length));
}

std::optional<std::uint64_t> LastWrite(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

}  // namespace

std::vector<bool> ProcessesRunning(const std::vector<std::wstring>& entries) {
    std::vector<bool> running(entries.size(), false);
    if (entries.empty()) return running;
    std::vector<std::wstring> wanted;
    for (const std::wstring& entry : entries) wanted.push_back(UpperCase(entry));
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return running;  // nothing seen: each check fails, as a process that is gone
    PROCESSENTRY32W process{};
    process.dwSize = sizeof process;
    for (BOOL more = Process32FirstW(snapshot.get(), &process); more; more = Process32NextW(snapshot.get(), &process)) {
        const std::wstring name = UpperCase(process.szExeFile);
        std::optional<std::optional<std::wstring>> path;  // read once, and only for an entry that needs it
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            if (running[i] || FileNameOf(wanted[i]) != name) continue;
            if (!path && FileNameOf(wanted[i]).size() != wanted[i].size()) {
                const std::optional<std::wstring> read = ImagePathOf(process.th32ProcessID);
                path = read ? std::optional<std::wstring>(UpperCase(*read)) : std::nullopt;
            }
            running[i] = ProcessIsMeant(wanted[i], name, path.value_or(std::nullopt));
        }
    }
    return running;
}

RoundObservation ObserveRound(const HealthSettings& settings) {
    RoundObservation seen;
    seen.processesRunning = ProcessesRunning(settings.processes);
    for (const std::wstring& file : settings.heartbeatFiles) seen.filesWritten.push_back(LastWrite(file));
    return seen;
}

}  // namespace kelvarid
