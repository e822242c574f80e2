// Form1's keep-alive handlers: they hand the start-up, the port buttons and Timer1 to the
// keep-alive, which drives the line and reports to Form1Display what the window shows.
#include "window/form1.h"
#include "window/form1_ports.h"

namespace kelvarid {

void Form1::Form_Load() {
    window_.SetLeft(0);
    window_.SetTop(0);
    keepAlive_.ProbePorts();
    ApplyPortSelection();
}

void Form1::Form_Unload() { keepAlive_.LetGo(); }

void Form1::ApplyPortSelection() {
    // Every button is examined, not only up to the first selected one.
    for (int port = 0; port < kPortCount; ++port) {
        if (window_.IsSelected(kPortOptions[port])) keepAlive_.ChoosePort(port);
    }
}

void Form1::Option1_Click() { ApplyPortSelection(); }
void Form1::Option2_Click() { ApplyPortSelection(); }
void Form1::Option3_Click() { ApplyPortSelection(); }
void Form1::Option4_Click() { ApplyPortSelection(); }

void Form1::Timer1_Timer() { window_.SetInterval(ControlId::Timer1, keepAlive_.Tick()); }

void Form1::Form_Resume() { window_.SetInterval(ControlId::Timer1, keepAlive_.Resume()); }

}  // namespace kelvarid
