// Tooltips, made at the first mouse move over the window.
#include "window/win32/win32_form.h"

#include <commctrl.h>

#include "platform/system_library.h"

namespace kelvarid {

void Win32Form::CreateTooltips() {
    // Made when the mouse first comes over the window, not at start-up: a program that runs
    // for months unwatched need not carry the common controls until someone looks at it.
    // Tooltips are a help, never a reason to stop: what fails is tried again at the next move.
    if (!commonControls_) commonControls_.reset(LoadOptionalSystemLibrary(L"comctl32.dll"));
    if (!commonControls_) return;
    const auto init =
        BindOptionalFunction<decltype(&::InitCommonControlsEx)>(commonControls_.get(), "InitCommonControlsEx");
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

void Win32Form::SetTooltip(ControlId control, std::wstring_view tooltip) {
    state(control).tooltip = tooltip;
    if (tooltips_ != nullptr) AddOrUpdateTool(control);  // otherwise added with the others
}

}  // namespace kelvarid
