#include "service/health_monitor.h"

#include <algorithm>

namespace kelvarid {

namespace {

constexpr std::int64_t Ms(std::uint32_t seconds) { return static_cast<std::int64_t>(seconds) * 1000; }

// A repair waits for a test under way and for its turn on the commands' thread: past its
// timeout and both of these, it is taken as over, whatever keeps it.
constexpr std::int64_t kRepairSlackMs = 30 * 1000;

}  // namespace

void HealthMonitor::Begin(WindowsRun run) {
    RunRecord& record = records_.Record();
    const StoredRecord last = records_.Load();
    if (last.state == StoredRecord::State::Unreadable) {
        log_.RecordUnreadable(last.error);
        record.stopsInRow = kStopsUnknown;
    }
    if (last.state == StoredRecord::State::Read) {
        record = last.record;
        LogLastRun(last.record, run);
    }
    record.endedWithStop = false;
    record.stoppedBy.clear();
    record.stoppedAt = 0;
    record.drillStarted = 0;
    record.restartAsked = 0;
    records_.Save();
}

void HealthMonitor::LogLastRun(const RunRecord& last, WindowsRun run) {
    if (last.lastPulse != 0) {
        // Within one run of Windows the steady count measures the gap; across a start of
        // Windows only the system's time can.
        const bool sameCount = run == WindowsRun::Same && last.lastPulseUptimeMs != 0 &&
                               start_.uptimeMs >= last.lastPulseUptimeMs;
        const std::uint64_t seconds = sameCount
                                          ? static_cast<std::uint64_t>(start_.uptimeMs - last.lastPulseUptimeMs) / 1000
                                          : SecondsBetween(last.lastPulse, start_.wall);
        log_.LastPulseBefore(last.lastPulse, seconds);
    }
    if (drill_.JudgeLastRun(last, start_, run)) return;
    if (last.restartAsked != 0 && !last.stoppedBy.empty()) {
        log_.LastRunRestarted(last.stoppedBy, last.restartAsked);
        return;
    }
    if (last.endedWithStop) return;
    if (!last.stoppedBy.empty()) {
        log_.LastRunStoppedByCheck(last.stoppedBy, last.stoppedAt);
        return;
    }
    log_.LastRunEndedWithoutStop(last.lastPulse);
}

void HealthMonitor::RoundStarted(const HealthSettings& settings, const std::vector<SettingProblem>& problems,
                                 Instant now) {
    for (const SettingProblem& problem : problems) {
        if (std::find(problems_.begin(), problems_.end(), problem) == problems_.end()) log_.BadSetting(problem);
    }
    problems_ = problems;
    if (!anyRound_ || settings != settings_) log_.SettingsInForce(settings);
    if (settings.testCommand != settings_.testCommand) testPassed_ = false;
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
    CountGoodTime(allPassed && (settings_.testCommand.empty() || testPassed_), now);
    SettleSteps();
}

void HealthMonitor::TestFinished(const std::wstring& command, const CommandOutcome& outcome, Instant started) {
    if (settings_.mode == HealthMode::Off || command != settings_.testCommand) return;
    using Why = CheckFailure::Why;
    constexpr Why kWhy[] = {Why::CommandFailed, Why::CommandTimedOut, Why::CommandNotStarted};
    testPassed_ = outcome.end == CommandOutcome::End::Exited && outcome.code == 0;
    Update(command, testPassed_, kWhy[static_cast<int>(outcome.end)], started, outcome.code, outcome.lastLine);
    SettleSteps();
}

CommandOrder HealthMonitor::NextCommand() {
    const bool acts = settings_.mode == HealthMode::Act;
    if (acts && step_ == Step::RestartDue) {
        step_ = Step::RestartAsking;
        return {CommandOrder::Kind::Restart, stepCheck_, 0};
    }
    if (acts && step_ == Step::RepairDue) {
        step_ = Step::Repairing;
        log_.RepairBegins(stepCheck_, settings_.repairCommand, settings_.repairTimeout);
        return {CommandOrder::Kind::Repair, settings_.repairCommand, settings_.repairTimeout};
    }
    if (settings_.mode == HealthMode::Off || settings_.testCommand.empty()) return {};
    return {CommandOrder::Kind::Test, settings_.testCommand, settings_.testTimeout};
}

void HealthMonitor::RepairFinished(const CommandOutcome& outcome, Instant now) {
    log_.RepairEnded(outcome, settings_.repairTimeout);
    if (step_ != Step::Repairing) return;  // taken as over already
    step_ = Step::Repaired;
    stepSinceMs_ = now.steadyMs;
    SettleSteps();
}

void HealthMonitor::RestartRequested(unsigned long error) {
    if (error == 0) {
        log_.RestartAsked(stepCheck_, settings_.restartTimeout);
        return;
    }
    log_.RestartRefused(stepCheck_, error);
    step_ = Step::RestartRefused;
}

RiseAnswer HealthMonitor::AtRise(Instant now) {
    if (drill_.LeavesOutRise(now)) return RiseAnswer::LeaveOut;
    return MayRaise(now) ? RiseAnswer::Raise : RiseAnswer::Hold;
}

bool HealthMonitor::MayRaise(Instant now) {
    if (stopped_) return false;
    if (settings_.mode == HealthMode::Off) return true;
    if (step_ >= Step::RestartDue) return AwaitRestart(now);
    MarkUnfinishedRound(now);
    const std::wstring* due = DueCheck(now);
    if (due == nullptr || now.steadyMs - start_.steadyMs < Ms(settings_.startupGrace)) return true;
    CheckState& state = checks_[*due];
    if (settings_.mode == HealthMode::Act && !limited_ && records_.Writable()) {
        if (RepairHolds(*due, now) || LastStep(*due, state, now)) return !stopped_;
    }
    if (!state.wouldStopLogged) log_.WouldStop(*due, state.failingSince, settings_);
    state.wouldStopLogged = true;
    return true;
}

bool HealthMonitor::RepairHolds(const std::wstring& due, Instant now) {
    switch (step_) {
    case Step::None:
        if (settings_.repairCommand.empty()) return false;
        Decide(Step::RepairDue, due, now);
        return true;
    case Step::RepairDue:
    case Step::Repairing:
        return now.steadyMs - stepSinceMs_ < Ms(settings_.testTimeout + settings_.repairTimeout) + kRepairSlackMs;
    case Step::Repaired: return now.steadyMs - stepSinceMs_ < Ms(settings_.failAfter);
    default: return false;
    }
}

bool HealthMonitor::LastStep(const std::wstring& due, const CheckState& state, Instant now) {
    RunRecord& record = records_.Record();
    const RunRecord before = record;
    ++record.stopsInRow;
    record.stoppedBy = due;
    record.stoppedAt = now.wall;
    record.restartAsked = settings_.cleanRestart ? now.wall : 0;
    if (!records_.Save()) {
        record = before;  // the limit on stops in a row cannot be kept: the checks only watch
        return false;
    }
    // A repair not yet begun is given up with the rest.
    Decide(settings_.cleanRestart ? Step::RestartDue : Step::None, due, now);
    if (settings_.cleanRestart) return true;
    stopped_ = true;
    log_.PulsesStopped(due, state.failingSince);
    return true;
}

bool HealthMonitor::AwaitRestart(Instant now) {
    const bool late = now.steadyMs - stepSinceMs_ >= Ms(settings_.restartTimeout);
    if (settings_.mode != HealthMode::Act || (step_ != Step::RestartRefused && !late)) return true;
    if (step_ != Step::RestartRefused) log_.RestartNotCome(stepCheck_, settings_.restartTimeout);
    stopped_ = true;
    records_.Record().restartAsked = 0;  // the next start says that the check stopped the pulses
    records_.Save();
    return false;
}

void HealthMonitor::PulseEnded(Instant now) {
    drill_.PulseEnded(now);
    records_.Record().lastPulse = now.wall;
    records_.Record().lastPulseUptimeMs = now.uptimeMs;
    records_.SavePulse(now.steadyMs);
}

void HealthMonitor::RecordWritten(unsigned long error) {
    records_.Written(error);
    if (error != 0) drill_.RecordLost();
}

void HealthMonitor::Stopped() {
    drill_.Stopped();
    records_.Record().endedWithStop = true;
    records_.Save();
}

void HealthMonitor::Update(const std::wstring& check, bool passed, CheckFailure::Why why, Instant since,
                           std::uint32_t code, const std::wstring& output) {
    const auto found = checks_.find(check);
    const bool wasFailing = found != checks_.end() && found->second.failing;
    if (passed) {
        if (wasFailing) log_.CheckPassesAgain(check);
        if (found != checks_.end()) checks_.erase(found);
        return;
    }
    if (wasFailing) return;
    checks_[check] = CheckState{true, since.steadyMs, since.wall, false};
    log_.CheckFails(CheckFailure{why, check, since.wall, code, output}, settings_);
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
    RunRecord& record = records_.Record();
    if (now.steadyMs - *allPassingSinceMs_ < kGoodHourMs || record.stopsInRow == 0) return;
    record.stopsInRow = 0;
    records_.Save();
    UpdateLimit();
}

void HealthMonitor::UpdateLimit() {
    const std::uint32_t stops = records_.Record().stopsInRow;
    limited_ = stops >= settings_.maxHealthResets;
    if (settings_.mode != HealthMode::Act || limited_ == limitLogged_) return;
    if (!limited_) log_.ChecksActAgain();
    else if (stops == kStopsUnknown) log_.StopsUnknown();
    else log_.TooManyStops(stops);
    limitLogged_ = limited_;
}

void HealthMonitor::ForgetChecksNotIn(const HealthSettings& settings) {
    const auto listed = [&](const std::wstring& check) {
        if (settings.mode == HealthMode::Off) return false;
        if (check == kUnfinishedRoundCheck || check == settings.testCommand) return true;
        const auto& processes = settings.processes;
        const auto& files = settings.heartbeatFiles;
        return std::find(processes.begin(), processes.end(), check) != processes.end() ||
               std::find(files.begin(), files.end(), check) != files.end();
    };
    std::erase_if(checks_, [&](const auto& entry) { return !listed(entry.first); });
    std::erase_if(heartbeats_, [&](const auto& entry) { return !listed(entry.first); });
}

void HealthMonitor::Decide(Step step, const std::wstring& check, Instant now) {
    step_ = step;
    stepSinceMs_ = now.steadyMs;
    stepCheck_ = check;
}

void HealthMonitor::SettleSteps() {
    if (!checks_.empty() || (step_ != Step::RepairDue && step_ != Step::Repaired)) return;
    if (step_ == Step::Repaired) log_.Repaired(stepCheck_);
    step_ = Step::None;
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

}  // namespace kelvarid
