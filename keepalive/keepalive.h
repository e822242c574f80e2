// The keep-alive: the start-up probe, the chosen port and the pulses on the TXD line, high for
// 500 ms, then low for 60 s. It drives the serial line and reports what it did; whoever runs it
// (Form1's handlers, the service's loop) keeps its Timer1 going with the intervals it returns.
#pragma once

#include "keepalive/keepalive_events.h"
#include "keepalive/ports.h"
#include "serial/serial_line.h"

namespace kelvarid {

// Which ports the line may drive. The window program probes all four and pulses wherever the
// library holds a port; the service touches its own port only, and sends nothing while it is
// not open: a break on another port may be read by a modem or a UPS as a command.
enum class PortUse { AnyOpened, ChosenOnly };

class KeepAlive {
public:
    KeepAlive(SerialLine& line, KeepAliveEvents& events, PortUse use = PortUse::AnyOpened)
        : line_(line), events_(events), use_(use) {}

    // Opens every port once, in order; nothing is closed between probes: the library keeps the
    // last port that opened.
    void ProbePorts();
    // Opens the chosen port and reports whether it opened; while it has not, every rise asks for
    // it again (a USB adapter may come minutes after log-on).
    void ChoosePort(int port);
    // Timer1's tick: raises the line after a low phase, lowers it after a high one. Returns the
    // milliseconds to the next tick.
    unsigned Tick();
    // The machine woke from sleep: the tick comes now. Returns the milliseconds to the next one.
    unsigned Resume();
    // The program ends: a raised line is lowered first, never let go high.
    void LetGo();

    bool IsLineHigh() const { return LineHigh; }
    // The port the library holds, where the pulses go; kNoPort for none.
    int PulsePort() const { return pulsePort_; }

private:
    // Asks the library for `port`; true when it opened, which makes it the port that is held.
    bool Open(int port);
    void RetryChosenPort();
    // TXD(level), unless the line may not be driven now; true when the library says it was done.
    bool Drive(std::int16_t level);

    SerialLine& line_;
    KeepAliveEvents& events_;
    const PortUse use_;
    bool LineHigh = false;  // true while the last tick raised the line
    int chosenPort_ = kNoPort;
    bool chosenPortOpen_ = false;
    int pulsePort_ = kNoPort;
};

}  // namespace kelvarid
