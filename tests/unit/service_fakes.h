// Recording stand-ins for what the service's decisions talk to: its log, the health checks'
// log and the store of the record, and the health monitor on a clock that only the test moves.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "service/drill.h"
#include "service/health_monitor.h"
#include "service/health_settings.h"
#include "service/run_record.h"
#include "service/service_log.h"
#include "tests/unit/fakes.h"

namespace kelvarid::testing {

// The service's own entries as "Log <entry> <detail>" lines.
class RecordingLog final : public ServiceLog {
public:
    explicit RecordingLog(Journal& journal) : journal_(journal) {}
    void Started(std::wstring_view port) override { Add(L"Started", port); }
    void PortNotOpened(std::wstring_view port) override { Add(L"PortNotOpened", port); }
    void PortOpenedLater(std::wstring_view port) override { Add(L"PortOpenedLater", port); }
    void PulseFailed(std::wstring_view port) override { Add(L"PulseFailed", port); }
    void PulsesWorkAgain(std::wstring_view port) override { Add(L"PulsesWorkAgain", port); }
    void Stopped(std::wstring_view port) override { Add(L"Stopped", port); }
    void BadPortValue(std::wstring_view value) override { Add(L"BadPortValue", value); }
    void NameHeld(std::wstring_view name, std::wstring_view, NameVerdict) override { Add(L"NameHeld", name); }
    void Fatal(std::wstring_view what) override { Add(L"Fatal", what); }
    void Suspending() override { Add(L"Suspending", L""); }
    void Resumed(std::wstring_view port) override { Add(L"Resumed", port); }
    void PriorityNotRaised(unsigned long error) override { Add(L"PriorityNotRaised", std::to_wstring(error)); }

private:
    void Add(std::wstring_view entry, std::wstring_view detail) {
        journal_.push_back(L"Log " + std::wstring(entry) + L" " + std::wstring(detail));
    }
    Journal& journal_;
};

constexpr std::uint64_t kWallAtStart = 134'000'000'000'000'000ull;  // a FILETIME in 2025
constexpr std::uint64_t kSecond = 10'000'000;                         // FILETIME units

class RecordingHealthLog final : public HealthLog {
public:
    // How a test command failed: its exit code and last line, its timeout, or the error.
    static std::wstring CommandDetail(const CheckFailure& failure) {
        using Why = CheckFailure::Why;
        if (failure.why == Why::CommandFailed) return L": exit " + std::to_wstring(failure.code) + L", " + failure.output;
        if (failure.why == Why::CommandTimedOut) return L": timed out, " + failure.output;
        if (failure.why == Why::CommandNotStarted) return L": not started, error " + std::to_wstring(failure.code);
        return {};
    }
    explicit RecordingHealthLog(Journal& journal) : journal_(journal) {}
    void SettingsInForce(const HealthSettings& settings) override {
        Add(L"Settings mode " + std::to_wstring(static_cast<int>(settings.mode)));
    }
    void BadSetting(const SettingProblem& problem) override {
        Add(L"Bad " + problem.value + L" " + problem.found + (problem.used.empty() ? L"" : L" -> " + problem.used));
    }
    void CheckFails(const CheckFailure& failure, const HealthSettings&) override {
        Add(L"Fails " + failure.check + L" since " + Seconds(failure.since) + CommandDetail(failure));
    }
    void CheckPassesAgain(std::wstring_view check) override { Add(L"Passes " + std::wstring(check)); }
    void WouldStop(std::wstring_view check, std::uint64_t since, const HealthSettings& settings) override {
        const std::wstring what = !settings.repairCommand.empty() ? L", would repair" :
                                  settings.cleanRestart           ? L", would restart" : L"";
        Add(L"WouldStop " + std::wstring(check) + L" since " + Seconds(since) + what);
    }
    void RepairBegins(std::wstring_view check, std::wstring_view command, std::uint32_t) override {
        Add(L"RepairBegins for " + std::wstring(check) + L": " + std::wstring(command));
    }
    void RepairEnded(const CommandOutcome& outcome, std::uint32_t) override { Add(L"RepairEnded " + outcome.lastLine); }
    void Repaired(std::wstring_view check) override { Add(L"Repaired " + std::wstring(check)); }
    void RestartAsked(std::wstring_view check, std::uint32_t) override { Add(L"RestartAsked for " + std::wstring(check)); }
    void RestartRefused(std::wstring_view, unsigned long error) override { Add(L"RestartRefused " + std::to_wstring(error)); }
    void RestartNotCome(std::wstring_view, std::uint32_t timeout) override {
        Add(L"RestartNotCome in " + std::to_wstring(timeout) + L" s");
    }
    void LastRunRestarted(std::wstring_view check, std::uint64_t when) override {
        Add(L"LastRunRestarted for " + std::wstring(check) + L" at " + Seconds(when));
    }
    void PulsesStopped(std::wstring_view check, std::uint64_t since) override {
        Add(L"Stopped " + std::wstring(check) + L" since " + Seconds(since));
    }
    void LastRunStoppedByCheck(std::wstring_view check, std::uint64_t when) override {
        Add(L"LastRunStoppedBy " + std::wstring(check) + L" at " + Seconds(when));
    }
    void LastRunEndedWithoutStop(std::uint64_t lastPulse) override { Add(L"LastRunUnstopped " + Seconds(lastPulse)); }
    void TooManyStops(std::uint32_t stops) override { Add(L"TooManyStops " + std::to_wstring(stops)); }
    void ChecksActAgain() override { Add(L"ActAgain"); }
    void RecordNotWritten(unsigned long error) override { Add(L"RecordNotWritten " + std::to_wstring(error)); }
    void RecordUnreadable(unsigned long error) override { Add(L"RecordUnreadable " + std::to_wstring(error)); }
    void StopsUnknown() override { Add(L"StopsUnknown"); }
    void LastPulseBefore(std::uint64_t lastPulse, std::uint64_t secondsAgo) override {
        Add(L"LastPulseBefore " + Seconds(lastPulse) + L", " + std::to_wstring(secondsAgo) + L" s ago");
    }
    void DrillStarts(std::uint64_t lastPulse, std::uint32_t timeout) override {
        Add(L"DrillStarts after " + Seconds(lastPulse) + L" for " + std::to_wstring(timeout) + L" s");
    }
    void DrillFailed(std::uint64_t lastPulse, std::uint64_t waited, std::uint32_t timeout) override {
        Add(L"DrillFailed after " + Seconds(lastPulse) + L", waited " + std::to_wstring(waited) + L" of " +
            std::to_wstring(timeout) + L" s");
    }
    void DrillEndedByStop() override { Add(L"DrillEndedByStop"); }
    void DrillEndedWithoutReset(std::uint64_t lastPulse) override { Add(L"DrillWithoutReset after " + Seconds(lastPulse)); }
    void DrillRefused(DrillAnswer why) override { Add(L"DrillRefused " + std::to_wstring(static_cast<int>(why))); }
    void DrillPassed(std::uint64_t lastPulse, std::uint64_t serviceStart, std::uint64_t windowsStart,
                     std::uint64_t seconds) override {
        Add(L"DrillPassed after " + Seconds(lastPulse) + L", started " + Seconds(serviceStart) + L", Windows " +
            Seconds(windowsStart) + L", " + std::to_wstring(seconds) + L" s");
    }

private:
    // The system's time as seconds since the start, which the tests read more easily.
    static std::wstring Seconds(std::uint64_t wall) {
        return wall == 0 ? L"never" : std::to_wstring((static_cast<std::int64_t>(wall - kWallAtStart)) / static_cast<std::int64_t>(kSecond)) + L"s";
    }
    void Add(std::wstring entry) { journal_.push_back(std::move(entry)); }
    Journal& journal_;
};

class FakeStore final : public RunRecordStore {
public:
    StoredRecord Load() override {
        if (unreadable) return {StoredRecord::State::Unreadable, {}, *unreadable};
        if (!stored) return {};
        return {StoredRecord::State::Read, *stored, 0};
    }
    // As the service's writer would have written it; the outcome at once, or none while `later`.
    std::optional<unsigned long> Save(const RunRecord& record, RecordWrite how) override {
        if (error == 0) stored = record;
        writes.push_back(how);
        if (later) return std::nullopt;
        return error;
    }
    std::optional<RunRecord> stored;
    std::optional<unsigned long> unreadable;  // the error Load reports instead of a record
    unsigned long error = 0;
    bool later = false;
    std::vector<RecordWrite> writes;
};

// Acting by stopping the pulses at once, with no repair and no restart before it.
inline HealthSettings Acting(std::vector<std::wstring> processes, std::vector<std::wstring> files = {}) {
    HealthSettings settings;
    settings.mode = HealthMode::Act;
    settings.cleanRestart = false;
    settings.processes = std::move(processes);
    settings.heartbeatFiles = std::move(files);
    return settings;
}

// Acting with no grace: a check acts as soon as it has failed for FailAfter.
inline HealthSettings ActingAtOnce(std::vector<std::wstring> processes, std::vector<std::wstring> files = {}) {
    HealthSettings settings = Acting(std::move(processes), std::move(files));
    settings.startupGrace = 0;
    return settings;
}

// The monitor on a clock that only the test moves: `At(s)` is s seconds after the start.
struct HealthRig {
    explicit HealthRig(HealthSettings chosen) : settings(std::move(chosen)) {}

    static Instant At(double seconds) {
        const auto ms = static_cast<std::int64_t>(seconds * 1000);
        return {ms, kWallAtStart + static_cast<std::uint64_t>(seconds * kSecond), ms};
    }
    // An administrator's drill at `seconds`, asked for then.
    DrillAnswer DrillAt(double seconds) { return monitor.StartDrill(At(seconds), At(seconds).wall); }
    // The service's start, in a new run of Windows unless said otherwise.
    void Begin(WindowsRun run = WindowsRun::New) { monitor.Begin(run); }
    // A whole round at `seconds`: the processes running as given, the files written at those times.
    void Round(double seconds, std::vector<bool> running, std::vector<std::optional<std::uint64_t>> written = {}) {
        monitor.RoundStarted(settings, problems, At(seconds));
        monitor.RoundFinished({std::move(running), std::move(written)}, At(seconds));
    }
    // Rounds every 10 s from `from` to `to`, all alike.
    void Rounds(double from, double to, std::vector<bool> running) {
        for (double t = from; t <= to; t += 10) Round(t, running);
    }
    // The monitor's answer at a rise: true when it raises.
    bool RaiseAt(double seconds) { return monitor.AtRise(At(seconds)) == RiseAnswer::Raise; }
    // True when a drill leaves the rise out.
    bool LeftOutAt(double seconds) { return monitor.AtRise(At(seconds)) == RiseAnswer::LeaveOut; }
    Journal Only(const std::wstring& prefix) const {
        Journal picked;
        for (const auto& entry : journal) {
            if (entry.rfind(prefix, 0) == 0) picked.push_back(entry);
        }
        return picked;
    }

    HealthSettings settings;
    std::vector<SettingProblem> problems;
    Journal journal;
    RecordingHealthLog log{journal};
    FakeStore store;
    HealthMonitor monitor{log, store, At(0)};
};

}  // namespace kelvarid::testing
