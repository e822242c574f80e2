// Form1 without a window, for the service: the controls keep their state only, the option
// button of the configured port is the selected one, Timer1 is a countdown the service's
// thread waits on, and what the window would show the user becomes an entry in a log.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "window/form_window.h"

namespace kelvarid {

// What the service reports about the keep-alive.
enum class ServiceEvent {
    Started,          // port: where the pulses go now ("" when no port opened)
    PortNotOpened,    // port: the configured one; other: where the pulses go until it opens
    PortOpenedLater,  // port: the configured one, which takes the pulses from now on
    PulseFailed,      // port: where the failed pulse went; reported once until one works
    PulsesWorkAgain,  // port: where the pulses go
};

class ServiceLog {
public:
    virtual ~ServiceLog() = default;
    virtual void Report(ServiceEvent event, std::wstring_view port, std::wstring_view other) = 0;
};

// Timer1: a single countdown; starting it again replaces the one that runs.
class Countdown {
public:
    virtual ~Countdown() = default;
    virtual void Start(unsigned milliseconds) = 0;
};

// "COM1" for index 0.
std::wstring PortName(int portIndex);

class HeadlessForm final : public FormWindow {
public:
    HeadlessForm(int portIndex, ServiceLog& log, Countdown& timer1);

    // Starts Timer1 as the window does when it is made, before Load.
    void StartTimers();
    // True once a handler asked the program to end.
    bool EndRequested() const { return endRequested_; }
    // "COM2": where the pulses go now, as far as the handlers have said; "" for none.
    std::wstring PulsePortName() const;

    void SetLeft(int) override {}
    void SetTop(int) override {}
    void SetWidth(int) override {}
    void SetHeight(int) override {}
    void SetEnabled(ControlId control, bool enabled) override;
    bool IsSelected(ControlId control) override;
    void SetVisible(ControlId control, bool visible) override;
    void SetColour(ControlId picture, Colour colour) override;
    void SetCaption(ControlId control, std::wstring_view caption) override;
    void SetTooltip(ControlId control, std::wstring_view tooltip) override;
    void SetInterval(ControlId timer, unsigned milliseconds) override;
    void ShowMessageBox(std::wstring_view text, std::wstring_view title, MessageIcon icon) override;
    void EndProgram() override { endRequested_ = true; }

    bool IsEnabled(ControlId control) const { return controls_[IndexOf(control)].enabled; }
    Colour ColourOf(ControlId control) const { return controls_[IndexOf(control)].colour; }
    const std::wstring& CaptionOf(ControlId control) const { return controls_[IndexOf(control)].caption; }

private:
    struct Control {
        bool enabled = true;
        bool visible = true;
        Colour colour = kBlack;
        std::wstring caption;
        std::wstring tooltip;
    };

    // The port the library holds after a failed selection: the last one that opened at the
    // start-up probe, which is the highest-numbered port still enabled; -1 when none did.
    int FallbackPort() const;

    int portIndex_;
    ServiceLog& log_;
    Countdown& timer1_;
    std::array<Control, kControlCount> controls_{};
    int pulsePort_ = -1;      // where the pulses go, as far as the handlers have said
    bool started_ = false;    // the start-up selection has been reported
    bool endRequested_ = false;
};

}  // namespace kelvarid
