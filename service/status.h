// What the running service publishes about itself, and what `kelvaridctl status` makes of it:
// a first line in the form monitoring plugins use and their exit code. Plain C++: the service
// keeps the state (win32/status_file.cpp writes it beside the record), the console tool reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvarid {

// Times are UTC, as FILETIMEs; 0 for never.
struct PublishedStatus {
    std::uint64_t started = 0;     // the service's start
    std::wstring port;             // the configured port, "COM3"; "" when the value names none
    bool portOpen = false;
    bool library = true;           // serline.dll loaded (or not needed yet)
    bool pulsesWork = true;        // the last edge reached the port
    std::uint64_t lastPulse = 0;   // the fall of the last good pulse
    std::uint32_t checksMode = 0;  // HealthChecks: 0 off, 1 watch, 2 act
    std::wstring failing;          // the check failing now, "" for none
    std::uint64_t failingSince = 0;
    std::wstring holding;          // the check that stopped the pulses, "" for none
    bool limited = false;          // too many stops in a row: the checks only watch
    std::uint32_t stopsInRow = 0;
    std::uint32_t maxStops = 0;
    bool drill = false;            // a drill runs: no pulse until the reset
    std::wstring lastReset;        // why the last run ended without a stop: "check logger.exe", "drill", ""

    bool operator==(const PublishedStatus&) const = default;
};

// One "name=value" line each.
std::wstring StatusText(const PublishedStatus& status);
// None for a text that is no status.
std::optional<PublishedStatus> ParseStatus(std::wstring_view text);

// The service as the service manager has it.
enum class ServiceState { NotInstalled, Stopped, Running, Changing, Unknown };

// kelvarid.exe, the start at log-on, as far as the asking account can see it.
enum class ProgramSeen {
    None,         // no kelvarid.exe runs
    Unconfirmed,  // one runs, whose image this account cannot read (another user's)
    Installed,    // the installed kelvarid.exe runs
};

// Monitoring plugins' exit codes.
enum class Health { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

struct StatusVerdict {
    Health health;
    std::wstring firstLine;  // "KELVARID OK - pulsing on COM3, last pulse 12 s ago | age=12s"
};

// A good pulse comes every 60.5 s: one older than this means none is coming.
inline constexpr std::uint64_t kPulseLateSeconds = 70;

// `status` is what the service published (none when there is nothing to read), `program` what
// runs of the start at log-on, `now` the time.
StatusVerdict JudgeStatus(ServiceState state, ProgramSeen program, const std::optional<PublishedStatus>& status,
                          std::uint64_t now);

}  // namespace kelvarid
