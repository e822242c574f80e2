// The service's log as its work writes to it: a typed call for each entry of its message table
// (win32/service_messages.mc), in three parts by who writes them: the pulses and the service's
// loop (ServiceLog), the health checks and the drill (HealthLog), the binding of serline.dll
// (LibraryLog). Plain C++: win32/event_log.cpp writes them to the Application log, the tests
// record them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "service/health_settings.h"
#include "service/owner_trust.h"

namespace kelvarid {

class ServiceLog {
public:
    virtual ~ServiceLog() = default;
    virtual void Started(std::wstring_view port) = 0;          // where the pulses go now; "" for nowhere
    virtual void PortNotOpened(std::wstring_view port) = 0;    // the configured one: no pulse goes anywhere until it opens
    virtual void PortOpenedLater(std::wstring_view port) = 0;  // the configured one, which takes the pulses from now on
    virtual void PulseFailed(std::wstring_view port) = 0;      // where the failed pulse went; once until one works
    virtual void PulsesWorkAgain(std::wstring_view port) = 0;
    virtual void Stopped(std::wstring_view port) = 0;
    virtual void BadPortValue(std::wstring_view value) = 0;  // names no port: none is opened
    // One of Kelvarid's names was there before the service: held by `account`, which may be a
    // Kelvarid or someone who made it to stop the service. The service pulses anyway.
    virtual void NameHeld(std::wstring_view name, std::wstring_view account, NameVerdict verdict) = 0;
    virtual void Fatal(std::wstring_view what) = 0;
    // The machine goes to sleep; it has woken and the pulses go to `port` again.
    virtual void Suspending() = 0;
    virtual void Resumed(std::wstring_view port) = 0;
    virtual void PriorityNotRaised(unsigned long error) = 0;
};

class LibraryLog {
public:
    virtual ~LibraryLog() = default;
    virtual void LibraryNotLoaded(std::wstring_view path, unsigned long error) = 0;
    virtual void LibraryLacks(std::wstring_view path, std::wstring_view function) = 0;
    virtual void LibraryLoaded(std::wstring_view path) = 0;
};

// The name a round that does not finish fails under.
inline constexpr wchar_t kUnfinishedRoundCheck[] = L"HealthChecks";

struct CheckFailure {
    enum class Why {
        ProcessNotRunning,
        FileMissing,
        FileUnchanged,
        RoundUnfinished,
        CommandFailed,      // the test command ended with the exit code `code`
        CommandTimedOut,    // it ran past TestTimeout and was ended, with what it started
        CommandNotStarted,  // it could not be started: `code` is the system's error
    } why;
    std::wstring check;   // the image name, the file's path, the test command, or kUnfinishedRoundCheck
    std::uint64_t since;  // system time
    std::uint32_t code = 0;
    std::wstring output;  // the last line the test command wrote
};

// How a run of one of the administrator's commands ended.
struct CommandOutcome {
    enum class End { Exited, TimedOut, NotStarted } end = End::Exited;
    std::uint32_t code = 0;  // Exited: its exit code; NotStarted: the system's error
    std::wstring lastLine;   // the last line it wrote, for the log
};

enum class DrillAnswer : int;  // service/drill.h

class HealthLog {
public:
    virtual ~HealthLog() = default;
    virtual void SettingsInForce(const HealthSettings& settings) = 0;
    virtual void BadSetting(const SettingProblem& problem) = 0;
    virtual void CheckFails(const CheckFailure& failure, const HealthSettings& settings) = 0;
    virtual void CheckPassesAgain(std::wstring_view check) = 0;
    // The checks only watch: what would have been done about `check` (a repair, a restart, a stop).
    virtual void WouldStop(std::wstring_view check, std::uint64_t since, const HealthSettings& settings) = 0;
    virtual void PulsesStopped(std::wstring_view check, std::uint64_t since) = 0;
    virtual void LastRunStoppedByCheck(std::wstring_view check, std::uint64_t when) = 0;
    virtual void LastRunEndedWithoutStop(std::uint64_t lastPulse) = 0;
    // The steps before the circuit: a repair begun for `check`, ended, which every check passed
    // after; a restart asked of Windows, refused, or not come within `timeout` seconds; at the
    // next start, the restart the check asked for at `when`.
    virtual void RepairBegins(std::wstring_view check, std::wstring_view command, std::uint32_t timeout) = 0;
    virtual void RepairEnded(const CommandOutcome& outcome, std::uint32_t timeout) = 0;
    virtual void Repaired(std::wstring_view check) = 0;
    virtual void RestartAsked(std::wstring_view check, std::uint32_t timeout) = 0;
    virtual void RestartRefused(std::wstring_view check, unsigned long error) = 0;
    virtual void RestartNotCome(std::wstring_view check, std::uint32_t timeout) = 0;
    virtual void LastRunRestarted(std::wstring_view check, std::uint64_t when) = 0;
    virtual void TooManyStops(std::uint32_t stops) = 0;
    // The record was there but could not be read (error 0: not a whole record): the stops in a
    // row are not known.
    virtual void RecordUnreadable(unsigned long error) = 0;
    // The checks only watch because the stops in a row are not known.
    virtual void StopsUnknown() = 0;
    virtual void ChecksActAgain() = 0;
    virtual void RecordNotWritten(unsigned long error) = 0;

    // At the start: the last pulse of the run before and the seconds since it fell.
    virtual void LastPulseBefore(std::uint64_t lastPulse, std::uint64_t secondsAgo) = 0;
    // A drill: begun after the pulse that fell at `lastPulse`; no further rise comes until the
    // circuit resets the machine or `timeout` seconds after that pulse have passed.
    virtual void DrillStarts(std::uint64_t lastPulse, std::uint32_t timeout) = 0;
    // No reset came: the pulses resume, `waited` seconds after the last one.
    virtual void DrillFailed(std::uint64_t lastPulse, std::uint64_t waited, std::uint32_t timeout) = 0;
    virtual void DrillEndedByStop() = 0;
    virtual void DrillRefused(DrillAnswer why) = 0;
    // At the start after a drill's reset: the last pulse, this start, Windows' own start, and
    // the seconds from the last pulse to this start.
    virtual void DrillPassed(std::uint64_t lastPulse, std::uint64_t serviceStart, std::uint64_t windowsStart,
                             std::uint64_t seconds) = 0;
    // At the start after a drill: the service started again, but Windows did not; the last
    // pulse before it.
    virtual void DrillEndedWithoutReset(std::uint64_t lastPulse) = 0;
};

}  // namespace kelvarid
