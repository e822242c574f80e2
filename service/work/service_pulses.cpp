#include "service/work/service_pulses.h"

#include "keepalive/pulse.h"

namespace kelvarid {

void ServiceReport::PortChosen(int port, bool opened, int pulsePort) {
    log_.Started(PortName(pulsePort));
    if (!opened) log_.PortNotOpened(PortName(port));
}

void ServiceReport::ChosenPortOpenedLater(int port) { log_.PortOpenedLater(PortName(port)); }

void ServiceReport::LineChanged(bool, bool worked, int pulsePort) {
    if (worked == txdWorked_) return;
    txdWorked_ = worked;
    if (worked) log_.PulsesWorkAgain(PortName(pulsePort));
    else log_.PulseFailed(PortName(pulsePort));
}

void ServicePulses::Tick() {
    if (DrillHoldsRise()) {
        timer1_.Start(kHighTimeMs + kLowTimeMs);  // this pulse left out; the next one is due as ever
        return;
    }
    Edge(&KeepAlive::Tick);
}

void ServicePulses::Resume() {
    // Timer1 still runs on its schedule: a drill leaves it as it is.
    if (DrillHoldsRise()) return;
    Edge(&KeepAlive::Resume);
}

bool ServicePulses::DrillHoldsRise() {
    return !held_ && !keepAlive_.IsLineHigh() && guard_.Drilling();
}

void ServicePulses::Edge(unsigned (KeepAlive::*step)()) {
    if (held_) return;
    const bool rising = !keepAlive_.IsLineHigh();
    if (rising && !guard_.MayRaise()) {
        held_ = true;  // the line stays low and Timer1 stops: no edge comes any more in this run
        return;
    }
    timer1_.Start((keepAlive_.*step)());
    if (rising) {
        riseWorked_ = report_.LastEdgeWorked();
        return;
    }
    if (riseWorked_ && report_.LastEdgeWorked()) guard_.PulseEnded();
}

void ServicePulses::Start() {
    timer1_.Start(kFirstTickMs);
    keepAlive_.ChoosePort(port_);
}

}  // namespace kelvarid
