#include "service/event_log.h"

#include <string>
#include <vector>

#include "platform/messages.h"
#include "service/settings.h"
#include "service_messages.h"  // made by windmc from service/resources/service_messages.mc

namespace kelvarid {

namespace {

// An empty port name means that no port took the pulses.
std::wstring_view PortOrNone(std::wstring_view port) { return port.empty() ? std::wstring_view(L"-") : port; }

}  // namespace

// Without the log the service runs all the same: an entry that cannot be written is lost,
// never a reason to stop the pulses.
EventLog::EventLog() : source_(RegisterEventSourceW(nullptr, kServiceName)) {}

void EventLog::Report(ServiceEvent event, std::wstring_view port, std::wstring_view other) {
    switch (event) {
    case ServiceEvent::Started: return Write(EVENTLOG_INFORMATION_TYPE, MSG_STARTED, {PortOrNone(port)});
    case ServiceEvent::PortNotOpened:
        return Write(EVENTLOG_WARNING_TYPE, MSG_PORT_NOT_OPENED, {port, PortOrNone(other)});
    case ServiceEvent::PortOpenedLater: return Write(EVENTLOG_INFORMATION_TYPE, MSG_PORT_OPENED_LATER, {port});
    case ServiceEvent::PulseFailed: return Write(EVENTLOG_ERROR_TYPE, MSG_PULSE_FAILED, {PortOrNone(port)});
    case ServiceEvent::PulsesWorkAgain:
        return Write(EVENTLOG_INFORMATION_TYPE, MSG_PULSES_WORK_AGAIN, {PortOrNone(port)});
    }
}

void EventLog::Stopped(std::wstring_view port) { Write(EVENTLOG_INFORMATION_TYPE, MSG_STOPPED, {PortOrNone(port)}); }

void EventLog::BadPortValue(std::wstring_view value, std::wstring_view used) {
    Write(EVENTLOG_WARNING_TYPE, MSG_BAD_PORT_VALUE, {value, used});
}

void EventLog::AlreadyRunning(std::wstring_view holder) {
    Write(EVENTLOG_ERROR_TYPE, MSG_ALREADY_RUNNING, {holder});
}

void EventLog::Fatal(std::wstring_view what) { Write(EVENTLOG_ERROR_TYPE, MSG_FATAL, {what}); }

void EventLog::Suspending() { Write(EVENTLOG_WARNING_TYPE, MSG_SUSPENDING, {}); }

void EventLog::Resumed(std::wstring_view port) { Write(EVENTLOG_INFORMATION_TYPE, MSG_RESUMED, {PortOrNone(port)}); }

void EventLog::PriorityNotRaised(unsigned long error) {
    Write(EVENTLOG_WARNING_TYPE, MSG_PRIORITY_NOT_RAISED, {texts::Decimal(error)});
}

void EventLog::Write(WORD type, DWORD id, std::initializer_list<std::wstring_view> strings) {
    if (!source_) return;
    std::vector<std::wstring> texts(strings.begin(), strings.end());
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& text : texts) pointers.push_back(text.c_str());
    ReportEventW(source_.get(), type, 0, id, nullptr, static_cast<WORD>(pointers.size()), 0,
                 pointers.empty() ? nullptr : pointers.data(), nullptr);
}

}  // namespace kelvarid
