// The four serial ports the window offers, always handled in this order.
#pragma once

#include <array>

#include "window/form_types.h"
#include "window/texts.h"

namespace kelvarid {

struct PortEntry {
    ControlId option;
    const char* settings;  // ASCII, handed to OPENCOM as it is
    const wchar_t* opened;
    const wchar_t* notOpened;
};

inline constexpr std::array<PortEntry, 4> kPorts{{
    {ControlId::Option1, "COM1,1200,N,8,1", texts::kPortOpened[0], texts::kPortNotOpened[0]},
    {ControlId::Option2, "COM2,1200,N,8,1", texts::kPortOpened[1], texts::kPortNotOpened[1]},
    {ControlId::Option3, "COM3,1200,N,8,1", texts::kPortOpened[2], texts::kPortNotOpened[2]},
    {ControlId::Option4, "COM4,1200,N,8,1", texts::kPortOpened[3], texts::kPortNotOpened[3]},
}};

}  // namespace kelvarid
