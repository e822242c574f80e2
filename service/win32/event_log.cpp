#include "service/win32/event_log.h"

#include <limits>
#include <string>
#include <vector>

#include "platform/messages.h"
#include "platform/tick_count.h"
#include "service/win32/local_time.h"
#include "service/win32/run_record_file.h"
#include "product.h"
#include "service_messages.h"  // made by windmc from service/win32/service_messages.mc

namespace kelvarid {

namespace {

// A list of checks for the settings' entry, "-" for none.
std::wstring Listed(const std::vector<std::wstring>& entries) {
    std::wstring text;
    for (const std::wstring& entry : entries) text += (text.empty() ? L"" : L", ") + entry;
    return text.empty() ? L"-" : text;
}

// An empty port name means that no port took the pulses.
std::wstring_view PortOrNone(std::wstring_view port) { return port.empty() ? std::wstring_view(L"-") : port; }

}  // namespace

// Without the log the service runs all the same: an entry that cannot be written is lost,
// never a reason to stop the pulses.
EventLog::EventLog()
    : source_(RegisterEventSourceW(nullptr, product::kServiceName)),
      registeredAtMs_(static_cast<std::int64_t>(TickCount64())) {}

EventLog::~EventLog() = default;

bool EventLog::Registered(std::int64_t nowMs) {
    if (source_) return true;
    if (nowMs - registeredAtMs_ < kRepeatWindowMs) return false;
    registeredAtMs_ = nowMs;
    source_.reset(RegisterEventSourceW(nullptr, product::kServiceName));
    return static_cast<bool>(source_);
}

void EventLog::Started(std::wstring_view port) {
    Note(&PublishedStatus::portOpen, !port.empty());
    if (!port.empty()) Note(&PublishedStatus::port, std::wstring(port));
    Write(EVENTLOG_INFORMATION_TYPE, MSG_STARTED, {PortOrNone(port)});
}

void EventLog::PortNotOpened(std::wstring_view port) {
    Note(&PublishedStatus::port, std::wstring(port));
    Note(&PublishedStatus::portOpen, false);
    Write(EVENTLOG_WARNING_TYPE, MSG_PORT_NOT_OPENED, {port});
}

void EventLog::PortOpenedLater(std::wstring_view port) {
    Note(&PublishedStatus::port, std::wstring(port));
    Note(&PublishedStatus::portOpen, true);
    Write(EVENTLOG_INFORMATION_TYPE, MSG_PORT_OPENED_LATER, {port});
}

void EventLog::PulseFailed(std::wstring_view port) {
    Note(&PublishedStatus::pulsesWork, false);
    Write(EVENTLOG_ERROR_TYPE, MSG_PULSE_FAILED, {PortOrNone(port)});
}

void EventLog::PulsesWorkAgain(std::wstring_view port) {
    Note(&PublishedStatus::pulsesWork, true);
    Write(EVENTLOG_INFORMATION_TYPE, MSG_PULSES_WORK_AGAIN, {PortOrNone(port)});
}

void EventLog::Stopped(std::wstring_view port) { Write(EVENTLOG_INFORMATION_TYPE, MSG_STOPPED, {PortOrNone(port)}); }

void EventLog::BadPortValue(std::wstring_view value) {
    Note(&PublishedStatus::port, std::wstring());
    Note(&PublishedStatus::portOpen, false);
    Write(EVENTLOG_ERROR_TYPE, MSG_BAD_PORT_VALUE, {value});
}

void EventLog::NameHeld(std::wstring_view name, std::wstring_view account, NameVerdict verdict) {
    Write(EVENTLOG_WARNING_TYPE, verdict == NameVerdict::Squatted ? MSG_NAME_SQUATTED : MSG_NAME_HELD, {name, account});
}

void EventLog::FolderMovedAside(std::wstring_view from, std::wstring_view to) {
    Write(EVENTLOG_WARNING_TYPE, MSG_FOLDER_MOVED_ASIDE, {from, to});
}

void EventLog::Fatal(std::wstring_view what) { Write(EVENTLOG_ERROR_TYPE, MSG_FATAL, {what}); }

void EventLog::Suspending() { Write(EVENTLOG_WARNING_TYPE, MSG_SUSPENDING, {}); }

void EventLog::Resumed(std::wstring_view port) { Write(EVENTLOG_INFORMATION_TYPE, MSG_RESUMED, {PortOrNone(port)}); }

void EventLog::PriorityNotRaised(unsigned long error) {
    Write(EVENTLOG_WARNING_TYPE, MSG_PRIORITY_NOT_RAISED, {texts::Decimal(error)});
}

void EventLog::LibraryNotLoaded(std::wstring_view path, unsigned long error) {
    Note(&PublishedStatus::library, false);
    Write(EVENTLOG_ERROR_TYPE, MSG_LIBRARY_NOT_LOADED, {path, texts::Decimal(error)});
}

void EventLog::LibraryLacks(std::wstring_view path, std::wstring_view function) {
    Note(&PublishedStatus::library, false);
    Write(EVENTLOG_ERROR_TYPE, MSG_LIBRARY_LACKS_FUNCTION, {path, function});
}

void EventLog::LibraryLoaded(std::wstring_view path) {
    Note(&PublishedStatus::library, true);
    Write(EVENTLOG_INFORMATION_TYPE, MSG_LIBRARY_LOADED, {path});
}

void EventLog::SettingsInForce(const HealthSettings& settings) {
    Note(&PublishedStatus::checksMode, static_cast<std::uint32_t>(settings.mode));
    Note(&PublishedStatus::maxStops, settings.maxHealthResets);
    using texts::Decimal;
    Write(EVENTLOG_INFORMATION_TYPE, MSG_HEALTH_SETTINGS,
          {Decimal(static_cast<unsigned long>(settings.mode)), Listed(settings.processes), Listed(settings.heartbeatFiles),
           Decimal(settings.heartbeatMaxAge), Decimal(settings.failAfter), Decimal(settings.startupGrace),
           Decimal(settings.maxHealthResets), Decimal(settings.drillTimeout),
           settings.testCommand.empty() ? std::wstring(L"-") : settings.testCommand, Decimal(settings.testTimeout),
           settings.repairCommand.empty() ? std::wstring(L"-") : settings.repairCommand, Decimal(settings.repairTimeout),
           Decimal(settings.cleanRestart ? 1u : 0u), Decimal(settings.restartTimeout)});
}

void EventLog::BadSetting(const SettingProblem& problem) {
    switch (problem.kind) {
    case SettingProblem::Kind::BadValue:
        return Write(EVENTLOG_WARNING_TYPE, MSG_BAD_HEALTH_VALUE, {problem.value, problem.found, problem.used});
    case SettingProblem::Kind::BadEntry:
        return Write(EVENTLOG_WARNING_TYPE, MSG_BAD_HEALTH_ENTRY, {problem.value, problem.found});
    case SettingProblem::Kind::NoUsableCheck: return Write(EVENTLOG_WARNING_TYPE, MSG_NO_USABLE_CHECK, {});
    }
}

void EventLog::CheckFails(const CheckFailure& failure, const HealthSettings& settings) {
    Note(&PublishedStatus::failingSince, failure.since);
    Note(&PublishedStatus::failing, failure.check);
    const std::wstring since = LocalTime(failure.since);
    switch (failure.why) {
    case CheckFailure::Why::ProcessNotRunning:
        return Write(EVENTLOG_WARNING_TYPE, MSG_PROCESS_NOT_RUNNING, {failure.check, since});
    case CheckFailure::Why::FileMissing:
        return Write(EVENTLOG_WARNING_TYPE, MSG_HEARTBEAT_MISSING, {failure.check, since});
    case CheckFailure::Why::FileUnchanged:
        return Write(EVENTLOG_WARNING_TYPE, MSG_HEARTBEAT_UNCHANGED,
                     {failure.check, since, texts::Decimal(settings.heartbeatMaxAge)});
    case CheckFailure::Why::RoundUnfinished:
        return Write(EVENTLOG_WARNING_TYPE, MSG_ROUND_UNFINISHED,
                     {failure.check, since, texts::Decimal(settings.failAfter)});
    case CheckFailure::Why::CommandFailed:
        return Write(EVENTLOG_WARNING_TYPE, MSG_TEST_FAILED,
                     {failure.check, since, texts::Decimal(failure.code), failure.output});
    case CheckFailure::Why::CommandTimedOut:
        return Write(EVENTLOG_WARNING_TYPE, MSG_TEST_TIMED_OUT,
                     {failure.check, since, texts::Decimal(settings.testTimeout), failure.output});
    case CheckFailure::Why::CommandNotStarted:
        return Write(EVENTLOG_WARNING_TYPE, MSG_TEST_NOT_STARTED, {failure.check, since, texts::Decimal(failure.code)});
    }
}

void EventLog::CheckPassesAgain(std::wstring_view check) {
    if (status_ != nullptr) status_->CheckPasses(check);
    Write(EVENTLOG_INFORMATION_TYPE, MSG_CHECK_PASSES_AGAIN, {check});
}

void EventLog::WouldStop(std::wstring_view check, std::uint64_t since, const HealthSettings& settings) {
    if (!settings.repairCommand.empty()) {
        return Write(EVENTLOG_WARNING_TYPE, MSG_WOULD_REPAIR, {check, LocalTime(since), settings.repairCommand});
    }
    Write(EVENTLOG_WARNING_TYPE, settings.cleanRestart ? MSG_WOULD_RESTART : MSG_WOULD_STOP, {check, LocalTime(since)});
}

void EventLog::RepairBegins(std::wstring_view check, std::wstring_view command, std::uint32_t timeout) {
    Write(EVENTLOG_WARNING_TYPE, MSG_REPAIR_BEGINS, {check, command, texts::Decimal(timeout)});
}

void EventLog::RepairEnded(const CommandOutcome& outcome, std::uint32_t timeout) {
    switch (outcome.end) {
    case CommandOutcome::End::Exited:
        return Write(EVENTLOG_INFORMATION_TYPE, MSG_REPAIR_ENDED, {texts::Decimal(outcome.code), outcome.lastLine});
    case CommandOutcome::End::TimedOut:
        return Write(EVENTLOG_WARNING_TYPE, MSG_REPAIR_TIMED_OUT, {texts::Decimal(timeout), outcome.lastLine});
    case CommandOutcome::End::NotStarted:
        return Write(EVENTLOG_WARNING_TYPE, MSG_REPAIR_NOT_STARTED, {texts::Decimal(outcome.code)});
    }
}

void EventLog::Repaired(std::wstring_view check) { Write(EVENTLOG_INFORMATION_TYPE, MSG_REPAIRED, {check}); }

void EventLog::RestartAsked(std::wstring_view check, std::uint32_t timeout) {
    Write(EVENTLOG_ERROR_TYPE, MSG_RESTART_ASKED, {check, texts::Decimal(timeout)});
}

void EventLog::RestartRefused(std::wstring_view check, unsigned long error) {
    Note(&PublishedStatus::holding, std::wstring(check));
    Write(EVENTLOG_ERROR_TYPE, MSG_RESTART_REFUSED, {check, texts::Decimal(error)});
}

void EventLog::RestartNotCome(std::wstring_view check, std::uint32_t timeout) {
    Note(&PublishedStatus::holding, std::wstring(check));
    Write(EVENTLOG_ERROR_TYPE, MSG_RESTART_NOT_COME, {check, texts::Decimal(timeout)});
}

void EventLog::LastRunRestarted(std::wstring_view check, std::uint64_t when) {
    Note(&PublishedStatus::lastReset, L"restart for check " + std::wstring(check));
    Write(EVENTLOG_WARNING_TYPE, MSG_LAST_RUN_RESTARTED, {check, LocalTime(when)});
}

void EventLog::PulsesStopped(std::wstring_view check, std::uint64_t since) {
    Note(&PublishedStatus::holding, std::wstring(check));
    Write(EVENTLOG_ERROR_TYPE, MSG_PULSES_STOPPED_BY_CHECK, {check, LocalTime(since)});
}

void EventLog::LastRunStoppedByCheck(std::wstring_view check, std::uint64_t when) {
    Note(&PublishedStatus::lastReset, L"check " + std::wstring(check));
    Write(EVENTLOG_WARNING_TYPE, MSG_LAST_RUN_STOPPED_BY_CHECK, {check, LocalTime(when)});
}

void EventLog::LastRunEndedWithoutStop(std::uint64_t lastPulse) {
    Note(&PublishedStatus::lastReset, std::wstring(L"ended without a stop"));
    Write(EVENTLOG_WARNING_TYPE, MSG_LAST_RUN_NOT_STOPPED, {LocalTime(lastPulse)});
}

void EventLog::TooManyStops(std::uint32_t stops) {
    Note(&PublishedStatus::stopsInRow, stops);
    Note(&PublishedStatus::limited, true);
    Write(EVENTLOG_WARNING_TYPE, MSG_TOO_MANY_STOPS, {texts::Decimal(stops)});
}

void EventLog::RecordUnreadable(unsigned long error) {
    Write(EVENTLOG_WARNING_TYPE, MSG_RECORD_UNREADABLE, {RunRecordPath(), texts::Decimal(error)});
}

void EventLog::StopsUnknown() {
    Note(&PublishedStatus::limited, true);
    Write(EVENTLOG_WARNING_TYPE, MSG_STOPS_UNKNOWN, {});
}

void EventLog::ChecksActAgain() {
    Note(&PublishedStatus::stopsInRow, std::uint32_t{0});
    Note(&PublishedStatus::limited, false);
    Write(EVENTLOG_INFORMATION_TYPE, MSG_CHECKS_ACT_AGAIN, {});
}

void EventLog::RecordNotWritten(unsigned long error) {
    Write(EVENTLOG_WARNING_TYPE, MSG_RECORD_NOT_WRITTEN, {RunRecordPath(), texts::Decimal(error)});
}

void EventLog::Write(WORD type, DWORD id, std::initializer_list<std::wstring_view> strings) {
    const std::vector<std::wstring> values(strings.begin(), strings.end());
    // An entry is the same as another when its number and what it is about (its first string)
    // are: "14 (logger.exe)".
    std::wstring key = texts::Decimal(id & 0xffff);
    if (!values.empty()) key += L" (" + values.front() + L")";
    const std::int64_t nowMs = static_cast<std::int64_t>(TickCount64());
    Locked locked(lock_);
    if (!Registered(nowMs)) return;
    WriteDueCounts(nowMs);
    if (repeats_.Admit(key, nowMs)) Send(type, id, values);
}

void EventLog::WriteRepeatCounts(RepeatCounts which) {
    const std::int64_t nowMs = static_cast<std::int64_t>(TickCount64());
    Locked locked(lock_);
    if (!Registered(nowMs)) return;
    // At the end every minute counts as over.
    WriteDueCounts(which == RepeatCounts::All ? std::numeric_limits<std::int64_t>::max() : nowMs);
}

void EventLog::WriteDueCounts(std::int64_t nowMs) {
    for (const RepeatLimit::Held& held : repeats_.Due(nowMs)) {
        Send(EVENTLOG_INFORMATION_TYPE, MSG_REPEATED, {held.key, texts::Decimal(held.count)});
    }
}

void EventLog::Send(WORD type, DWORD id, const std::vector<std::wstring>& strings) {
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& text : strings) pointers.push_back(text.c_str());
    ReportEventW(source_.get(), type, 0, id, nullptr, static_cast<WORD>(pointers.size()), 0,
                 pointers.empty() ? nullptr : pointers.data(), nullptr);
}

void EventLog::LastPulseBefore(std::uint64_t lastPulse, std::uint64_t secondsAgo) {
    Write(EVENTLOG_INFORMATION_TYPE, MSG_LAST_PULSE_BEFORE, {LocalTime(lastPulse), texts::Decimal(secondsAgo)});
}

void EventLog::DrillStarts(std::uint64_t lastPulse, std::uint32_t timeout) {
    Note(&PublishedStatus::drill, true);
    Write(EVENTLOG_WARNING_TYPE, MSG_DRILL_STARTS, {LocalTime(lastPulse), texts::Decimal(timeout)});
}

void EventLog::DrillFailed(std::uint64_t lastPulse, std::uint64_t waited, std::uint32_t timeout) {
    Note(&PublishedStatus::drill, false);
    Write(EVENTLOG_ERROR_TYPE, MSG_DRILL_FAILED, {LocalTime(lastPulse), texts::Decimal(waited), texts::Decimal(timeout)});
}

void EventLog::DrillEndedByStop() {
    Note(&PublishedStatus::drill, false);
    Write(EVENTLOG_WARNING_TYPE, MSG_DRILL_ENDED_BY_STOP, {});
}

void EventLog::DrillPassed(std::uint64_t lastPulse, std::uint64_t serviceStart, std::uint64_t windowsStart,
                           std::uint64_t seconds) {
    Note(&PublishedStatus::lastReset, std::wstring(L"drill"));
    Write(EVENTLOG_INFORMATION_TYPE, MSG_DRILL_PASSED,
          {LocalTime(lastPulse), LocalTime(serviceStart), LocalTime(windowsStart), texts::Decimal(seconds)});
}

void EventLog::DrillEndedWithoutReset(std::uint64_t lastPulse) {
    Write(EVENTLOG_ERROR_TYPE, MSG_DRILL_WITHOUT_RESET, {LocalTime(lastPulse)});
}

void EventLog::DrillRefused(DrillAnswer why) {
    Write(EVENTLOG_WARNING_TYPE, MSG_DRILL_REFUSED, {texts::Decimal(static_cast<unsigned long>(why))});
}

}  // namespace kelvarid
