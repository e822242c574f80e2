#include "service/checks_and_drill/health_monitor.h"

#include <algorithm>

namespace kelvarid {

namespace {

constexpr std::int64_t Ms(std::uint32_t seconds) { return static_cast<std::int64_t>(seconds) * 1000; }

constexpr std::uint64_t kFileTimeUnitsPerMs = 10000;

// Whole seconds from one system time to a later one; 0 when it is not later.
std::uint64_t SecondsBetween(std::uint64_t earlier, std::uint64_t later) {
    return later > earlier ? (later - earlier) / (1000 * kFileTimeUnitsPerMs) : 0;
}

}  // namespace

DrillAnswer DrillAllowedBy(const RunRecord& record) {
    if (!record.stoppedBy.empty()) return DrillAnswer::ChecksHold;
    if (record.drillStarted != 0) return DrillAnswer::AlreadyRunning;
    return DrillAnswer::Started;
}

void HealthMonitor::Begin() {
    const StoredRecord last = store_.Load();
    if (last.state == StoredRecord::State::Unreadable) {
        log_.RecordUnreadable(last.error);
        record_.stopsInRow = kStopsUnknown;
    }
    if (last.state == StoredRecord::State::Read) {
        record_ = last.record;
        if (record_.lastPulse != 0) log_.LastPulseBefore(record_.lastPulse, SecondsBetween(record_.lastPulse, start_.wall));
        if (record_.drillStarted != 0 && !record_.endedWithStop) {
            // The steady clock counts from Windows' start.
            const std::uint64_t windowsStart = start_.wall - static_cast<std::uint64_t>(start_.steadyMs) * kFileTimeUnitsPerMs;
            log_.DrillPassed(record_.lastPulse, start_.wall, windowsStart > record_.lastPulse ? windowsStart : 0,
                             SecondsBetween(record_.lastPulse, start_.wall));
        } else if (!record_.endedWithStop && !record_.stoppedBy.empty()) {
            log_.LastRunStoppedByCheck(record_.stoppedBy, record_.stoppedAt);
        } else if (!record_.endedWithStop) {
            log_.LastRunEndedWithoutStop(record_.lastPulse);
        }
    }
    record_.endedWithStop = false;
    record_.stoppedBy.clear();
    record_.stoppedAt = 0;
    record_.drillStarted = 0;
    Save();
}

void HealthMonitor::RoundStarted(const HealthSettings& settings, const std::vector<SettingProblem>& problems,
                                 Instant now) {
    for (const SettingProblem& problem : problems) {
        if (std::find(problems_.begin(), problems_.end(), problem) == problems_.end()) log_.BadSetting(problem);
    }
    problems_ = problems;
    if (!anyRound_ || settings != settings_) log_.SettingsInForce(settings);
    anyRound_ = true;
    ForgetChecksNotIn(settings);
    settings_ = settings;
    UpdateLimit();
    roundStarted_ = now;
}

void HealthMonitor::RoundFinished(const RoundObservation& seen, Instant now) {
    const Instant round = roundStarted_.value_or(now);
    roundStarted_.reset();
    if (settings_.mode == HealthMode::Off) return;
    Update(kUnfinishedRoundCheck, true, CheckFailure::Why::RoundUnfinished, round);
    bool allPassed = true;
    for (std::size_t i = 0; i < settings_.processes.size() && i < seen.processesRunning.size(); ++i) {
        const bool running = seen.processesRunning[i];
        Update(settings_.processes[i], running, CheckFailure::Why::ProcessNotRunning, round);
        allPassed = allPassed && running;
    }
    for (std::size_t i = 0; i < settings_.heartbeatFiles.size() && i < seen.filesWritten.size(); ++i) {
        CheckFailure::Why why = CheckFailure::Why::FileMissing;
        const bool passed = HeartbeatPasses(settings_.heartbeatFiles[i], seen.filesWritten[i], round, why);
        Update(settings_.heartbeatFiles[i], passed, why, round);
        allPassed = allPassed && passed;
    }
    CountGoodTime(allPassed, now);
}

bool HealthMonitor::MayRaise(Instant now) {
    if (stopped_) return false;
    if (settings_.mode == HealthMode::Off) return true;
    MarkUnfinishedRound(now);
    const std::wstring* due = DueCheck(now);
    if (due == nullptr || now.steadyMs - start_.steadyMs < Ms(settings_.startupGrace)) return true;
    CheckState& state = checks_[*due];
    if (settings_.mode == HealthMode::Act && !limited_ && recordWritable_) {
        const RunRecord before = record_;
        ++record_.stopsInRow;
        record_.stoppedBy = *due;
        record_.stoppedAt = now.wall;
        if (Save()) {
            stopped_ = true;
            log_.PulsesStopped(*due, state.failingSince);
            return false;
        }
        record_ = before;  // the limit on stops in a row cannot be kept: the checks only watch
    }
    if (!state.wouldStopLogged) log_.WouldStop(*due, state.failingSince);
    state.wouldStopLogged = true;
    return true;
}

void HealthMonitor::PulseEnded(Instant now) {
    lastPulse_ = now;
    record_.lastPulse = now.wall;
    Save();
}

void HealthMonitor::Stopped() {
    if (drillStart_) log_.DrillEndedByStop();
    drillStart_.reset();
    record_.drillStarted = 0;
    record_.endedWithStop = true;
    Save();
}

DrillAnswer HealthMonitor::StartDrill(Instant now) {
    const DrillAnswer answer = BeginDrill(now);
    if (answer != DrillAnswer::Started) log_.DrillRefused(answer);
    return answer;
}

DrillAnswer HealthMonitor::BeginDrill(Instant now) {
    if (const DrillAnswer refusal = DrillAllowedBy(record_); refusal != DrillAnswer::Started) return refusal;
    record_.drillStarted = now.wall;
    if (!Save()) {
        record_.drillStarted = 0;
        return DrillAnswer::NotRecorded;
    }
    drillStart_ = now;
    log_.DrillStarts(record_.lastPulse, settings_.drillTimeout);
    return DrillAnswer::Started;
}

bool HealthMonitor::Drilling(Instant now) {
    if (!drillStart_) return false;
    if (now.steadyMs < DrillDeadlineMs()) return true;
    const Instant since = lastPulse_.value_or(*drillStart_);
    log_.DrillFailed(record_.lastPulse, static_cast<std::uint64_t>(now.steadyMs - since.steadyMs) / 1000,
                     settings_.drillTimeout);
    drillStart_.reset();
    record_.drillStarted = 0;
    Save();
    return false;
}

std::optional<std::int64_t> HealthMonitor::DrillDueInMs(Instant now) const {
    if (!drillStart_) return std::nullopt;
    return std::max<std::int64_t>(0, DrillDeadlineMs() - now.steadyMs);
}

// DrillTimeout after the last good pulse; with none in this run, after the drill's start.
std::int64_t HealthMonitor::DrillDeadlineMs() const {
    return lastPulse_.value_or(*drillStart_).steadyMs + Ms(settings_.drillTimeout);
}

void HealthMonitor::Update(const std::wstring& check, bool passed, CheckFailure::Why why, Instant since) {
    const auto found = checks_.find(check);
    const bool wasFailing = found != checks_.end() && found->second.failing;
    if (passed) {
        if (wasFailing) log_.CheckPassesAgain(check);
        if (found != checks_.end()) checks_.erase(found);
        return;
    }
    if (wasFailing) return;
    checks_[check] = CheckState{true, since.steadyMs, since.wall, false};
    log_.CheckFails(CheckFailure{why, check, since.wall}, settings_);
}

bool HealthMonitor::HeartbeatPasses(const std::wstring& file, const std::optional<std::uint64_t>& written,
                                    Instant now, CheckFailure::Why& why) {
    const auto known = heartbeats_.find(file);
    if (known == heartbeats_.end()) {
        // First seen (at the start, or when it was added): its age counts from now, whenever
        // it was written before.
        heartbeats_[file] = Heartbeat{written, now.steadyMs};
    } else if (known->second.written != written) {
        known->second = Heartbeat{written, now.steadyMs};
    }
    if (!written) {
        why = CheckFailure::Why::FileMissing;
        return false;
    }
    why = CheckFailure::Why::FileUnchanged;
    return now.steadyMs - heartbeats_[file].changedMs < Ms(settings_.heartbeatMaxAge);
}

void HealthMonitor::MarkUnfinishedRound(Instant now) {
    if (!roundStarted_ || now.steadyMs - roundStarted_->steadyMs < Ms(settings_.failAfter)) return;
    Update(kUnfinishedRoundCheck, false, CheckFailure::Why::RoundUnfinished, *roundStarted_);
    allPassingSinceMs_.reset();
}

void HealthMonitor::CountGoodTime(bool allPassed, Instant now) {
    if (!allPassed || !settings_.HasChecks()) {
        allPassingSinceMs_.reset();
        return;
    }
    if (!allPassingSinceMs_) allPassingSinceMs_ = now.steadyMs;
    if (now.steadyMs - *allPassingSinceMs_ < kGoodHourMs || record_.stopsInRow == 0) return;
    record_.stopsInRow = 0;
    Save();
    UpdateLimit();
}

void HealthMonitor::UpdateLimit() {
    limited_ = record_.stopsInRow >= settings_.maxHealthResets;
    if (settings_.mode != HealthMode::Act || limited_ == limitLogged_) return;
    if (!limited_) log_.ChecksActAgain();
    else if (record_.stopsInRow == kStopsUnknown) log_.StopsUnknown();
    else log_.TooManyStops(record_.stopsInRow);
    limitLogged_ = limited_;
}

void HealthMonitor::ForgetChecksNotIn(const HealthSettings& settings) {
    const auto listed = [&](const std::wstring& check) {
        if (settings.mode == HealthMode::Off) return false;
        if (check == kUnfinishedRoundCheck) return true;
        const auto& processes = settings.processes;
        const auto& files = settings.heartbeatFiles;
        return std::find(processes.begin(), processes.end(), check) != processes.end() ||
               std::find(files.begin(), files.end(), check) != files.end();
    };
    std::erase_if(checks_, [&](const auto& entry) { return !listed(entry.first); });
    std::erase_if(heartbeats_, [&](const auto& entry) { return !listed(entry.first); });
}

const std::wstring* HealthMonitor::DueCheck(Instant now) const {
    const std::wstring* due = nullptr;
    std::int64_t oldest = 0;
    for (const auto& [check, state] : checks_) {
        if (!state.failing || now.steadyMs - state.failingSinceMs < Ms(settings_.failAfter)) continue;
        if (due != nullptr && state.failingSinceMs >= oldest) continue;
        due = &check;
        oldest = state.failingSinceMs;
    }
    return due;
}

bool HealthMonitor::Save() {
    const unsigned long error = store_.Save(record_);
    recordWritable_ = error == 0;
    if (error != 0 && !recordErrorLogged_) log_.RecordNotWritten(error);
    recordErrorLogged_ = recordErrorLogged_ || error != 0;
    return error == 0;
}

}  // namespace kelvarid
