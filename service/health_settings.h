// The health checks' settings: optional values under the service's Parameters key, read again
// before every round of checks, so that a change needs no restart. Plain C++: the registry is
// read by win32/registry_settings.cpp, which hands the values over as they stand.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvarid {

// HealthChecks: 0 no checks, 1 the checks run and are logged but never stop the pulses, 2 act.
enum class HealthMode : std::uint32_t { Off = 0, Watch = 1, Act = 2 };

struct HealthSettings {
    HealthMode mode = HealthMode::Off;
    std::vector<std::wstring> processes;       // image names, "logger.exe", or full paths of them
    std::vector<std::wstring> heartbeatFiles;  // full local paths
    std::uint32_t heartbeatMaxAge = 180;       // seconds
    std::uint32_t failAfter = 120;             // seconds a check fails before it acts
    std::uint32_t startupGrace = 600;          // seconds from the start in which no check acts
    std::uint32_t maxHealthResets = 3;         // stops by checks in a row before they only watch
    std::uint32_t drillTimeout = 600;          // seconds after the last pulse a drill waits for the reset
    std::wstring testCommand;                  // the administrator's own check: a command line; exit code 0 passes
    std::uint32_t testTimeout = 60;            // seconds the test may run before it fails and is ended
    std::wstring repairCommand;                // run once when the checks would act, before anything harder
    std::uint32_t repairTimeout = 120;         // seconds the repair may run before it is ended
    bool cleanRestart = true;                  // the checks ask Windows to restart before they stop the pulses
    std::uint32_t restartTimeout = 600;        // seconds Windows has for that restart

    bool operator==(const HealthSettings&) const = default;
    bool HasChecks() const { return !processes.empty() || !heartbeatFiles.empty() || !testCommand.empty(); }
};

// The values' names under the Parameters key.
namespace health_values {
inline constexpr wchar_t kHealthChecks[] = L"HealthChecks";
inline constexpr wchar_t kProcesses[] = L"Processes";
inline constexpr wchar_t kHeartbeatFiles[] = L"HeartbeatFiles";
inline constexpr wchar_t kHeartbeatMaxAge[] = L"HeartbeatMaxAge";
inline constexpr wchar_t kFailAfter[] = L"FailAfter";
inline constexpr wchar_t kStartupGrace[] = L"StartupGrace";
inline constexpr wchar_t kMaxHealthResets[] = L"MaxHealthResets";
inline constexpr wchar_t kDrillTimeout[] = L"DrillTimeout";
inline constexpr wchar_t kTestCommand[] = L"TestCommand";
inline constexpr wchar_t kTestTimeout[] = L"TestTimeout";
inline constexpr wchar_t kRepairCommand[] = L"RepairCommand";
inline constexpr wchar_t kRepairTimeout[] = L"RepairTimeout";
inline constexpr wchar_t kCleanRestart[] = L"CleanRestart";
inline constexpr wchar_t kRestartTimeout[] = L"RestartTimeout";
}  // namespace health_values

// One value as the registry holds it. `type` is the registry's type number (REG_DWORD is 4,
// REG_MULTI_SZ 7); a value of any other type has no number and no strings.
struct RawValue {
    bool present = false;
    std::uint32_t type = 0;
    std::uint32_t number = 0;           // REG_DWORD
    std::vector<std::wstring> strings;  // REG_MULTI_SZ; REG_SZ and REG_EXPAND_SZ (expanded) as one string
};

inline constexpr std::uint32_t kRegString = 1;
inline constexpr std::uint32_t kRegExpandString = 2;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiString = 7;

struct RawHealthValues {
    RawValue healthChecks, processes, heartbeatFiles, heartbeatMaxAge, failAfter, startupGrace, maxHealthResets,
        drillTimeout, testCommand, testTimeout, repairCommand, repairTimeout, cleanRestart, restartTimeout;
};

// A value or an entry that cannot be used as it stands.
struct SettingProblem {
    enum class Kind {
        BadValue,       // `value` is of the wrong type or out of range (`found`); `used` is used instead
        BadEntry,       // the entry `found` of `value` is left out
        NoUsableCheck,  // HealthChecks asks to act but no check is usable; the checks are off
    } kind;
    std::wstring value;
    std::wstring found;
    std::wstring used;

    bool operator==(const SettingProblem&) const = default;
};

// The settings in force, and what could not be used of the values as they stand.
HealthSettings ReadHealthSettings(const RawHealthValues& raw, std::vector<SettingProblem>& problems);

// "logger.exe": a file name that ends in .exe, with no folder, drive or wildcard.
bool IsImageName(std::wstring_view entry);
// A Processes entry: an image name, or the full local path of one ("C:\App\logger.exe").
bool IsProcessEntry(std::wstring_view entry);
// The file name at the end of a path; the whole of a name.
std::wstring_view FileNameOf(std::wstring_view entry);
// Whether a running process is the one a Processes entry means: for an image name, any process
// of that name; for a full path, only one whose image is that very file, as far as its path
// could be read (none: it could not, and the process is not taken for the one meant). Every
// text already in one case.
bool ProcessIsMeant(std::wstring_view entry, std::wstring_view imageName, const std::optional<std::wstring>& imagePath);
// "C:\Data\beat.txt": a drive letter, a colon, a backslash and a file name; no UNC or relative
// path, no device path, no wildcard, no "." or ".." part.
bool IsFullLocalPath(std::wstring_view entry);

}  // namespace kelvarid
