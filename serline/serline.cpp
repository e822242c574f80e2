// serline.dll: the serial-line library. It holds at most one open port and drives its TXD
// line with the break state. It lets a port go only when another replaces it, when the device
// has gone away (a USB adapter pulled out) or when the process ends, and always lowers the
// line first: whether a driver lowers it on close is not promised. After a device went away,
// later TXD calls open the same port with the same settings again once it is back.
#include <windows.h>

#include <cstdio>

#include "serline/line_settings.h"
#include "serline/serline.h"

namespace {

struct HeldPort {
    HANDLE handle = INVALID_HANDLE_VALUE;  // INVALID_HANDLE_VALUE while lost (or none)
    bool mayBeRaised = false;              // from a SetCommBreak until a ClearCommBreak works
    serline::LineSettings settings;        // settings.port is 0 while no port was ever opened
};

// The library's one piece of state: the port that opened last, owned until the process ends.
// When its device goes away the handle is let go, but the port and its settings are kept so
// that TXD can open it again.
HeldPort held;

BYTE ParityCode(serline::Parity parity) {
    switch (parity) {
    case serline::Parity::Even: return EVENPARITY;
    case serline::Parity::Odd: return ODDPARITY;
    case serline::Parity::Mark: return MARKPARITY;
    case serline::Parity::Space: return SPACEPARITY;
    case serline::Parity::None: break;
    }
    return NOPARITY;
}

BYTE StopBitsCode(serline::StopBits stopBits) {
    switch (stopBits) {
    case serline::StopBits::OneAndHalf: return ONE5STOPBITS;
    case serline::StopBits::Two: return TWOSTOPBITS;
    case serline::StopBits::One: break;
    }
    return ONESTOPBIT;
}

bool ApplySettings(HANDLE port, const serline::LineSettings& settings) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) return false;
    dcb.BaudRate = settings.baud;
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    dcb.Parity = ParityCode(settings.parity);
    dcb.StopBits = StopBitsCode(settings.stopBits);
    dcb.fBinary = TRUE;
    dcb.fParity = settings.parity != serline::Parity::None;
    // No flow control: nothing may hold the line back. DTR and RTS stay on, as most
    // circuits on a serial port take their supply from them.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    return SetCommState(port, &dcb) != FALSE;
}

HANDLE OpenPort(int number) {
    char path[16];
    std::snprintf(path, sizeof path, "\\\\.\\COM%d", number);
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The port opened and set up, or INVALID_HANDLE_VALUE.
HANDLE OpenConfigured(const serline::LineSettings& settings) {
    const HANDLE opened = OpenPort(settings.port);
    if (opened == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
    if (!ApplySettings(opened, settings)) {
        CloseHandle(opened);
        return INVALID_HANDLE_VALUE;
    }
    return opened;
}

bool PortLost() { return held.settings.port != 0 && held.handle == INVALID_HANDLE_VALUE; }

// The held port is never let go with its line raised.
void LowerAndLetGo() {
    if (held.mayBeRaised) ClearCommBreak(held.handle);  // on a dead device this fails, harmlessly
    held.mayBeRaised = false;
    CloseHandle(held.handle);
    held.handle = INVALID_HANDLE_VALUE;
}

}  // namespace

// The process ends ("Quit !", a fatal error): the port goes with it, but not raised.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
    if (reason == DLL_PROCESS_DETACH && held.handle != INVALID_HANDLE_VALUE) LowerAndLetGo();
    return TRUE;
}

short __stdcall OPENCOM(const char* settingsText) {
    const auto settings = serline::ParseLineSettings(settingsText);
    if (!settings) return 0;

    if (held.handle != INVALID_HANDLE_VALUE && held.settings.port == settings->port) {
        if (!ApplySettings(held.handle, *settings)) return 0;
        held.settings = *settings;
        return 1;
    }

    // A lost port opened again counts as the same port: this also ends its loss.
    const HANDLE opened = OpenConfigured(*settings);
    if (opened == INVALID_HANDLE_VALUE) return 0;
    // Only now that the new port works is the old one let go.
    if (held.handle != INVALID_HANDLE_VALUE) LowerAndLetGo();
    held = HeldPort{opened, false, *settings};
    return 1;
}

short __stdcall TXD(short level) {
    if (level != 0 && level != 1) return 0;
    if (PortLost()) {
        held.handle = OpenConfigured(held.settings);
        if (held.handle == INVALID_HANDLE_VALUE) return 0;  // still gone: try again at the next call
    }
    if (held.handle == INVALID_HANDLE_VALUE) return 0;  // no port was ever opened
    if (level == 1) held.mayBeRaised = true;
    const BOOL set = level == 1 ? SetCommBreak(held.handle) : ClearCommBreak(held.handle);
    if (set && level == 0) held.mayBeRaised = false;
    if (set) return 1;
    // The device no longer answers: most likely it went away. Its handle is dead for good;
    // the next call opens the port anew.
    LowerAndLetGo();
    return 0;
}
