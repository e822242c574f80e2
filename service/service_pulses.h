// The keep-alive as the service runs it: the configured port, Timer1 as a countdown its thread
// waits on, and what the keep-alive reports turned into the service's log entries. Plain C++:
// the service's loop (service_main.cpp) calls it from its one thread.
#pragma once

#include <string>
#include <string_view>

#include "keepalive/keepalive.h"

namespace kelvarid {

// What the service reports about the keep-alive.
enum class ServiceEvent {
    Started,          // port: where the pulses go now ("" when no port opened)
    PortNotOpened,    // port: the configured one; other: where the pulses go until it opens
    PortOpenedLater,  // port: the configured one, which takes the pulses from now on
    PulseFailed,      // port: where the failed pulse went; reported once until one works
    PulsesWorkAgain,  // port: where the pulses go
};

class ServiceLog {
public:
    virtual ~ServiceLog() = default;
    virtual void Report(ServiceEvent event, std::wstring_view port, std::wstring_view other) = 0;
};

// Timer1: a single countdown; starting it again replaces the one that runs.
class Countdown {
public:
    virtual ~Countdown() = default;
    virtual void Start(unsigned milliseconds) = 0;
};

// The keep-alive's reports as log entries: the start with its port, a configured port that did
// not open and one that opened later, the first failed pulse of a run and the first good one after.
class ServiceReport final : public KeepAliveEvents {
public:
    explicit ServiceReport(ServiceLog& log) : log_(log) {}

    void PortProbed(int, bool) override {}
    void PortChosen(int port, bool opened, int pulsePort) override;
    void ChosenPortOpenedLater(int port) override;
    void LineChanged(bool high, bool worked, int pulsePort) override;

private:
    ServiceLog& log_;
    bool txdWorked_ = true;
};

class ServicePulses {
public:
    ServicePulses(int port, SerialLine& line, ServiceLog& log, Countdown& timer1)
        : port_(port), report_(log), keepAlive_(line, report_), timer1_(timer1) {}

    // Timer1 first, with the first rise due a moment later, as in the window program; then the
    // probe and the configured port.
    void Start();
    // Timer1 ran down.
    void Tick() { timer1_.Start(keepAlive_.Tick()); }
    // The machine woke from sleep.
    void Resume() { timer1_.Start(keepAlive_.Resume()); }
    // STOP: a raised line is lowered.
    void Stop() { keepAlive_.LetGo(); }
    // "COM2": where the pulses go now; "" for none.
    std::wstring PulsePortName() const { return PortName(keepAlive_.PulsePort()); }

private:
    int port_;
    ServiceReport report_;
    KeepAlive keepAlive_;
    Countdown& timer1_;
};

}  // namespace kelvarid
