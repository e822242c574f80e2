#include "service/service_pulses.h"

#include "keepalive/pulse.h"

namespace kelvarid {

void ServiceReport::PortChosen(int port, bool opened, int pulsePort) {
    log_.Started(PortName(pulsePort));
    if (!opened && port != kNoPort) log_.PortNotOpened(PortName(port));
}

void ServiceReport::ChosenPortOpenedLater(int port) { log_.PortOpenedLater(PortName(port)); }

void ServiceReport::LineChanged(bool, bool worked, int pulsePort) {
    if (worked == txdWorked_) return;
    txdWorked_ = worked;
    if (worked) log_.PulsesWorkAgain(PortName(pulsePort));
    else log_.PulseFailed(PortName(pulsePort));
}

void ServicePulses::Tick() { Edge(Step::Tick); }

void ServicePulses::Resume() { Edge(Step::Resume); }

void ServicePulses::Edge(Step step) {
    if (held_) return;
    const bool rising = !keepAlive_.IsLineHigh();
    const RiseAnswer answer = rising ? guard_.AtRise() : RiseAnswer::Raise;
    if (answer == RiseAnswer::Hold) {
        held_ = true;  // the line stays low and Timer1 stops: no edge comes any more in this run
        return;
    }
    if (answer == RiseAnswer::LeaveOut) {
        // This pulse left out, the next one due as ever; a wake leaves Timer1 on its schedule.
        if (step == Step::Tick) timer1_.Start(kHighTimeMs + kLowTimeMs);
        return;
    }
    timer1_.Start(step == Step::Tick ? keepAlive_.Tick() : keepAlive_.Resume());
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
