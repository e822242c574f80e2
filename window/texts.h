// What the window program says to the user outside the form's own captions (those stay in the
// form's table, window/form1_layout.h): the port boxes, the line's state, the tooltip of the
// shrunk square, the already-running boxes, and the window runtime's fatal errors. The fatal
// errors and the boxes shown before any window are in Czech and English; the rest is the
// form's Czech. What both programs say is in platform/messages.h.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/messages.h"

namespace kelvarid::texts {

// --- The form -----------------------------------------------------------------------------

// The title of the box that follows a click on an option button, and its text per port.
inline constexpr wchar_t kPortBoxTitle[] = L"Port";
inline std::wstring PortOpened(std::wstring_view port) { return L"Nastaven port " + std::wstring(port); }
inline std::wstring PortNotOpened(std::wstring_view port) { return L"Port " + std::wstring(port) + L" nelze otevřít"; }

// The line's state under the square.
inline constexpr wchar_t kLineHigh[] = L"log.1";
inline constexpr wchar_t kLineLow[] = L"log.0";
// After a TXD call that failed, until the next one: the line is not where it should be.
inline constexpr wchar_t kLineFailed[] = L"chyba";

// The tooltip of the two squares once the window is shrunk to them.
inline constexpr wchar_t kEnlarge[] = L"Zvětšit...";

// --- Boxes before any window --------------------------------------------------------------

inline constexpr wchar_t kAlreadyRunning[] = L"Kelvarid už běží. / Kelvarid is already running.";
inline constexpr wchar_t kAlreadyRunningAsService[] =
    L"Kelvarid už běží jako služba. / Kelvarid is already running as a service.";

// --- Fatal errors: Czech, a line break, English -------------------------------------------

inline constexpr wchar_t kWindowClassNotRegistered[] =
    L"Okno programu nelze zaregistrovat.\nThe window class cannot be registered.";
inline constexpr wchar_t kWindowNotCreated[] = L"Okno programu nelze vytvořit.\nThe window cannot be created.";
inline constexpr wchar_t kMessagesUnreadable[] = L"Zprávy okna nelze číst.\nThe window's messages cannot be read.";

inline std::wstring OptionButtonNotCreated(std::wstring_view control) {
    const std::wstring name(control);
    return L"Přepínač " + name + L" nelze vytvořit.\nThe option button " + name + L" cannot be created.";
}

}  // namespace kelvarid::texts
