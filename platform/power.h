// What both programs ask of Windows so that neither sleep nor load costs a pulse.
#pragma once

#include <windows.h>

namespace kelvarid {

// Windows does not go to sleep by itself while the calling thread lives; the display may
// still turn off, and a sleep that a person asks for still happens. False when refused.
inline bool KeepMachineAwake() { return SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0; }

// The whole process above ordinary programs, as Task Manager runs, so that the pulses keep
// their time on a machine that is flat out. False when refused.
inline bool RunAheadOfOrdinaryWork() { return SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS) != FALSE; }

}  // namespace kelvarid
