// The window's side of the four ports: each one's option button and the texts of its box.
#pragma once

#include <array>

#include "keepalive/ports.h"
#include "window/form_types.h"

namespace kelvarid {

inline constexpr std::array<ControlId, kPortCount> kPortOptions{ControlId::Option1, ControlId::Option2,
                                                                 ControlId::Option3, ControlId::Option4};

}  // namespace kelvarid
