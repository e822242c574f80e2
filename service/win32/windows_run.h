// Whether Windows has started again since the service last started: a volatile registry key,
// which Windows keeps only in memory, made in the service account's own hive at every start.
// Found there, it was made in this run of Windows; missing, Windows has started since. No
// clock decides it: a reset on a machine whose clock starts an hour behind, or a clock step
// between two starts of the service alone, cannot fool it.
#pragma once

#include "service/instant.h"

namespace kelvarid {

// Made if missing; Unknown when it can be neither made nor found.
WindowsRun MarkWindowsRun();

}  // namespace kelvarid
