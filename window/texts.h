// What the programs say to the user outside the form's own captions (those stay in the form's
// table, window/form1_layout.h): the port boxes, the line's state, the tooltip of the shrunk
// square, the already-running and service boxes, and the fatal errors. The fatal errors and
// the boxes shown before any window are in Czech and English; the rest is the form's Czech.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kelvarid::texts {

// --- The form -----------------------------------------------------------------------------

// The title of the box that follows a click on an option button, and its text per port.
inline constexpr wchar_t kPortBoxTitle[] = L"Port";
inline constexpr std::array<const wchar_t*, 4> kPortOpened{
    L"Nastaven port COM1", L"Nastaven port COM2", L"Nastaven port COM3", L"Nastaven port COM4"};
inline constexpr std::array<const wchar_t*, 4> kPortNotOpened{
    L"Port COM1 nelze otevřít", L"Port COM2 nelze otevřít", L"Port COM3 nelze otevřít",
    L"Port COM4 nelze otevřít"};

// The line's state under the square.
inline constexpr wchar_t kLineHigh[] = L"log.1";
inline constexpr wchar_t kLineLow[] = L"log.0";
// After a TXD call that failed, until the next one: the line is not where it should be.
inline constexpr wchar_t kLineFailed[] = L"chyba";

// The tooltip of the two squares once the window is shrunk to them.
inline constexpr wchar_t kEnlarge[] = L"Zvětšit...";

// --- Boxes before any window --------------------------------------------------------------

inline constexpr wchar_t kBoxTitle[] = L"Kelvarid";
inline constexpr wchar_t kAlreadyRunning[] = L"Kelvarid už běží. / Kelvarid is already running.";
inline constexpr wchar_t kAlreadyRunningAsService[] =
    L"Kelvarid už běží jako služba. / Kelvarid is already running as a service.";
inline constexpr wchar_t kServiceStartedByHand[] =
    L"kelvarid-service.exe je služba Windows: spouští ji správce služeb (sc start Kelvarid).\n"
    L"kelvarid-service.exe is a Windows service: the service manager starts it (sc start Kelvarid).";

// --- Fatal errors: Czech, a line break, English -------------------------------------------

inline constexpr wchar_t kNoProgramPath[] = L"Cesta k programu nelze zjistit.\nThe program cannot find its own path.";
inline constexpr wchar_t kNoProgramFolder[] =
    L"Knihovnu serline.dll nelze najít: program nezná svou složku.\nserline.dll not found: the program does not know its folder.";
inline constexpr wchar_t kNoSystemFolder[] = L"Systémovou složku nelze najít.\nThe system folder cannot be found.";
inline constexpr wchar_t kWindowClassNotRegistered[] =
    L"Okno programu nelze zaregistrovat.\nThe window class cannot be registered.";
inline constexpr wchar_t kWindowNotCreated[] = L"Okno programu nelze vytvořit.\nThe window cannot be created.";
inline constexpr wchar_t kMessagesUnreadable[] = L"Zprávy okna nelze číst.\nThe window's messages cannot be read.";
inline constexpr wchar_t kTimerNotSet[] = L"Časovač nelze nastavit.\nThe timer cannot be set.";
inline constexpr wchar_t kTimerNotMade[] = L"Časovač nelze vytvořit.\nThe timer cannot be made.";
inline constexpr wchar_t kWaitFailed[] = L"Čekání selhalo.\nThe wait failed.";
inline constexpr wchar_t kEventsNotMade[] = L"Události služby nelze vytvořit.\nThe service's events cannot be made.";

inline std::wstring SerialLibraryNotLoaded(std::wstring_view path) {
    return L"Knihovnu serline.dll nelze načíst.\nCannot load the serial-line library:\n" + std::wstring(path);
}

inline std::wstring SystemLibraryNotLoaded(std::wstring_view library, std::wstring_view path) {
    const std::wstring name(library);
    return L"Knihovnu " + name + L" nelze načíst.\n" + name + L" cannot be loaded from " + std::wstring(path);
}

inline std::wstring FunctionMissing(std::wstring_view library, std::wstring_view function) {
    const std::wstring owner(library);
    const std::wstring name(function);
    return L"Knihovna " + owner + L" nemá funkci " + name + L".\n" + owner + L" lacks the function " + name + L".";
}

inline std::wstring OptionButtonNotCreated(std::wstring_view control) {
    const std::wstring name(control);
    return L"Přepínač " + name + L" nelze vytvořit.\nThe option button " + name + L" cannot be created.";
}

}  // namespace kelvarid::texts
