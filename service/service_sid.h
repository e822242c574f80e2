// The service's own SID, "NT SERVICE\Kelvarid", which Windows gives a service from Vista on when
// its SID type asks for it: S-1-5-80 and the SHA-1 of its name in capitals, as Windows derives
// it, so that the record's folder can name it before the account can be looked up. Plain C++.
#pragma once

#include <string>
#include <string_view>

namespace kelvarid {

// "S-1-5-80-..." for `serviceName` (ASCII letters and digits, as a service's name here is).
std::wstring ServiceSidText(std::wstring_view serviceName);

// The record folder's rights, as SDDL: administrators and SYSTEM change it, `account` (an SDDL
// SID: "LS" for LocalService, or the service's own "S-1-5-80-...") writes its record there,
// nobody else even reads it. P: nothing inherited from above; OICI: everything inside inherits.
std::wstring RecordFolderSddl(std::wstring_view account);

}  // namespace kelvarid
