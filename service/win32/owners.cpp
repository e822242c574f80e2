#include "service/win32/owners.h"

#include <sddl.h>

#include <vector>

#include "platform/handles.h"

namespace kelvarid {

namespace {

bool IsOwnAccount(PSID sid) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return false;
    return EqualSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, sid) != FALSE;
}

}  // namespace

Owner OwnerKindOf(PSID owner) {
    if (owner == nullptr || !IsValidSid(owner)) return Owner::Unknown;
    if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) return Owner::Administrators;
    if (IsWellKnownSid(owner, WinLocalSystemSid)) return Owner::System;
    return IsOwnAccount(owner) ? Owner::Self : Owner::Other;
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
