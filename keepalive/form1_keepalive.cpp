// Start-up, port selection and the pulses on the TXD line.
#include "keepalive/port_table.h"
#include "keepalive/pulse.h"
#include "window/form1.h"

namespace kelvarid {

void Form1::Form_Load() {
    window_.SetLeft(0);
    window_.SetTop(0);
    // Probe every port once; a port that will not open can no longer be chosen. Nothing is
    // closed between probes: the library keeps the last port that opened.
    for (const PortEntry& port : kPorts) {
        if (line_.OPENCOM(port.settings) == 0) window_.SetEnabled(port.option, false);
    }
    ApplyPortSelection();
}

void Form1::ApplyPortSelection() {
    // Every button is examined, not only up to the first selected one.
    for (const PortEntry& port : kPorts) {
        if (!window_.IsSelected(port.option)) continue;
        if (line_.OPENCOM(port.settings) != 0) {
            window_.ShowMessageBox(port.opened, kPortBoxTitle, MessageIcon::Information);
        } else {
            window_.ShowMessageBox(port.notOpened, kPortBoxTitle, MessageIcon::Warning);
        }
    }
}

void Form1::Option1_Click() { ApplyPortSelection(); }
void Form1::Option2_Click() { ApplyPortSelection(); }
void Form1::Option3_Click() { ApplyPortSelection(); }
void Form1::Option4_Click() { ApplyPortSelection(); }

void Form1::Timer1_Timer() {
    if (!LineHigh) {
        line_.TXD(1);
        window_.SetVisible(ControlId::Image2, false);
        window_.SetCaption(ControlId::Label10, kLineHighCaption);
        LineHigh = true;
        window_.SetInterval(ControlId::Timer1, kHighTimeMs);
        return;
    }
    line_.TXD(0);
    window_.SetVisible(ControlId::Image2, true);
    window_.SetCaption(ControlId::Label10, kLineLowCaption);
    LineHigh = false;
    window_.SetInterval(ControlId::Timer1, kLowTimeMs);
}

}  // namespace kelvarid
