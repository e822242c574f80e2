// The health checks' decisions: which check fails since when, whether the next rise may come,
// the grace after the start, the stops by checks in a row, an administrator's drill, and what
// goes into the record of the runs. Plain C++ on a clock it is given: the checks' thread and the pulsing thread of the
// service (health_thread.cpp) call it under one lock.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/checks_and_drill/health_settings.h"
#include "service/checks_and_drill/run_record.h"

namespace kelvarid {

// A moment: the steady clock, which every age and every wait is measured on, and the system's
// time (UTC, as a FILETIME), which only goes into the log and the record: a change of the
// system's time never makes a check fail.
struct Instant {
    std::int64_t steadyMs = 0;
    std::uint64_t wall = 0;
};

// What one round of checks saw, in the order of the settings it ran with.
struct RoundObservation {
    std::vector<bool> processesRunning;
    std::vector<std::optional<std::uint64_t>> filesWritten;  // last write time; none: missing or unreadable
};

// The name a round that does not finish fails under.
inline constexpr wchar_t kUnfinishedRoundCheck[] = L"HealthChecks";

struct CheckFailure {
    enum class Why { ProcessNotRunning, FileMissing, FileUnchanged, RoundUnfinished } why;
    std::wstring check;   // the image name, the file's path, or kUnfinishedRoundCheck
    std::uint64_t since;  // system time
};

// Why a drill does not begin.
enum class DrillAnswer {
    Started = 0,
    ChecksHold = 1,   // the health checks have stopped the pulses already
    AlreadyRunning = 2,  // another drill waits for its reset
    NotRecorded = 3,  // the record, which must carry the drill across the reset, cannot be written
};

// What the record of the running service says of a new drill: Started when nothing in it
// stands in the way. The service decides by it, and so does --drill before it asks.
DrillAnswer DrillAllowedBy(const RunRecord& record);

class HealthLog {
public:
    virtual ~HealthLog() = default;
    virtual void SettingsInForce(const HealthSettings& settings) = 0;
    virtual void BadSetting(const SettingProblem& problem) = 0;
    virtual void CheckFails(const CheckFailure& failure, const HealthSettings& settings) = 0;
    virtual void CheckPassesAgain(std::wstring_view check) = 0;
    virtual void WouldStop(std::wstring_view check, std::uint64_t since) = 0;
    virtual void PulsesStopped(std::wstring_view check, std::uint64_t since) = 0;
    virtual void LastRunStoppedByCheck(std::wstring_view check, std::uint64_t when) = 0;
    virtual void LastRunEndedWithoutStop(std::uint64_t lastPulse) = 0;
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
    // At the start after a drill's reset: the last pulse, this start, Windows' own start where
    // it is later than the last pulse (else 0), and the seconds from the last pulse to this start.
    virtual void DrillPassed(std::uint64_t lastPulse, std::uint64_t serviceStart, std::uint64_t windowsStart,
                             std::uint64_t seconds) = 0;
};


// Every check passing for this long ends a run of stops in a row.
inline constexpr std::int64_t kGoodHourMs = 3600 * 1000;

class HealthMonitor {
public:
    HealthMonitor(HealthLog& log, RunRecordStore& store, Instant start) : log_(log), store_(store), start_(start) {}

    // The service has started: logs why the last run ended, when not with a STOP, and marks
    // this run as going on. A record that cannot be read counts as the limit on stops in a
    // row reached: a reset loop must not begin again because its count was lost.
    void Begin();
    // A round of checks begins with the settings read for it and what of them was not usable.
    void RoundStarted(const HealthSettings& settings, const std::vector<SettingProblem>& problems, Instant now);
    // The round that began last has seen this.
    void RoundFinished(const RoundObservation& seen, Instant now);
    // At a rise: false when the checks stop the pulses; from then on always false.
    bool MayRaise(Instant now);
    // A good pulse has just ended: its time goes into the record.
    void PulseEnded(Instant now);
    // STOP: the run ends as an administrator ended it; a drill with it.
    void Stopped();

    // An administrator's drill: no rise until the circuit resets the machine, or until
    // DrillTimeout seconds after the last good pulse, when the pulses resume.
    DrillAnswer StartDrill(Instant now);
    // At a rise, before MayRaise: true while a drill holds the rise back. At its timeout the
    // drill fails (logged) and this says false from then on.
    bool Drilling(Instant now);
    // Milliseconds until the drill's timeout; none without a drill.
    std::optional<std::int64_t> DrillDueInMs(Instant now) const;

    const HealthSettings& Settings() const { return settings_; }

private:
    struct CheckState {
        bool failing = false;
        std::int64_t failingSinceMs = 0;
        std::uint64_t failingSince = 0;
        bool wouldStopLogged = false;
    };
    struct Heartbeat {
        std::optional<std::uint64_t> written;
        std::int64_t changedMs = 0;
    };

    void Update(const std::wstring& check, bool passed, CheckFailure::Why why, Instant since);
    bool HeartbeatPasses(const std::wstring& file, const std::optional<std::uint64_t>& written, Instant now,
                         CheckFailure::Why& why);
    void MarkUnfinishedRound(Instant now);
    void CountGoodTime(bool allPassed, Instant now);
    void UpdateLimit();
    void ForgetChecksNotIn(const HealthSettings& settings);
    // The check that has failed longest, when it has failed for FailAfter; else none.
    const std::wstring* DueCheck(Instant now) const;
    bool Save();
    std::int64_t DrillDeadlineMs() const;
    DrillAnswer BeginDrill(Instant now);

    HealthLog& log_;
    RunRecordStore& store_;
    const Instant start_;
    RunRecord record_;
    bool recordWritable_ = true;
    bool recordErrorLogged_ = false;
    bool anyRound_ = false;  // settings_ are those of a round, which were logged
    HealthSettings settings_;
    std::vector<SettingProblem> problems_;
    std::map<std::wstring, CheckState> checks_;
    std::map<std::wstring, Heartbeat> heartbeats_;
    std::optional<Instant> roundStarted_;
    std::optional<std::int64_t> allPassingSinceMs_;
    bool limited_ = false;  // too many stops in a row: the checks only watch
    bool limitLogged_ = false;
    bool stopped_ = false;
    std::optional<Instant> lastPulse_;   // the last good pulse of this run
    std::optional<Instant> drillStart_;  // while a drill waits for its reset
};

}  // namespace kelvarid
