// serline.dll: the serial-line library. It holds at most one open port and drives its TXD
// line with the break state. It never closes the port or lowers the line on its own.
#include <windows.h>

#include <cstdio>

#include "serline/line_settings.h"

namespace {

struct HeldPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    int number = 0;
};

// The library's one piece of state: the port that opened last, owned until the process ends.
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

}  // namespace

extern "C" __declspec(dllexport) short __stdcall OPENCOM(const char* settingsText) {
    const auto settings = serline::ParseLineSettings(settingsText);
    if (!settings) return 0;

    if (held.handle != INVALID_HANDLE_VALUE && held.number == settings->port) {
        return ApplySettings(held.handle, *settings) ? 1 : 0;
    }

    const HANDLE opened = OpenPort(settings->port);
    if (opened == INVALID_HANDLE_VALUE) return 0;
    if (!ApplySettings(opened, *settings)) {
        CloseHandle(opened);
        return 0;
    }
    // Only now that the new port works is the old one let go.
    if (held.handle != INVALID_HANDLE_VALUE) CloseHandle(held.handle);
    held = HeldPort{opened, settings->port};
    return 1;
}

extern "C" __declspec(dllexport) short __stdcall TXD(short level) {
    if (held.handle == INVALID_HANDLE_VALUE) return 0;
    if (level == 1) return SetCommBreak(held.handle) ? 1 : 0;
    if (level == 0) return ClearCommBreak(held.handle) ? 1 : 0;
    return 0;
}
