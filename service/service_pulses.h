// The keep-alive as the service runs it: the configured port, Timer1 as a countdown its thread
// waits on, and what the keep-alive reports turned into the service's log entries. Plain C++:
// the service's loop (win32/service_work.cpp) calls it from its one thread.
#pragma once

#include <string>
#include <string_view>

#include "keepalive/keepalive.h"
#include "service/service_log.h"

namespace kelvarid {

// Timer1: a single countdown; starting it again replaces the one that runs.
class Countdown {
public:
    virtual ~Countdown() = default;
    virtual void Start(unsigned milliseconds) = 0;
};

// What comes of a rise that is due.
enum class RiseAnswer {
    Raise,
    LeaveOut,  // an administrator's drill: this pulse does not come; the line stays low and the schedule goes on
    Hold,      // the health checks: the line stays low for the rest of the run
};

// The health checks and an administrator's drill as the pulses see them: asked once before
// every rise, told of every good pulse.
class PulseGuard {
public:
    virtual ~PulseGuard() = default;
    virtual RiseAnswer AtRise() = 0;
    // A pulse whose rise and fall both worked has just ended.
    virtual void PulseEnded() = 0;
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

    // Whether the last rise or fall worked.
    bool LastEdgeWorked() const { return txdWorked_; }

private:
    ServiceLog& log_;
    bool txdWorked_ = true;
};

class ServicePulses {
public:
    ServicePulses(int port, SerialLine& line, ServiceLog& log, Countdown& timer1, PulseGuard& guard)
        : port_(port), report_(log), keepAlive_(line, report_, PortUse::ChosenOnly), timer1_(timer1), guard_(guard) {}

    // Timer1 first, with the first rise due a moment later, as in the window program; then the
    // configured port, and no other: the service has no buttons that a probe would grey out.
    void Start();
    // Timer1 ran down: the next edge, unless the guard holds the rise back.
    void Tick();
    // The machine woke from sleep, or a drill's timeout came: the next edge at once, unless the
    // guard holds the rise back.
    void Resume();
    // STOP: a raised line is lowered.
    void Stop() { keepAlive_.LetGo(); }
    // True once the guard has held a rise back: Timer1 no longer runs.
    bool Held() const { return held_; }
    // "COM2": where the pulses go now; "" for none.
    std::wstring PulsePortName() const { return PortName(keepAlive_.PulsePort()); }

private:
    enum class Step { Tick, Resume };
    // Tick or Resume: both change the line; a rise is the guard's to allow.
    void Edge(Step step);

    int port_;
    ServiceReport report_;
    KeepAlive keepAlive_;
    Countdown& timer1_;
    PulseGuard& guard_;
    bool held_ = false;
    bool riseWorked_ = false;
};

}  // namespace kelvarid
