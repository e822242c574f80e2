// Who owns a folder or a named object, read from Windows, for the trust decisions of
// owner_trust.h.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "service/owner_trust.h"

namespace kelvarid {

// Administrators, SYSTEM, the account this process runs as, or another; Unknown for none.
Owner OwnerKindOf(PSID owner);

// The SID of the account this process runs as, in a buffer of its own; empty when it cannot be
// read.
std::vector<BYTE> OwnAccountSid();

// "DOMAIN\name" for the log, or the SID's text where the account cannot be looked up.
std::wstring AccountNameOf(PSID sid);

}  // namespace kelvarid
