#include "window/form1_display.h"

#include "window/form1_ports.h"
#include "window/texts.h"

namespace kelvarid {

void Form1Display::PortProbed(int port, bool opened) {
    // Greyed out until it opens later as the chosen one.
    if (!opened) window_.SetEnabled(kPortOptions[port], false);
}

void Form1Display::PortChosen(int port, bool opened, int) {
    if (opened) {
        window_.ShowMessageBox(texts::PortOpened(kPortNames[port]), texts::kPortBoxTitle, MessageIcon::Information);
        return;
    }
    window_.ShowMessageBox(texts::PortNotOpened(kPortNames[port]), texts::kPortBoxTitle, MessageIcon::Warning);
}

void Form1Display::ChosenPortOpenedLater(int port) { window_.SetEnabled(kPortOptions[port], true); }

void Form1Display::LineChanged(bool high, bool worked, int) {
    // A red square and "chyba" until the next TXD call: a failed pulse never looks good.
    if (worked != txdWorked_) {
        window_.SetColour(ControlId::Image2, worked ? kBlack : kRed);
        txdWorked_ = worked;
    }
    window_.SetVisible(ControlId::Image2, !worked || !high);
    if (!worked) {
        window_.SetCaption(ControlId::Label10, texts::kLineFailed);
        return;
    }
    window_.SetCaption(ControlId::Label10, high ? texts::kLineHigh : texts::kLineLow);
}

}  // namespace kelvarid
