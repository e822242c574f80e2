#include "service/owner_trust.h"

#include "platform/messages.h"

namespace kelvarid {

bool IsTrustedOwner(Owner owner) {
    return owner == Owner::Administrators || owner == Owner::System || owner == Owner::Self;
}

FolderVerdict VerdictOnFolder(bool isDirectory, bool isLink, Owner owner) {
    if (!isDirectory || isLink) return FolderVerdict::MoveAside;
    return IsTrustedOwner(owner) ? FolderVerdict::Secure : FolderVerdict::MoveAside;
}

NameVerdict VerdictOnServiceName(Owner owner) {
    return IsTrustedOwner(owner) ? NameVerdict::HeldByKelvarid : NameVerdict::Squatted;
}

std::wstring MovedAsideName(std::wstring_view path, unsigned attempt) {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.remove_suffix(1);
    return std::wstring(path) + L".moved-" + texts::Decimal(attempt);
}

}  // namespace kelvarid
