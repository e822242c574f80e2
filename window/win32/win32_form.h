// The window runtime: builds Form1 from its description, raises its events and carries out
// what the handlers ask of the window. Its parts: win32_form.cpp (creation, properties),
// win32_form_paint.cpp, win32_form_input.cpp (clicks, pointer), win32_form_tooltips.cpp and
// win32_form_loop.cpp (message loop, messages, timers).
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "platform/handles.h"
#include "window/form1_layout.h"
#include "window/form_window.h"

namespace kelvarid {

class Win32Form final : public FormWindow {
public:
    // Creates the window hidden, with all its controls; the timers run from here on.
    explicit Win32Form(HINSTANCE instance);
    Win32Form(const Win32Form&) = delete;
    Win32Form& operator=(const Win32Form&) = delete;

    // Raises Load, shows the window, then dispatches events until the window is destroyed.
    int Run(FormEvents& events);
    // `poll(context)` every `milliseconds`, also while a message box waits: for what comes
    // from outside the window (an installer's request).
    using Poll = void (*)(void* context);
    void PollEvery(unsigned milliseconds, Poll poll, void* context);
    // Where the window's events go from now on; Run does this first.
    void Attach(FormEvents& events) { events_ = &events; }

    HWND Handle() const { return window_.get(); }

    void SetLeft(int twips) override;
    void SetTop(int twips) override;
    void SetWidth(int twips) override;
    void SetHeight(int twips) override;
    void SetEnabled(ControlId control, bool enabled) override;
    bool IsSelected(ControlId control) override;
    void SetVisible(ControlId control, bool visible) override;
    void SetColour(ControlId picture, Colour colour) override;
    void SetCaption(ControlId control, std::wstring_view caption) override;
    void SetTooltip(ControlId control, std::wstring_view tooltip) override;
    void SetInterval(ControlId timer, unsigned milliseconds) override;
    void ShowMessageBox(std::wstring_view text, std::wstring_view title, MessageIcon icon) override;
    void EndProgram() override;

private:
    // The option buttons' child window ids: clear of IDOK and IDCANCEL, which the dialog keys send.
    static constexpr int kControlIdBase = 100;

    struct Control {
        bool visible = true;
        Colour colour = kBlack;  // a picture's fill
        std::wstring caption;
        std::wstring tooltip;
        bool hasTool = false;
        RECT pixels{};
        HWND window = nullptr;  // option buttons only; the form destroys them
        UniqueFont font;        // none: the windowing system's default font
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    void OnLButtonDown(POINT at);
    void OnLButtonUp(POINT at);
    bool OnSetCursor(LPARAM lParam);
    void OnCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnCtlColorStatic(HDC dc, HWND child);
    void OnTimer(WPARAM timerId);

    void CreateWindowFrame(HINSTANCE instance);
    void CreateControls(HINSTANCE instance);
    void CreateOptionButton(HINSTANCE instance, const ControlRow& row, bool firstOfGroup);
    void CreateFontOf(const ControlRow& row);
    void CreateTooltips();
    void AddOrUpdateTool(ControlId control);
    void StartTimers();
    void PlaceWindow();
    void FocusFirstEnabledOption();
    void Redraw(ControlId control);

    void Paint(HDC dc, const RECT& area) const;
    void PaintPicture(HDC dc, ControlId id) const;
    void PaintLine(HDC dc, ControlId id) const;
    void PaintLabel(HDC dc, ControlId id) const;
    int HitTest(POINT at) const;  // index of the windowless control under the point, or -1
    HFONT FontOf(ControlId id) const;

    Control& state(ControlId id) { return controls_[IndexOf(id)]; }
    const Control& state(ControlId id) const { return controls_[IndexOf(id)]; }
    int Pixels(int twips) const;

    FormEvents* events_ = nullptr;
    int dpi_ = 96;
    TwipsRect bounds_;
    UniqueBrush background_;
    std::array<Control, kControlCount> controls_;  // outlives the window that draws with it
    UniqueModule commonControls_;  // outlives the tooltips it draws
    UniqueWindow window_;
    Poll poll_ = nullptr;
    void* pollContext_ = nullptr;
    HWND tooltips_ = nullptr;  // owned by the form window; made at the first mouse move
    int pressed_ = -1;  // the control a left button press began on
};

}  // namespace kelvarid
