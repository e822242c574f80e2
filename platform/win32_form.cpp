#include "platform/win32_form.h"

#include <commctrl.h>
#include <windowsx.h>

#include "platform/fatal.h"
#include "platform/system_library.h"
#include "window/twips.h"

namespace kelvarid {

namespace {

constexpr wchar_t kWindowClass[] = L"KelvaridForm";
constexpr int kIconResource = 1;
constexpr UINT_PTR kTimerIdBase = 1;
constexpr int kControlIdBase = 100;  // clear of IDOK and IDCANCEL, which the dialog keys send

bool IsWindowless(ControlKind kind) {
    return kind == ControlKind::Picture || kind == ControlKind::Line || kind == ControlKind::Label;
}

bool TakesClicks(ControlKind kind) {
    return kind == ControlKind::Picture || kind == ControlKind::Label;
}

// The option buttons are made, and take the focus, in the order the table lists them: that
// order must be their tab order.
constexpr bool OptionButtonsListedInTabOrder() {
    int previous = kNoTabStop;
    for (const ControlRow& row : kForm1Controls) {
        if (row.kind != ControlKind::OptionButton) continue;
        if (row.tabIndex <= previous) return false;
        previous = row.tabIndex;
    }
    return true;
}
static_assert(OptionButtonsListedInTabOrder(), "kForm1Controls must list the option buttons in tab order");

UINT DrawTextFlags(TextFit fit) {
    switch (fit) {
    case TextFit::AutoSize: return DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP;
    case TextFit::Clip: return DT_SINGLELINE | DT_NOPREFIX;
    case TextFit::Wrap: return DT_WORDBREAK | DT_NOPREFIX;
    }
    return DT_NOPREFIX;
}

}  // namespace

// Only what the pulses cannot do without is fatal here: the window and its timer. What is
// only shown (fonts, the background, the screen's resolution) falls back to a default.
Win32Form::Win32Form(HINSTANCE instance)
    : bounds_{0, 0, kForm1.width, kForm1.height}, background_(CreateSolidBrush(kForm1.background)) {
    {
        const WindowDc screen(nullptr);
        if (screen) dpi_ = GetDeviceCaps(screen.get(), LOGPIXELSY);
    }
    CreateWindowFrame(instance);
    CreateControls(instance);
    StartTimers();
}

int Win32Form::Pixels(int twips) const { return TwipsToPixels(twips, dpi_); }

void Win32Form::CreateWindowFrame(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Win32Form::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background_.get();
    windowClass.lpszClassName = kWindowClass;
    if (RegisterClassExW(&windowClass) == 0) {
        FatalWithLastError(L"Okno programu nelze zaregistrovat.\nThe window class cannot be registered.");
    }

    // WS_POPUP alone: no border, no title bar, no system menu; outer size equals client size.
    HWND created = CreateWindowExW(0, kWindowClass, kForm1.caption, WS_POPUP | WS_CLIPCHILDREN,
                                   Pixels(bounds_.left), Pixels(bounds_.top), Pixels(bounds_.width),
                                   Pixels(bounds_.height), nullptr, nullptr, instance, this);
    if (created == nullptr) FatalWithLastError(L"Okno programu nelze vytvořit.\nThe window cannot be created.");
    window_.reset(created);
}

void Win32Form::CreateControls(HINSTANCE instance) {
    for (const ControlRow& row : kForm1Controls) {
        Control& control = state(row.id);
        control.visible = row.visible;
        control.colour = row.colour;
        control.caption = row.caption;
        control.tooltip = row.tooltip;
        control.pixels = PixelRectOf<RECT>(row.rect, dpi_);
        CreateFontOf(row);
    }
    // Windows take the keyboard focus in the order they were made: make the option buttons
    // in tab order, the first one opening their group.
    bool firstOfGroup = true;
    for (const ControlRow& row : kForm1Controls) {
        if (row.kind != ControlKind::OptionButton) continue;
        CreateOptionButton(instance, row, firstOfGroup);
        firstOfGroup = false;
    }
}

void Win32Form::CreateFontOf(const ControlRow& row) {
    if (row.font.face == nullptr) return;
    HFONT font = CreateFontW(-PointsToPixels(row.font.centipoints, dpi_), 0, 0, 0,
                             row.font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                             static_cast<DWORD>(row.font.charset), OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             row.font.face);
    state(row.id).font.reset(font);  // none made: the default font stands in
}

HFONT Win32Form::FontOf(ControlId id) const {
    const Control& control = state(id);
    if (control.font) return control.font.get();
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void Win32Form::CreateOptionButton(HINSTANCE instance, const ControlRow& row, bool firstOfGroup) {
    Control& control = state(row.id);
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON | (firstOfGroup ? WS_GROUP : 0);
    HWND button = CreateWindowExW(
        0, L"BUTTON", row.caption, style, control.pixels.left, control.pixels.top,
        control.pixels.right - control.pixels.left, control.pixels.bottom - control.pixels.top,
        window_.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlIdBase + IndexOf(row.id))),
        instance, nullptr);
    if (button == nullptr) {
        FatalWithLastError(std::wstring(L"Přepínač ") + row.name + L" nelze vytvořit.\nThe option button " + row.name +
                           L" cannot be created.");
    }
    control.window = button;
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(row.id)), FALSE);
    SendMessageW(button, BM_SETCHECK, row.selected ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32Form::CreateTooltips() {
    // Made when the mouse first comes over the window, not at start-up: a program that runs
    // for months unwatched need not carry the common controls until someone looks at it.
    // Tooltips are a help, never a reason to stop: what fails is tried again at the next move.
    if (!commonControls_) commonControls_.reset(LoadOptionalSystemLibrary(L"comctl32.dll"));
    if (!commonControls_) return;
    using InitFn = decltype(&::InitCommonControlsEx);
    const auto init = reinterpret_cast<InitFn>(
        reinterpret_cast<void*>(GetProcAddress(commonControls_.get(), "InitCommonControlsEx")));
    const INITCOMMONCONTROLSEX common{sizeof common, ICC_WIN95_CLASSES};
    if (init == nullptr || !init(&common)) return;
    tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, window_.get(), nullptr,
                                reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_.get(), GWLP_HINSTANCE)),
                                nullptr);
    if (tooltips_ == nullptr) return;
    for (const ControlRow& row : kForm1Controls) {
        if (!state(row.id).tooltip.empty()) AddOrUpdateTool(row.id);
    }
}

void Win32Form::AddOrUpdateTool(ControlId id) {
    Control& control = state(id);
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every version of the common controls
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = window_.get();
    tool.uId = static_cast<UINT_PTR>(IndexOf(id));
    tool.rect = control.pixels;
    tool.lpszText = control.tooltip.data();
    if (control.hasTool) {
        SendMessageW(tooltips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
        return;
    }
    // A tooltip that cannot be added is left out; the next SetTooltip tries again.
    control.hasTool = SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != FALSE;
}

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
        if (got == -1) FatalWithLastError(L"Zprávy okna nelze číst.\nThe window's messages cannot be read.");
        // The dialog keys: Tab and the arrows move the focus between the option buttons.
        if (IsDialogMessageW(window_.get(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
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

// --- What the handlers ask of the window -------------------------------------------------

void Win32Form::PlaceWindow() {
    // The bounds are kept whatever happens: a move that fails now is made with the next one.
    SetWindowPos(window_.get(), nullptr, Pixels(bounds_.left), Pixels(bounds_.top), Pixels(bounds_.width),
                 Pixels(bounds_.height), SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Form::SetLeft(int twips) {
    bounds_.left = twips;
    PlaceWindow();
}

void Win32Form::SetTop(int twips) {
    bounds_.top = twips;
    PlaceWindow();
}

void Win32Form::SetWidth(int twips) {
    bounds_.width = twips;
    PlaceWindow();
}

void Win32Form::SetHeight(int twips) {
    bounds_.height = twips;
    PlaceWindow();
}

void Win32Form::SetEnabled(ControlId control, bool enabled) {
    HWND button = state(control).window;
    if (button == nullptr) return;  // only option buttons are windows
    EnableWindow(button, enabled ? TRUE : FALSE);
}

bool Win32Form::IsSelected(ControlId control) {
    HWND button = state(control).window;
    if (button == nullptr) return false;  // only option buttons are selected
    return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32Form::SetVisible(ControlId control, bool visible) {
    state(control).visible = visible;
    Redraw(control);
}

void Win32Form::SetColour(ControlId picture, Colour colour) {
    state(picture).colour = colour;
    Redraw(picture);
}

void Win32Form::SetCaption(ControlId control, std::wstring_view caption) {
    Redraw(control);  // where the old caption was
    state(control).caption = caption;
    Redraw(control);
}

void Win32Form::SetTooltip(ControlId control, std::wstring_view tooltip) {
    state(control).tooltip = tooltip;
    if (tooltips_ != nullptr) AddOrUpdateTool(control);  // otherwise added with the others
}

void Win32Form::SetInterval(ControlId timer, unsigned milliseconds) {
    // Setting a running timer again restarts its countdown from now.
    if (SetTimer(window_.get(), kTimerIdBase + IndexOf(timer), milliseconds, nullptr) == 0) {
        FatalWithLastError(L"Časovač nelze nastavit.\nThe timer cannot be set.");
    }
}

void Win32Form::ShowMessageBox(std::wstring_view text, std::wstring_view title, MessageIcon icon) {
    const std::wstring textCopy(text);
    const std::wstring titleCopy(title);
    const UINT iconFlag = icon == MessageIcon::Warning ? MB_ICONWARNING : MB_ICONINFORMATION;
    // The box's own wait dispatches the window's messages, so the timer goes on ticking.
    // A box that cannot be shown is left out: the pulses matter more than the news.
    MessageBoxW(window_.get(), textCopy.c_str(), titleCopy.c_str(), MB_OK | iconFlag);
}

void Win32Form::EndProgram() { ExitProcess(0); }

void Win32Form::Redraw(ControlId control) {
    const ControlRow& row = RowOf(control);
    RECT area = state(control).pixels;
    if (row.kind == ControlKind::Label && row.fit == TextFit::AutoSize) {
        // The text may run past its rectangle: measure what it covers.
        const WindowDc dc(window_.get());
        if (!dc) {
            InvalidateRect(window_.get(), nullptr, TRUE);  // not measured: all of it is drawn again
            return;
        }
        const Selected font(dc.get(), FontOf(control));
        RECT text = area;
        DrawTextW(dc.get(), state(control).caption.c_str(), -1, &text, DrawTextFlags(row.fit) | DT_CALCRECT);
        UnionRect(&area, &area, &text);
    }
    InvalidateRect(window_.get(), &area, TRUE);
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

void Win32Form::OnPaint() {
    PAINTSTRUCT paint;
    HDC target = BeginPaint(window_.get(), &paint);
    if (target == nullptr) return;  // the area stays invalid: the next paint tries again
    const RECT& area = paint.rcPaint;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    // Draw off screen first, so that a blinking square never flickers.
    const MemoryDc canvas(target);
    const UniqueBitmap buffer(CreateCompatibleBitmap(target, width > 0 ? width : 1, height > 0 ? height : 1));
    if (!canvas || !buffer) {
        EndPaint(window_.get(), &paint);
        InvalidateRect(window_.get(), &area, FALSE);  // not drawn: the next paint tries again
        return;
    }
    {
        const Selected selected(canvas.get(), buffer.get());
        SetViewportOrgEx(canvas.get(), -area.left, -area.top, nullptr);
        Paint(canvas.get(), area);
        SetViewportOrgEx(canvas.get(), 0, 0, nullptr);
        BitBlt(target, area.left, area.top, width, height, canvas.get(), 0, 0, SRCCOPY);
    }
    EndPaint(window_.get(), &paint);
}

void Win32Form::Paint(HDC dc, const RECT& area) const {
    if (background_) {
        FillRect(dc, &area, background_.get());
    } else {
        SetDCBrushColor(dc, kForm1.background);
        FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    }
    // Back to front: the table is in stacking order.
    for (const ControlRow& row : kForm1Controls) {
        if (!IsWindowless(row.kind) || !state(row.id).visible) continue;
        if (row.kind == ControlKind::Picture) PaintPicture(dc, row.id);
        if (row.kind == ControlKind::Line) PaintLine(dc, row.id);
        if (row.kind == ControlKind::Label) PaintLabel(dc, row.id);
    }
}

void Win32Form::PaintPicture(HDC dc, ControlId id) const {
    // The pictures are solid squares of their colour.
    const Control& control = state(id);
    SetDCBrushColor(dc, control.colour);
    FillRect(dc, &control.pixels, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void Win32Form::PaintLine(HDC dc, ControlId id) const {
    const ControlRow& row = RowOf(id);
    const UniquePen pen(CreatePen(PS_SOLID, 1, row.colour));
    if (!pen) return;
    const Selected selected(dc, pen.get());
    const int x1 = Pixels(row.line.x1), y1 = Pixels(row.line.y1);
    const int x2 = Pixels(row.line.x2), y2 = Pixels(row.line.y2);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SetPixelV(dc, x2, y2, row.colour);  // LineTo leaves out the last point
}

void Win32Form::PaintLabel(HDC dc, ControlId id) const {
    const ControlRow& row = RowOf(id);
    const Control& control = state(id);
    const Selected font(dc, FontOf(id));
    SetTextColor(dc, row.colour);
    SetBkMode(dc, TRANSPARENT);  // only the text is drawn: what lies under it stays visible
    RECT box = control.pixels;
    DrawTextW(dc, control.caption.c_str(), -1, &box, DrawTextFlags(row.fit));
}

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

LRESULT Win32Form::OnCtlColorStatic(HDC dc, HWND child) {
    for (const ControlRow& row : kForm1Controls) {
        if (state(row.id).window != child) continue;
        SetTextColor(dc, row.colour);
        SetBkColor(dc, kForm1.background);
        return reinterpret_cast<LRESULT>(background_.get());
    }
    return DefWindowProcW(window_.get(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child));
}

void Win32Form::OnTimer(WPARAM timerId) {
    const int index = static_cast<int>(timerId - kTimerIdBase);
    if (index < 0 || index >= kControlCount || events_ == nullptr) return;
    if (kForm1Controls[index].kind != ControlKind::Timer) return;
    events_->Timer(kForm1Controls[index].id);
}

}  // namespace kelvarid
