#include "service/win32/health_probes.h"

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "platform/handles.h"

namespace kelvarid {

namespace {

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

RoundObservation ObserveRound(const HealthSettings& settings) {
    RoundObservation seen;
    seen.processesRunning = ProcessesRunning(settings.processes);
    for (const std::wstring& file : settings.heartbeatFiles) seen.filesWritten.push_back(LastWrite(file));
    return seen;
}

}  // namespace kelvarid
