// The health checks' decisions: which check fails since when, whether the next rise may come,
// the grace after the start, the stops by checks in a row, and what goes into the record of the
// runs; an administrator's drill (drill.h) is asked first at every rise. Plain C++ on a clock
// it is given, which counts no time asleep (AwakeClock): the checks' thread, the pulsing thread
// and the record's writer (win32/health_checks.cpp) call it under one lock.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "service/drill.h"
#include "service/health_settings.h"
#include "service/instant.h"
#include "service/run_record.h"
#include "service/service_log.h"
#include "service/service_pulses.h"

namespace kelvarid {

// What one round of checks saw, in the order of the settings it ran with.
struct RoundObservation {
    std::vector<bool> processesRunning;
    std::vector<std::optional<std::uint64_t>> filesWritten;  // last write time; none: missing or unreadable
};

// How a run of the administrator's test command ended.
struct CommandOutcome {
    enum class End { Exited, TimedOut, NotStarted } end = End::Exited;
    std::uint32_t code = 0;  // Exited: its exit code; NotStarted: the system's error
    std::wstring lastLine;   // the last line it wrote, for the log
};

// Every check passing for this long ends a run of stops in a row.
inline constexpr std::int64_t kGoodHourMs = 3600 * 1000;

class HealthMonitor {
public:
    HealthMonitor(HealthLog& log, RunRecordStore& store, Instant start)
        : log_(log), records_(log, store), start_(start) {}

    // The service has started, in a new run of Windows or not: logs how long the pulses were
    // away and why the last run ended, when not with a STOP, and marks this run as going on. A
    // record that cannot be read counts as the limit on stops in a row reached: a reset loop
    // must not begin again because its count was lost.
    void Begin(WindowsRun run);
    // A round of checks begins with the settings read for it and what of them was not usable.
    void RoundStarted(const HealthSettings& settings, const std::vector<SettingProblem>& problems, Instant now);
    // The round that began last has seen this.
    void RoundFinished(const RoundObservation& seen, Instant now);
    // The test command `command`, started at `started`, has ended: it counts as a check, under
    // its command line, when the settings still name it.
    void TestFinished(const std::wstring& command, const CommandOutcome& outcome, Instant started);
    // A rise is due: a drill leaves it out; else the checks hold it when one has failed for
    // long enough, and from then on hold every rise.
    RiseAnswer AtRise(Instant now);
    // A good pulse has just ended: its time goes into the record.
    void PulseEnded(Instant now);
    // STOP: the run ends as an administrator ended it; a drill with it.
    void Stopped();
    // The outcome of a write of the record that the store finished later: 0, or the system's
    // error number.
    void RecordWritten(unsigned long error);

    // An administrator's drill: see Drill.
    DrillAnswer StartDrill(Instant now, std::optional<std::uint64_t> request) { return drill_.Start(now, request); }
    std::optional<std::int64_t> DrillDueInMs(Instant now) const { return drill_.DueInMs(now); }

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

    // False when the checks stop the pulses; from then on always false.
    bool MayRaise(Instant now);
    void LogLastRun(const RunRecord& last, WindowsRun run);
    void Update(const std::wstring& check, bool passed, CheckFailure::Why why, Instant since, std::uint32_t code = 0,
                const std::wstring& output = {});
    bool HeartbeatPasses(const std::wstring& file, const std::optional<std::uint64_t>& written, Instant now,
                         CheckFailure::Why& why);
    void MarkUnfinishedRound(Instant now);
    void CountGoodTime(bool allPassed, Instant now);
    void UpdateLimit();
    void ForgetChecksNotIn(const HealthSettings& settings);
    // The check that has failed longest, when it has failed for FailAfter; else none.
    const std::wstring* DueCheck(Instant now) const;

    HealthLog& log_;
    RunRecordKeeper records_;
    const Instant start_;
    bool anyRound_ = false;  // settings_ are those of a round, which were logged
    HealthSettings settings_;
    Drill drill_{log_, records_, settings_};
    std::vector<SettingProblem> problems_;
    std::map<std::wstring, CheckState> checks_;
    std::map<std::wstring, Heartbeat> heartbeats_;
    std::optional<Instant> roundStarted_;
    std::optional<std::int64_t> allPassingSinceMs_;
    bool testPassed_ = false;  // the last run of the test command named now passed
    bool limited_ = false;  // too many stops in a row: the checks only watch
    bool limitLogged_ = false;
    bool stopped_ = false;
};

}  // namespace kelvarid
