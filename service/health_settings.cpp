#include "service/health_settings.h"

#include <cwctype>

#include "platform/messages.h"

namespace kelvarid {

namespace {

using namespace health_values;

bool IsForbiddenInName(wchar_t c) {
    return c < 32 || std::wstring_view(L"<>:\"/\\|?*").find(c) != std::wstring_view::npos;
}

// One part of a path: a file or folder name Windows can hold.
bool IsNamePart(std::wstring_view part) {
    if (part.empty() || part == L"." || part == L"..") return false;
    for (wchar_t c : part) {
        if (IsForbiddenInName(c)) return false;
    }
    return true;
}

bool EndsWithExe(std::wstring_view entry) {
    if (entry.size() <= 4) return false;
    const std::wstring_view tail = entry.substr(entry.size() - 4);
    return tail[0] == L'.' && std::towlower(tail[1]) == L'e' && std::towlower(tail[2]) == L'x' &&
           std::towlower(tail[3]) == L'e';
}

std::wstring TypeName(std::uint32_t type) {
    switch (type) {
    case 1: return L"REG_SZ";
    case 2: return L"REG_EXPAND_SZ";
    case 3: return L"REG_BINARY";
    case kRegDword: return L"REG_DWORD";
    case kRegMultiString: return L"REG_MULTI_SZ";
    case 11: return L"REG_QWORD";
    }
    return L"type " + std::wstring(texts::Decimal(type));
}

// A number of seconds or a count, at least `least`; anything else is logged and `fallback` used.
std::uint32_t Number(const RawValue& raw, const wchar_t* name, std::uint32_t least, std::uint32_t most,
                     std::uint32_t fallback, std::vector<SettingProblem>& problems) {
    if (!raw.present) return fallback;
    if (raw.type == kRegDword && raw.number >= least && raw.number <= most) return raw.number;
    const std::wstring found = raw.type == kRegDword ? std::wstring(texts::Decimal(raw.number)) : TypeName(raw.type);
    problems.push_back({SettingProblem::Kind::BadValue, name, found, std::wstring(texts::Decimal(fallback))});
    return fallback;
}

// The entries of a list that `usable` accepts; the others are logged and left out.
std::vector<std::wstring> Entries(const RawValue& raw, const wchar_t* name, bool (*usable)(std::wstring_view),
                                  std::vector<SettingProblem>& problems) {
    if (!raw.present) return {};
    if (raw.type != kRegMultiString) {
        problems.push_back({SettingProblem::Kind::BadValue, name, TypeName(raw.type), L"-"});
        return {};
    }
    std::vector<std::wstring> kept;
    for (const std::wstring& entry : raw.strings) {
        if (entry.empty()) continue;  // REG_MULTI_SZ's own separators, not an entry
        if (usable(entry)) {
            kept.push_back(entry);
            continue;
        }
        problems.push_back({SettingProblem::Kind::BadEntry, name, entry, {}});
    }
    return kept;
}

// A command line: one string, blanks around it not counted; none when empty.
std::wstring CommandLine(const RawValue& raw, const wchar_t* name, std::vector<SettingProblem>& problems) {
    if (!raw.present) return {};
    if ((raw.type != kRegString && raw.type != kRegExpandString) || raw.strings.size() != 1) {
        problems.push_back({SettingProblem::Kind::BadValue, name, TypeName(raw.type), L"-"});
        return {};
    }
    const std::wstring& text = raw.strings.front();
    const std::size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

}  // namespace

bool IsImageName(std::wstring_view entry) { return IsNamePart(entry) && EndsWithExe(entry); }

bool IsProcessEntry(std::wstring_view entry) {
    return IsImageName(entry) || (IsFullLocalPath(entry) && EndsWithExe(entry));
}

std::wstring_view FileNameOf(std::wstring_view entry) {
    const std::size_t slash = entry.rfind(L'\\');
    return slash == std::wstring_view::npos ? entry : entry.substr(slash + 1);
}

bool ProcessIsMeant(std::wstring_view entry, std::wstring_view imageName, const std::optional<std::wstring>& imagePath) {
    if (FileNameOf(entry) != imageName) return false;
    if (FileNameOf(entry).size() == entry.size()) return true;  // a name: any process of it
    return imagePath && *imagePath == entry;
}

bool IsFullLocalPath(std::wstring_view entry) {
    if (entry.size() < 4 || !std::iswalpha(entry[0]) || entry[0] > 0x7f || entry[1] != L':' || entry[2] != L'\\') {
        return false;
    }
    std::wstring_view rest = entry.substr(3);
    for (;;) {
        const std::size_t cut = rest.find(L'\\');
        if (!IsNamePart(rest.substr(0, cut))) return false;
        if (cut == std::wstring_view::npos) return true;
        rest = rest.substr(cut + 1);
    }
}

HealthSettings ReadHealthSettings(const RawHealthValues& raw, std::vector<SettingProblem>& problems) {
    constexpr std::uint32_t kAny = 0xffffffffu;
    const HealthSettings defaults;
    HealthSettings settings;
    settings.mode = static_cast<HealthMode>(Number(raw.healthChecks, kHealthChecks, 0, 2, 0, problems));
    settings.processes = Entries(raw.processes, kProcesses, &IsProcessEntry, problems);
    settings.heartbeatFiles = Entries(raw.heartbeatFiles, kHeartbeatFiles, &IsFullLocalPath, problems);
    settings.heartbeatMaxAge = Number(raw.heartbeatMaxAge, kHeartbeatMaxAge, 10, kAny, defaults.heartbeatMaxAge, problems);
    settings.failAfter = Number(raw.failAfter, kFailAfter, 10, kAny, defaults.failAfter, problems);
    settings.startupGrace = Number(raw.startupGrace, kStartupGrace, 0, kAny, defaults.startupGrace, problems);
    settings.maxHealthResets = Number(raw.maxHealthResets, kMaxHealthResets, 1, kAny, defaults.maxHealthResets, problems);
    settings.drillTimeout = Number(raw.drillTimeout, kDrillTimeout, 60, 3600, defaults.drillTimeout, problems);
    settings.testCommand = CommandLine(raw.testCommand, kTestCommand, problems);
    settings.testTimeout = Number(raw.testTimeout, kTestTimeout, 5, 600, defaults.testTimeout, problems);
    settings.repairCommand = CommandLine(raw.repairCommand, kRepairCommand, problems);
    settings.repairTimeout = Number(raw.repairTimeout, kRepairTimeout, 10, 900, defaults.repairTimeout, problems);
    settings.cleanRestart = Number(raw.cleanRestart, kCleanRestart, 0, 1, 1, problems) == 1;
    settings.restartTimeout = Number(raw.restartTimeout, kRestartTimeout, 60, 3600, defaults.restartTimeout, problems);
    if (settings.mode == HealthMode::Act && !settings.HasChecks()) {
        problems.push_back({SettingProblem::Kind::NoUsableCheck, kHealthChecks, L"2", L"0"});
        settings.mode = HealthMode::Off;
    }
    return settings;
}

}  // namespace kelvarid
