#include "keepalive/keepalive.h"

#include <cstddef>

#include "keepalive/pulse.h"

namespace kelvarid {

bool KeepAlive::Open(int port) {
    if (port == kNoPort) return false;  // none configured: nothing is asked of the library
    char settings[32];
    OpenComSettings(port, settings);
    if (line_.OPENCOM(settings) == 0) return false;
    pulsePort_ = port;
    return true;
}

void KeepAlive::ProbePorts() {
    for (int port = 0; port < kPortCount; ++port) events_.PortProbed(port, Open(port));
}

void KeepAlive::ChoosePort(int port) {
    chosenPort_ = port;
    chosenPortOpen_ = Open(port);
    events_.PortChosen(port, chosenPortOpen_, pulsePort_);
}

void KeepAlive::RetryChosenPort() {
    if (chosenPort_ == kNoPort || chosenPortOpen_) return;
    // Until it opens, the library keeps the port that opened last, and the pulses go there.
    if (!Open(chosenPort_)) return;
    chosenPortOpen_ = true;
    events_.ChosenPortOpenedLater(chosenPort_);
}

bool KeepAlive::Drive(std::int16_t level) {
    // Without its own port open the library holds none (the service opens no other), so a
    // TXD could only fail; it is not even asked.
    if (use_ == PortUse::ChosenOnly && !chosenPortOpen_) return false;
    return line_.TXD(level) != 0;
}

unsigned KeepAlive::Tick() {
    if (!LineHigh) {
        RetryChosenPort();
        const bool raised = Drive(1);
        LineHigh = true;
        events_.LineChanged(true, raised, pulsePort_);
        return kHighTimeMs;
    }
    const bool lowered = Drive(0);
    LineHigh = false;
    events_.LineChanged(false, lowered, pulsePort_);
    return kLowTimeMs;
}

unsigned KeepAlive::Resume() {
    // Asleep, the machine sent no pulse, and the circuit may be close to its reset. A sleep in
    // the middle of a pulse ends that pulse first, and the rise follows after a pulse's length
    // of low line, so that the circuit sees a whole new edge.
    const bool wasHigh = LineHigh;
    const unsigned next = Tick();
    return wasHigh ? kHighTimeMs : next;
}

void KeepAlive::LetGo() {
    if (!LineHigh) return;
    Drive(0);
    LineHigh = false;
}

}  // namespace kelvarid
