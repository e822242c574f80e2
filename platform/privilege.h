// A privilege the process's account holds, switched on in its token.
#pragma once

namespace kelvarid {

// 0 once `name` (SE_SHUTDOWN_NAME, ...) is on; else the system's error, ERROR_NOT_ALL_ASSIGNED
// where the account does not hold it.
unsigned long EnablePrivilege(const wchar_t* name);

}  // namespace kelvarid
