// The health checks' decisions: which check fails since when, whether the next rise may come,
// the grace after the start, the steps taken before the circuit resets the machine (a repair,
// a clean restart), the stops by checks in a row, and what goes into the record of the runs;
// an administrator's drill (drill.h) is asked first at every rise. Plain C++ on a clock
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

// What the thread of the administrator's commands is to do next.
struct CommandOrder {
    enum class Kind { None, Test, Repair, Restart } kind = Kind::None;
    std::wstring command;  // Test, Repair: the command line; Restart: the failed check, for Windows' log
    std::uint32_t timeout = 0;
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
    // The thread of commands is free: a repair or a restart the checks asked for, else the test
    // command, else nothing.
    CommandOrder NextCommand();
    // The repair command has ended: the checks have FailAfter again to pass.
    void RepairFinished(const CommandOutcome& outcome, Instant now);
    // Windows was asked to restart: 0, or the error with which it refused.
    void RestartRequested(unsigned long error);
    // A rise is due: a drill leaves it out; else the checks hold it when one has failed for
    // long enough and neither a repair nor a restart is under way, and from then on hold every
    // rise.
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

    // The steps against a failure, one after another until every check passes again.
    enum class Step { None, RepairDue, Repairing, Repaired, RestartDue, RestartAsking, RestartRefused };

    // False when the checks stop the pulses; from then on always false.
    bool MayRaise(Instant now);
    // Whether a repair still holds off the last step for the failing check `due`.
    bool RepairHolds(const std::wstring& due, Instant now);
    // Counts the last step in the record: a restart asked, or the pulses stopped at once.
    bool LastStep(const std::wstring& due, const CheckState& state, Instant now);
    // False once Windows has refused the restart or not restarted within RestartTimeout.
    bool AwaitRestart(Instant now);
    // The step now due for the failing `check`, decided `now`.
    void Decide(Step step, const std::wstring& check, Instant now);
    // Every check passes again: a repair did its work, and a new failure starts the steps anew.
    void SettleSteps();
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
    Step step_ = Step::None;
    std::int64_t stepSinceMs_ = 0;  // when the repair or the restart was decided, or the repair ended
    std::wstring stepCheck_;        // the check it is for
};

}  // namespace kelvarid
