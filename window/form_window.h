// What the window offers its handlers: the properties they may read and change. The Win32
// runtime implements it for real; the tests implement it with recording fakes.
#pragma once

#include <string_view>

#include "window/form_types.h"

namespace kelvarid {

class FormWindow {
public:
    virtual ~FormWindow() = default;

    // The window itself, in twips.
    virtual void SetLeft(int twips) = 0;
    virtual void SetTop(int twips) = 0;
    virtual void SetWidth(int twips) = 0;
    virtual void SetHeight(int twips) = 0;

    // Controls.
    virtual void SetEnabled(ControlId control, bool enabled) = 0;
    virtual bool IsSelected(ControlId control) = 0;
    virtual void SetVisible(ControlId control, bool visible) = 0;
    // A picture's fill colour.
    virtual void SetColour(ControlId picture, Colour colour) = 0;
    virtual void SetCaption(ControlId control, std::wstring_view caption) = 0;
    virtual void SetTooltip(ControlId control, std::wstring_view tooltip) = 0;
    // Starts a new countdown of this length from now.
    virtual void SetInterval(ControlId timer, unsigned milliseconds) = 0;

    // Modal, owned by the window, one OK button; returns when the user closes it.
    virtual void ShowMessageBox(std::wstring_view text, std::wstring_view title, MessageIcon icon) = 0;

    // Ends the program at once: nothing more runs, nothing is cleaned up.
    virtual void EndProgram() = 0;
};

// The events the runtime raises on the window; Form1 handles them.
class FormEvents {
public:
    virtual ~FormEvents() = default;
    virtual void Load() = 0;
    // The program is about to end without "Quit !": the session ends, or a fatal error.
    virtual void Unload() = 0;
    virtual void Click(ControlId control) = 0;
    virtual void Timer(ControlId timer) = 0;
    // The machine woke from sleep.
    virtual void Resume() = 0;
};

// The system's shell: hands a web address to whatever handles web addresses.
class Shell {
public:
    virtual ~Shell() = default;
    // An 8-bit, NUL-terminated address. Whether a page opened is not reported.
    virtual void OpenWebPage(const char* address) = 0;
};

}  // namespace kelvarid
