// The four serial ports the window offers, always handled in this order.
#pragma once

#include <array>

#include "window/form_types.h"

namespace kelvarid {

struct PortEntry {
    ControlId option;
    const char* settings;  // ASCII, handed to OPENCOM as it is
    const wchar_t* opened;
    const wchar_t* notOpened;
};

inline constexpr std::array<PortEntry, 4> kPorts{{
    {ControlId::Option1, "COM1,1200,N,8,1", L"Nastaven port COM1", L"Port COM1 nelze otevřít"},
    {ControlId::Option2, "COM2,1200,N,8,1", L"Nastaven port COM2", L"Port COM2 nelze otevřít"},
    {ControlId::Option3, "COM3,1200,N,8,1", L"Nastaven port COM3", L"Port COM3 nelze otevřít"},
    {ControlId::Option4, "COM4,1200,N,8,1", L"Nastaven port COM4", L"Port COM4 nelze otevřít"},
}};

inline constexpr wchar_t kPortBoxTitle[] = L"Port";

}  // namespace kelvarid
