// The service's entries in the Application log, under the source Kelvarid; their texts are
// the message table of kelvarid-service.exe (service/resources/service_messages.mc).
#pragma once

#include <windows.h>

#include <initializer_list>
#include <memory>
#include <string_view>

#include "service/service_pulses.h"

namespace kelvarid {

class EventLog final : public ServiceLog {
public:
    EventLog();

    void Report(ServiceEvent event, std::wstring_view port, std::wstring_view other) override;
    void Stopped(std::wstring_view port);
    void BadPortValue(std::wstring_view value, std::wstring_view used);
    void AlreadyRunning(std::wstring_view holder);
    void Fatal(std::wstring_view what);
    // The machine goes to sleep; it has woken and the pulses go to `port` again.
    void Suspending();
    void Resumed(std::wstring_view port);
    void PriorityNotRaised(unsigned long error);

private:
    struct SourceDeleter {
        void operator()(HANDLE source) const { DeregisterEventSource(source); }
    };

    void Write(WORD type, DWORD id, std::initializer_list<std::wstring_view> strings);

    std::unique_ptr<void, SourceDeleter> source_;
};

}  // namespace kelvarid
