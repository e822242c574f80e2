// The message loop, the window's messages and the timers.
#include "window/win32/win32_form.h"

#include <windowsx.h>

#include "platform/fatal.h"
#include "window/texts.h"

namespace kelvarid {

namespace {

constexpr UINT_PTR kTimerIdBase = 1;
constexpr UINT_PTR kPollTimerId = 1000;  // beyond the controls' timers

}  // namespace

void Win32Form::StartTimers() {
    for (const ControlRow& row : kForm1Controls) {
        if (row.kind == ControlKind::Timer) SetInterval(row.id, row.intervalMs);
    }
}

int Win32Form::Run(FormEvents& events) {
    Attach(events);
    events.Load();
    ShowWindow(window_.get(), SW_SHOWNORMAL);
    UpdateWindow(window_.get());  // not drawn now: the next paint tries again
    SetForegroundWindow(window_.get());
    FocusFirstEnabledOption();

    MSG message;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(message.wParam);
        if (got == -1) FatalWithLastError(texts::kMessagesUnreadable);
        // The dialog keys: Tab and the arrows move the focus between the option buttons.
        if (IsDialogMessageW(window_.get(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Win32Form::PollEvery(unsigned milliseconds, Poll poll, void* context) {
    poll_ = poll;
    pollContext_ = context;
    if (SetTimer(window_.get(), kPollTimerId, milliseconds, nullptr) == 0) FatalWithLastError(texts::kTimerNotSet);
}

void Win32Form::FocusFirstEnabledOption() {
    for (const ControlRow& row : kForm1Controls) {
        if (row.kind != ControlKind::OptionButton) continue;
        HWND button = state(row.id).window;
        if (!IsWindowEnabled(button)) continue;
        SetFocus(button);
        return;
    }
}

void Win32Form::SetInterval(ControlId timer, unsigned milliseconds) {
    // Setting a running timer again restarts its countdown from now.
    if (SetTimer(window_.get(), kTimerIdBase + IndexOf(timer), milliseconds, nullptr) == 0) {
        FatalWithLastError(texts::kTimerNotSet);
    }
}

// --- Messages --------------------------------------------------------------------------

LRESULT CALLBACK Win32Form::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return self->OnMessage(window, message, wParam, lParam);
}

LRESULT Win32Form::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: OnPaint(); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT fills the whole area itself
    case WM_MOUSEMOVE:
        if (tooltips_ == nullptr) CreateTooltips();
        break;
    case WM_LBUTTONDOWN: OnLButtonDown(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}); return 0;
    case WM_LBUTTONUP: OnLButtonUp(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}); return 0;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == window && OnSetCursor(lParam)) return TRUE;
        break;
    case WM_COMMAND: OnCommand(wParam, lParam); return 0;
    case WM_CTLCOLORSTATIC: return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_TIMER: OnTimer(wParam); return 0;
    case WM_POWERBROADCAST:
        // Sent once on every wake, whether or not a person is there.
        if (wParam == PBT_APMRESUMEAUTOMATIC && events_ != nullptr) events_->Resume();
        return TRUE;
    // Only "Quit !" ends the program: not Alt+F4, not a close from the task bar or taskkill.
    case WM_CLOSE: return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) return 0;
        break;
    case WM_ENDSESSION:
        if (wParam != FALSE && events_ != nullptr) events_->Unload();
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        (void)window_.release();  // the window is gone: nothing left to destroy
        PostQuitMessage(0);
        break;
    default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Win32Form::OnTimer(WPARAM timerId) {
    if (timerId == kPollTimerId) {
        if (poll_ != nullptr) poll_(pollContext_);
        return;
    }
    const int index = static_cast<int>(timerId - kTimerIdBase);
    if (index < 0 || index >= kControlCount || events_ == nullptr) return;
    if (kForm1Controls[index].kind != ControlKind::Timer) return;
    events_->Timer(kForm1Controls[index].id);
}

}  // namespace kelvarid
