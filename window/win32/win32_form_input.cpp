// Clicks: hit-testing the windowless controls, the pointer over the web links, and the
// option buttons' clicks.
#include "window/win32/win32_form.h"

namespace kelvarid {

namespace {

bool TakesClicks(ControlKind kind) {
    return kind == ControlKind::Picture || kind == ControlKind::Label;
}

}  // namespace

int Win32Form::HitTest(POINT at) const {
    // Front to back: the last row drawn is the first to take the click.
    for (int index = kControlCount - 1; index >= 0; --index) {
        const ControlRow& row = kForm1Controls[index];
        const Control& control = controls_[index];
        if (!TakesClicks(row.kind) || !control.visible) continue;
        if (PtInRect(&control.pixels, at)) return index;
    }
    return -1;
}

void Win32Form::OnLButtonDown(POINT at) {
    pressed_ = HitTest(at);
    if (pressed_ >= 0) SetCapture(window_.get());
}

void Win32Form::OnLButtonUp(POINT at) {
    const int pressed = pressed_;
    pressed_ = -1;
    if (pressed < 0) return;
    ReleaseCapture();
    // A click is a press and a release on the same control.
    if (HitTest(at) != pressed || events_ == nullptr) return;
    events_->Click(kForm1Controls[pressed].id);
}

bool Win32Form::OnSetCursor(LPARAM lParam) {
    if (LOWORD(lParam) != HTCLIENT) return false;
    POINT at;
    if (!GetCursorPos(&at) || !ScreenToClient(window_.get(), &at)) return false;
    const int hit = HitTest(at);
    if (hit < 0 || kForm1Controls[hit].pointer != Pointer::UpArrow) return false;
    SetCursor(LoadCursorW(nullptr, IDC_UPARROW));
    return true;
}

void Win32Form::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (HIWORD(wParam) != BN_CLICKED || lParam == 0 || events_ == nullptr) return;
    const int index = LOWORD(wParam) - kControlIdBase;
    if (index < 0 || index >= kControlCount) return;
    const ControlRow& row = kForm1Controls[index];
    if (row.kind != ControlKind::OptionButton) return;
    // One group, one selection, made here rather than left to the buttons: an automatic radio
    // button leaves a disabled sibling checked, and one that takes the keyboard focus reports
    // its click before it is checked. The handler then sees exactly the choice the user made.
    for (const ControlRow& other : kForm1Controls) {
        if (other.kind != ControlKind::OptionButton) continue;
        SendMessageW(state(other.id).window, BM_SETCHECK, other.id == row.id ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    events_->Click(row.id);
}

}  // namespace kelvarid
