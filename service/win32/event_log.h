// The service's entries in the Application log, under the source Kelvarid; their texts are
// the message table of kelvarid-service.exe (service_messages.mc beside this file).
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handles.h"
#include "service/drill.h"
#include "service/repeat_limit.h"
#include "service/service_log.h"
#include "service/win32/status_file.h"

namespace kelvarid {

class EventLog final : public ServiceLog, public HealthLog, public LibraryLog {
public:
    EventLog();
    // Out of line: thunks of an implicit one, made in every file, clash at link-time optimisation.
    ~EventLog() override;

    // The state `kelvaridctl status` reads, kept from the entries as they come.
    void Publish(StatusFile* status) { status_ = status; }

    // The keep-alive's and the service's own entries.
    void Started(std::wstring_view port) override;
    void PortNotOpened(std::wstring_view port) override;
    void PortOpenedLater(std::wstring_view port) override;
    void PulseFailed(std::wstring_view port) override;
    void PulsesWorkAgain(std::wstring_view port) override;
    void Stopped(std::wstring_view port) override;
    void BadPortValue(std::wstring_view value) override;
    void NameHeld(std::wstring_view name, std::wstring_view account, NameVerdict verdict) override;
    // The installer's commands: a folder that may not be used as it was went aside.
    void FolderMovedAside(std::wstring_view from, std::wstring_view to);
    void Fatal(std::wstring_view what) override;
    void Suspending() override;
    void Resumed(std::wstring_view port) override;
    void PriorityNotRaised(unsigned long error) override;
    // Writes the counts of the entries held back in a minute that is over (called now and then),
    // or at the end all of them.
    enum class RepeatCounts { Due, All };
    void WriteRepeatCounts(RepeatCounts which = RepeatCounts::Due);
    void LibraryNotLoaded(std::wstring_view path, unsigned long error) override;
    void LibraryLacks(std::wstring_view path, std::wstring_view function) override;
    void LibraryLoaded(std::wstring_view path) override;

    // The health checks' entries.
    void SettingsInForce(const HealthSettings& settings) override;
    void BadSetting(const SettingProblem& problem) override;
    void CheckFails(const CheckFailure& failure, const HealthSettings& settings) override;
    void CheckPassesAgain(std::wstring_view check) override;
    void WouldStop(std::wstring_view check, std::uint64_t since, const HealthSettings& settings) override;
    void PulsesStopped(std::wstring_view check, std::uint64_t since) override;
    void LastRunStoppedByCheck(std::wstring_view check, std::uint64_t when) override;
    void LastRunEndedWithoutStop(std::uint64_t lastPulse) override;
    void RepairBegins(std::wstring_view check, std::wstring_view command, std::uint32_t timeout) override;
    void RepairEnded(const CommandOutcome& outcome, std::uint32_t timeout) override;
    void Repaired(std::wstring_view check) override;
    void RestartAsked(std::wstring_view check, std::uint32_t timeout) override;
    void RestartRefused(std::wstring_view check, unsigned long error) override;
    void RestartNotCome(std::wstring_view check, std::uint32_t timeout) override;
    void LastRunRestarted(std::wstring_view check, std::uint64_t when) override;
    void TooManyStops(std::uint32_t stops) override;
    void RecordUnreadable(unsigned long error) override;
    void StopsUnknown() override;
    void ChecksActAgain() override;
    void RecordNotWritten(unsigned long error) override;

    // The gap over a restart and an administrator's drill.
    void LastPulseBefore(std::uint64_t lastPulse, std::uint64_t secondsAgo) override;
    void DrillStarts(std::uint64_t lastPulse, std::uint32_t timeout) override;
    void DrillFailed(std::uint64_t lastPulse, std::uint64_t waited, std::uint32_t timeout) override;
    void DrillEndedByStop() override;
    void DrillPassed(std::uint64_t lastPulse, std::uint64_t serviceStart, std::uint64_t windowsStart,
                     std::uint64_t seconds) override;
    void DrillRefused(DrillAnswer why) override;
    void DrillEndedWithoutReset(std::uint64_t lastPulse) override;

private:
    template <class Value>
    void Note(Value PublishedStatus::*field, Value value) {
        if (status_ != nullptr) status_->Set(field, static_cast<Value&&>(value));
    }
    void Write(WORD type, DWORD id, std::initializer_list<std::wstring_view> strings);
    // Under lock_: whether the source is registered; one that failed is tried again, at most
    // once a minute.
    bool Registered(std::int64_t nowMs);
    void WriteDueCounts(std::int64_t nowMs);  // under lock_
    void Send(WORD type, DWORD id, const std::vector<std::wstring>& strings);

    StatusFile* status_ = nullptr;
    UniqueEventSource source_;
    std::int64_t registeredAtMs_ = 0;  // the last try
    // The pulsing thread, the checks' thread and the control handler all write entries.
    CriticalSection lock_;
    RepeatLimit repeats_;
};

}  // namespace kelvarid
