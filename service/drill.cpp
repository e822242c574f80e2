#include "service/drill.h"

#include <algorithm>

namespace kelvarid {

DrillAnswer DrillAllowedBy(const RunRecord& record) {
    if (!record.stoppedBy.empty()) return DrillAnswer::ChecksHold;
    if (record.drillStarted != 0) return DrillAnswer::AlreadyRunning;
    return DrillAnswer::Started;
}

bool Drill::JudgeLastRun(const RunRecord& last, Instant start, WindowsRun run) {
    if (last.drillStarted == 0 || last.endedWithStop) return false;
    // The steady count goes on from Windows' start: only shown, it decides nothing.
    const std::uint64_t windowsStart = start.wall - static_cast<std::uint64_t>(start.uptimeMs) * kFileTimeUnitsPerMs;
    // Without the mark, the clocks: Windows started after the last pulse.
    const bool restarted = run == WindowsRun::Unknown ? windowsStart > last.lastPulse : run == WindowsRun::New;
    if (!restarted) {
        log_.DrillEndedWithoutReset(last.lastPulse);
        return true;
    }
    log_.DrillPassed(last.lastPulse, start.wall, windowsStart, SecondsBetween(last.lastPulse, start.wall));
    return true;
}

std::optional<std::uint64_t> ParseDrillRequest(std::wstring_view text) { return ParseDecimal(text, ~std::uint64_t{0}); }

DrillAnswer Drill::Start(Instant now, std::optional<std::uint64_t> request) {
    const DrillAnswer answer = Begin(now, request);
    if (answer != DrillAnswer::Started) log_.DrillRefused(answer);
    return answer;
}

DrillAnswer Drill::Begin(Instant now, std::optional<std::uint64_t> request) {
    // A fresh request that has not started a drill yet: made within its life before or after
    // now, as the system's time says (--drill made it a moment ago on this machine's clock).
    constexpr std::uint64_t life = kDrillRequestLifeSeconds * 1000 * kFileTimeUnitsPerMs;
    if (!request || *request + life < now.wall || *request > now.wall + life || request == lastRequest_) {
        return DrillAnswer::NotAsked;
    }
    RunRecord& record = records_.Record();
    if (const DrillAnswer refusal = DrillAllowedBy(record); refusal != DrillAnswer::Started) return refusal;
    record.drillStarted = now.wall;
    if (!records_.Save()) {
        record.drillStarted = 0;
        return DrillAnswer::NotRecorded;
    }
    start_ = now;
    lastRequest_ = request;
    log_.DrillStarts(record.lastPulse, settings_.drillTimeout);
    return DrillAnswer::Started;
}

bool Drill::LeavesOutRise(Instant now) {
    if (!start_) return false;
    if (now.steadyMs < DeadlineMs()) return true;
    const Instant since = lastPulse_.value_or(*start_);
    RunRecord& record = records_.Record();
    log_.DrillFailed(record.lastPulse, static_cast<std::uint64_t>(now.steadyMs - since.steadyMs) / 1000,
                     settings_.drillTimeout);
    start_.reset();
    record.drillStarted = 0;
    records_.Save();
    return false;
}

std::optional<std::int64_t> Drill::DueInMs(Instant now) const {
    if (!start_) return std::nullopt;
    return std::max<std::int64_t>(0, DeadlineMs() - now.steadyMs);
}

// DrillTimeout after the last good pulse; with none in this run, after the drill's start.
std::int64_t Drill::DeadlineMs() const {
    return lastPulse_.value_or(*start_).steadyMs + static_cast<std::int64_t>(settings_.drillTimeout) * 1000;
}

void Drill::RecordLost() {
    if (!start_) return;
    start_.reset();
    records_.Record().drillStarted = 0;
    log_.DrillRefused(DrillAnswer::NotRecorded);
}

void Drill::Stopped() {
    if (start_) log_.DrillEndedByStop();
    start_.reset();
    records_.Record().drillStarted = 0;
}

}  // namespace kelvarid
