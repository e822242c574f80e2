// What the keep-alive reports of what it does, in its own terms. The window program turns each
// report into the window's changes, the service into its log entries. Ports are indexes into
// kPorts (keepalive/ports.h); `pulsePort` is the port the library holds, the last one that
// opened, where the pulses go; kNoPort when none ever opened.
#pragma once

namespace kelvarid {

class KeepAliveEvents {
public:
    virtual ~KeepAliveEvents() = default;
    // A port of the start-up probe opened or did not.
    virtual void PortProbed(int port, bool opened) = 0;
    // The chosen port was asked for, at start-up or by a click: opened or not.
    virtual void PortChosen(int port, bool opened, int pulsePort) = 0;
    // The chosen port, which had not opened, opened at a rise: it takes the pulses from now on.
    virtual void ChosenPortOpenedLater(int port) = 0;
    // The line was raised (high) or lowered; `worked`: the library says it was done.
    virtual void LineChanged(bool high, bool worked, int pulsePort) = 0;
};

}  // namespace kelvarid
