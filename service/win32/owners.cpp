#include "service/win32/owners.h"

#include <sddl.h>

#include <vector>

#include "platform/handles.h"

namespace kelvarid {

std::vector<BYTE> OwnAccountSid() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    std::vector<BYTE> copy(GetLengthSid(sid));
    if (!CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) return {};
    return copy;
}

Owner OwnerKindOf(PSID owner) {
    if (owner == nullptr || !IsValidSid(owner)) return Owner::Unknown;
    if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) return Owner::Administrators;
    if (IsWellKnownSid(owner, WinLocalSystemSid)) return Owner::System;
    std::vector<BYTE> own = OwnAccountSid();
    return !own.empty() && EqualSid(own.data(), owner) ? Owner::Self : Owner::Other;
}

std::wstring AccountNameOf(PSID sid) {
    if (sid == nullptr) return L"?";
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        return domainSize > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    }
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return L"?";
    const UniqueLocalMemory owned(text);
    return text;
}

}  // namespace kelvarid
