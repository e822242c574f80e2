// An administrator's drill, decided here alone: whether one may begin, the rises it leaves out
// until the circuit resets the machine or its timeout comes, and what the start after a reset
// says of it. Plain C++ on a clock it is given; the record carries a drill across the reset.
// The health monitor owns it and asks it first at every rise.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "service/health_settings.h"
#include "service/instant.h"
#include "service/run_record.h"
#include "service/service_log.h"

namespace kelvarid {

// Why a drill does not begin; the numbers go into the log.
enum class DrillAnswer : int {
    Started = 0,
    ChecksHold = 1,      // the health checks have stopped the pulses already
    AlreadyRunning = 2,  // another drill waits for its reset
    NotRecorded = 3,     // the record, which must carry the drill across the reset, cannot be written
    NotAsked = 4,        // no administrator's request came with the control
};

// Where --drill, run by an administrator, puts its request before it sends the service the
// control: a string value under the Parameters key, which only administrators and SYSTEM can
// write. The control alone only says "look": whoever may send it cannot start a drill with it.
inline constexpr wchar_t kDrillRequestValue[] = L"DrillRequest";
// A request is the system's time (a FILETIME, in decimal) it was made at, and counts for so long.
inline constexpr std::uint64_t kDrillRequestLifeSeconds = 60;

// The request's time, none for a text that is not one.
std::optional<std::uint64_t> ParseDrillRequest(std::wstring_view text);

// What the record of the running service says of a new drill: Started when nothing in it
// stands in the way. The service decides by it, and so does --drill before it asks.
DrillAnswer DrillAllowedBy(const RunRecord& record);

class Drill {
public:
    // `settings` are those in force, which the owner keeps up to date.
    Drill(HealthLog& log, RunRecordKeeper& records, const HealthSettings& settings)
        : log_(log), records_(records), settings_(settings) {}

    // At the start, the record the last run left: true when a drill of it was waiting for a
    // reset, which is then logged: passed when Windows started again, with the gap; else ended
    // without one. `start` is this run's start.
    bool JudgeLastRun(const RunRecord& last, Instant start, WindowsRun run);
    // Asked for, with the request found beside the control (none: there was none): no rise
    // until the circuit resets the machine, or until DrillTimeout seconds after the last good
    // pulse, when the pulses resume. A request counts once, and only while it is fresh. A
    // refusal is logged.
    DrillAnswer Start(Instant now, std::optional<std::uint64_t> request);
    // At a rise: true while the drill leaves it out. At its timeout the drill fails (logged)
    // and this says false from then on.
    bool LeavesOutRise(Instant now);
    // Milliseconds until the drill's timeout; none without a drill.
    std::optional<std::int64_t> DueInMs(Instant now) const;
    void PulseEnded(Instant now) { lastPulse_ = now; }
    // STOP ends a drill that runs (logged); the owner saves the record.
    void Stopped();
    // A write of the record failed: a drill that runs may not be carried across the reset, so
    // it ends (logged as refused for that).
    void RecordLost();

private:
    DrillAnswer Begin(Instant now, std::optional<std::uint64_t> request);
    std::int64_t DeadlineMs() const;

    HealthLog& log_;
    RunRecordKeeper& records_;
    const HealthSettings& settings_;
    std::optional<Instant> lastPulse_;  // the last good pulse of this run
    std::optional<Instant> start_;      // while a drill waits for its reset
    std::optional<std::uint64_t> lastRequest_;  // the request that started a drill last
};

}  // namespace kelvarid
