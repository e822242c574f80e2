#include "service/service_pulses.h"

#include "keepalive/pulse.h"

namespace kelvarid {

void ServiceReport::PortChosen(int port, bool opened, int pulsePort) {
    log_.Report(ServiceEvent::Started, PortName(pulsePort), {});
    if (!opened) log_.Report(ServiceEvent::PortNotOpened, PortName(port), PortName(pulsePort));
}

void ServiceReport::ChosenPortOpenedLater(int port) { log_.Report(ServiceEvent::PortOpenedLater, PortName(port), {}); }

void ServiceReport::LineChanged(bool, bool worked, int pulsePort) {
    if (worked == txdWorked_) return;
    txdWorked_ = worked;
    log_.Report(worked ? ServiceEvent::PulsesWorkAgain : ServiceEvent::PulseFailed, PortName(pulsePort), {});
}

void ServicePulses::Start() {
    timer1_.Start(kFirstTickMs);
    keepAlive_.ProbePorts();
    keepAlive_.ChoosePort(port_);
}

}  // namespace kelvarid
