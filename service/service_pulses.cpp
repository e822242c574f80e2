#include "service/service_pulses.h"

#include "keepalive/pulse.h"

namespace kelvarid {

void ServiceReport::PortChosen(int port, bool opened, int pulsePort) {
    log_.Report(ServiceEvent::Started, PortName(pulsePort));
    if (!opened) log_.Report(ServiceEvent::PortNotOpened, PortName(port));
}

void ServiceReport::ChosenPortOpenedLater(int port) { log_.Report(ServiceEvent::PortOpenedLater, PortName(port)); }

void ServiceReport::LineChanged(bool, bool worked, int pulsePort) {
    if (worked == txdWorked_) return;
    txdWorked_ = worked;
    log_.Report(worked ? ServiceEvent::PulsesWorkAgain : ServiceEvent::PulseFailed, PortName(pulsePort));
}

void ServicePulses::Tick() { Edge(&KeepAlive::Tick); }

void ServicePulses::Resume() { Edge(&KeepAlive::Resume); }

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
