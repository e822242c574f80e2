// The clean restart the health checks ask for before the circuit's reset.
#pragma once

#include <string_view>

namespace kelvarid {

// Asks Windows to restart now, closing programs without waiting for them (a program that hangs
// would hold a restart nobody is there to confirm), as an unplanned restart for an application
// that hangs, with Kelvarid and the failed check in the System log's entry of it.
// 0 once asked; else the system's error (ERROR_NOT_ALL_ASSIGNED: the service's account may not
// shut the machine down).
unsigned long AskWindowsToRestart(std::wstring_view check);

}  // namespace kelvarid
