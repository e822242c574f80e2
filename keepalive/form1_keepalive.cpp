// Start-up, port selection and the pulses on the TXD line.
#include "keepalive/port_table.h"
#include "keepalive/pulse.h"
#include "window/form1.h"
#include "window/texts.h"

namespace kelvarid {

void Form1::Form_Load() {
    window_.SetLeft(0);
    window_.SetTop(0);
    // Probe every port once; a port that will not open is greyed out until it opens later as
    // the chosen one. Nothing is closed between probes: the library keeps the last port that
    // opened.
    for (const PortEntry& port : kPorts) {
        if (line_.OPENCOM(port.settings) == 0) window_.SetEnabled(port.option, false);
    }
    ApplyPortSelection();
}

void Form1::Form_Unload() {
    // The port is let go when the program ends: never with its line raised.
    if (!LineHigh) return;
    line_.TXD(0);
    LineHigh = false;
}

void Form1::ApplyPortSelection() {
    // Every button is examined, not only up to the first selected one.
    for (int index = 0; index < static_cast<int>(kPorts.size()); ++index) {
        const PortEntry& port = kPorts[index];
        if (!window_.IsSelected(port.option)) continue;
        chosenPort_ = index;
        chosenPortOpen_ = line_.OPENCOM(port.settings) != 0;
        if (chosenPortOpen_) {
            window_.ShowMessageBox(port.opened, texts::kPortBoxTitle, MessageIcon::Information);
        } else {
            window_.ShowMessageBox(port.notOpened, texts::kPortBoxTitle, MessageIcon::Warning);
        }
    }
}

void Form1::Option1_Click() { ApplyPortSelection(); }
void Form1::Option2_Click() { ApplyPortSelection(); }
void Form1::Option3_Click() { ApplyPortSelection(); }
void Form1::Option4_Click() { ApplyPortSelection(); }

void Form1::RetryChosenPort() {
    if (chosenPort_ < 0 || chosenPortOpen_) return;
    const PortEntry& port = kPorts[chosenPort_];
    // Until it opens, the library keeps the port that opened last, and the pulses go there.
    if (line_.OPENCOM(port.settings) == 0) return;
    chosenPortOpen_ = true;
    window_.SetEnabled(port.option, true);
}

void Form1::ShowLineLevel(bool txdWorked) {
    // A red square and "chyba" until the next TXD call: a failed pulse never looks good.
    if (txdWorked != txdWorked_) {
        window_.SetColour(ControlId::Image2, txdWorked ? kBlack : kRed);
        txdWorked_ = txdWorked;
    }
    window_.SetVisible(ControlId::Image2, !txdWorked || !LineHigh);
    if (!txdWorked) {
        window_.SetCaption(ControlId::Label10, texts::kLineFailed);
        return;
    }
    window_.SetCaption(ControlId::Label10, LineHigh ? texts::kLineHigh : texts::kLineLow);
}

void Form1::Timer1_Timer() {
    if (!LineHigh) {
        RetryChosenPort();
        const bool raised = line_.TXD(1) != 0;
        LineHigh = true;
        ShowLineLevel(raised);
        window_.SetInterval(ControlId::Timer1, kHighTimeMs);
        return;
    }
    const bool lowered = line_.TXD(0) != 0;
    LineHigh = false;
    ShowLineLevel(lowered);
    window_.SetInterval(ControlId::Timer1, kLowTimeMs);
}

void Form1::Form_Resume() {
    // Asleep, the machine sent no pulse, and the circuit may be close to its reset: the tick
    // comes now. A sleep in the middle of a pulse ends that pulse first, and the rise follows
    // after a pulse's length of low line, so that the circuit sees a whole new edge.
    const bool wasHigh = LineHigh;
    Timer1_Timer();
    if (wasHigh) window_.SetInterval(ControlId::Timer1, kHighTimeMs);
}

}  // namespace kelvarid
