#include "service/checks_and_drill/health_probes.h"

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/tick_count.h"
#include "service/work/settings.h"

namespace kelvarid {

namespace {

using namespace health_values;

RawValue ReadValue(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
    RawValue value{true, type, 0, {}};
    if (type == REG_DWORD) {
        DWORD number = 0;
        size = sizeof number;
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) != ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof number) {
            return {true, REG_BINARY, 0, {}};  // changed under us or short: not a usable number
        }
        value.number = number;
        return value;
    }
    if (type != REG_MULTI_SZ) return value;
    // The data, with room for the two ending zeros a writer may have left out.
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    DWORD bytes = static_cast<DWORD>((data.size() - 2) * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ) {
        return {true, REG_BINARY, 0, {}};
    }
    const std::size_t count = bytes / sizeof(wchar_t);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= count; ++i) {
        if (data[i] != L'\0') continue;
        value.strings.emplace_back(data.data() + start, i - start);
        start = i + 1;
    }
    return value;
}

// Image names as Windows compares file names: ordinal, whatever the case, the same in every
// language (CharUpperBuff maps case alone, where CompareStringOrdinal came only with Vista).
std::wstring UpperCase(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

bool SameImageName(const wchar_t* running, const std::wstring& wanted) {
    return UpperCase(running) == UpperCase(wanted);
}

std::vector<bool> ProcessesRunning(const std::vector<std::wstring>& images) {
    std::vector<bool> running(images.size(), false);
    if (images.empty()) return running;
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return running;  // nothing seen: each check fails, as a process that is gone
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        for (std::size_t i = 0; i < images.size(); ++i) {
            if (SameImageName(entry.szExeFile, images[i])) running[i] = true;
        }
    }
    return running;
}

std::optional<std::uint64_t> LastWrite(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

}  // namespace

RawHealthValues ReadRawHealthValues() {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServiceParametersKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return {};
    const UniqueKey key(opened);
    RawHealthValues raw;
    raw.healthChecks = ReadValue(opened, kHealthChecks);
    raw.processes = ReadValue(opened, kProcesses);
    raw.heartbeatFiles = ReadValue(opened, kHeartbeatFiles);
    raw.heartbeatMaxAge = ReadValue(opened, kHeartbeatMaxAge);
    raw.failAfter = ReadValue(opened, kFailAfter);
    raw.startupGrace = ReadValue(opened, kStartupGrace);
    raw.maxHealthResets = ReadValue(opened, kMaxHealthResets);
    raw.drillTimeout = ReadValue(opened, kDrillTimeout);
    return raw;
}

RoundObservation ObserveRound(const HealthSettings& settings) {
    RoundObservation seen;
    seen.processesRunning = ProcessesRunning(settings.processes);
    for (const std::wstring& file : settings.heartbeatFiles) seen.filesWritten.push_back(LastWrite(file));
    return seen;
}

Instant Now() {
    FILETIME wall;
    GetSystemTimeAsFileTime(&wall);
    return {static_cast<std::int64_t>(TickCount64()),
            (static_cast<std::uint64_t>(wall.dwHighDateTime) << 32) | wall.dwLowDateTime};
}

}  // namespace kelvarid
