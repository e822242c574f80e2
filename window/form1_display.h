// What the keep-alive reports, as the window shows it: a port that did not open at the probe
// greyed out, the box that follows a selection, a greyed-out port that came later enabled, and
// the square with the line's state under it.
#pragma once

#include "keepalive/keepalive_events.h"
#include "window/form_window.h"

namespace kelvarid {

class Form1Display final : public KeepAliveEvents {
public:
    explicit Form1Display(FormWindow& window) : window_(window) {}

    void PortProbed(int port, bool opened) override;
    void PortChosen(int port, bool opened, int pulsePort) override;
    void ChosenPortOpenedLater(int port) override;
    void LineChanged(bool high, bool worked, int pulsePort) override;

private:
    FormWindow& window_;
    bool txdWorked_ = true;  // the last TXD call's result; the square is red while false
};

}  // namespace kelvarid
