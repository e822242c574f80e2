#include "platform/headless_form.h"

#include "keepalive/port_table.h"
#include "window/form1_layout.h"

namespace kelvarid {

namespace {

// The port whose option button this is; -1 for any other control.
int PortOfOption(ControlId control) {
    for (int index = 0; index < static_cast<int>(kPorts.size()); ++index) {
        if (kPorts[index].option == control) return index;
    }
    return -1;
}

}  // namespace

std::wstring PortName(int portIndex) {
    if (portIndex < 0) return std::wstring();
    return L"COM" + std::wstring(1, static_cast<wchar_t>(L'1' + portIndex));
}

HeadlessForm::HeadlessForm(int portIndex, ServiceLog& log, Countdown& timer1)
    : portIndex_(portIndex), log_(log), timer1_(timer1) {
    for (const ControlRow& row : kForm1Controls) {
        Control& control = controls_[IndexOf(row.id)];
        control.visible = row.visible;
        control.colour = row.colour;
        control.caption = row.caption;
        control.tooltip = row.tooltip;
    }
}

void HeadlessForm::StartTimers() {
    for (const ControlRow& row : kForm1Controls) {
        if (row.kind == ControlKind::Timer) SetInterval(row.id, row.intervalMs);
    }
}

void HeadlessForm::SetEnabled(ControlId control, bool enabled) {
    Control& state = controls_[IndexOf(control)];
    // Form1 enables the configured port's button when a retry at a rise has opened it; the
    // button may never have been greyed out (it opened at the probe, then not for the selection).
    const bool cameLater = enabled && started_ && pulsePort_ != portIndex_ && PortOfOption(control) == portIndex_;
    state.enabled = enabled;
    if (!cameLater) return;
    pulsePort_ = portIndex_;
    log_.Report(ServiceEvent::PortOpenedLater, PortName(portIndex_), {});
}

bool HeadlessForm::IsSelected(ControlId control) { return PortOfOption(control) == portIndex_; }

void HeadlessForm::SetVisible(ControlId control, bool visible) { controls_[IndexOf(control)].visible = visible; }

void HeadlessForm::SetColour(ControlId picture, Colour colour) {
    Control& state = controls_[IndexOf(picture)];
    const bool changed = state.colour != colour;
    state.colour = colour;
    // Image2 turns red at the first failed TXD call of a run and black at the first that works.
    if (picture != ControlId::Image2 || !changed) return;
    if (colour == kRed) log_.Report(ServiceEvent::PulseFailed, PulsePortName(), {});
    if (colour == kBlack) log_.Report(ServiceEvent::PulsesWorkAgain, PulsePortName(), {});
}

void HeadlessForm::SetCaption(ControlId control, std::wstring_view caption) {
    controls_[IndexOf(control)].caption = caption;
}

void HeadlessForm::SetTooltip(ControlId control, std::wstring_view tooltip) {
    controls_[IndexOf(control)].tooltip = tooltip;
}

void HeadlessForm::SetInterval(ControlId timer, unsigned milliseconds) {
    if (timer == ControlId::Timer1) timer1_.Start(milliseconds);
}

void HeadlessForm::ShowMessageBox(std::wstring_view, std::wstring_view, MessageIcon icon) {
    // The only boxes the keep-alive shows are the result of selecting the configured port:
    // confirmed, or a warning that it could not be opened.
    started_ = true;
    if (icon == MessageIcon::Information) {
        pulsePort_ = portIndex_;
        log_.Report(ServiceEvent::Started, PulsePortName(), {});
        return;
    }
    pulsePort_ = FallbackPort();
    log_.Report(ServiceEvent::Started, PulsePortName(), {});
    log_.Report(ServiceEvent::PortNotOpened, PortName(portIndex_), PulsePortName());
}

int HeadlessForm::FallbackPort() const {
    for (int index = static_cast<int>(kPorts.size()) - 1; index >= 0; --index) {
        if (controls_[IndexOf(kPorts[index].option)].enabled) return index;
    }
    return -1;
}

std::wstring HeadlessForm::PulsePortName() const { return PortName(pulsePort_); }

}  // namespace kelvarid
