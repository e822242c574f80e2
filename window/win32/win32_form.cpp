// The window runtime's creation of Form1 from its description table, and the properties
// the handlers set on the window and its controls.
#include "window/win32/win32_form.h"

#include "platform/fatal.h"
#include "window/texts.h"
#include "window/twips.h"

namespace kelvarid {

namespace {

constexpr wchar_t kWindowClass[] = L"KelvaridForm";
constexpr int kIconResource = 1;

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
        FatalWithLastError(texts::kWindowClassNotRegistered);
    }

    // WS_POPUP alone: no border, no title bar, no system menu; outer size equals client size.
    HWND created = CreateWindowExW(0, kWindowClass, kForm1.caption, WS_POPUP | WS_CLIPCHILDREN,
                                   Pixels(bounds_.left), Pixels(bounds_.top), Pixels(bounds_.width),
                                   Pixels(bounds_.height), nullptr, nullptr, instance, this);
    if (created == nullptr) FatalWithLastError(texts::kWindowNotCreated);
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
        FatalWithLastError(texts::OptionButtonNotCreated(row.name));
    }
    control.window = button;
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(row.id)), FALSE);
    SendMessageW(button, BM_SETCHECK, row.selected ? BST_CHECKED : BST_UNCHECKED, 0);
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

void Win32Form::ShowMessageBox(std::wstring_view text, std::wstring_view title, MessageIcon icon) {
    const std::wstring textCopy(text);
    const std::wstring titleCopy(title);
    const UINT iconFlag = icon == MessageIcon::Warning ? MB_ICONWARNING : MB_ICONINFORMATION;
    // The box's own wait dispatches the window's messages, so the timer goes on ticking.
    // A box that cannot be shown is left out: the pulses matter more than the news.
    MessageBoxW(window_.get(), textCopy.c_str(), titleCopy.c_str(), MB_OK | iconFlag);
}

void Win32Form::EndProgram() { ExitProcess(0); }

}  // namespace kelvarid
