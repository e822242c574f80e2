#include "service/win32/folder_rights.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "platform/handles.h"
#include "platform/privilege.h"
#include "product.h"
#include "service/service_sid.h"
#include "service/win32/owners.h"

namespace kelvarid {

namespace {

// By well-known SIDs, which every language of Windows knows: BA administrators, SY SYSTEM,
// BU users, LS LocalService (the service's account). P: nothing inherited from above; OICI:
// files and folders inside inherit each entry. FRFX: read and run; 0x1301bf: modify.
constexpr wchar_t kProgramFolderSddl[] =
    L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FRFX;;;BU)(A;OICI;FRFX;;;LS)";
// The service: Windows' own list without CR (SERVICE_USER_DEFINED_CONTROL) for interactive
// users (IU) and services (SU), who keep only the query rights and READ_CONTROL.
constexpr wchar_t kServiceSddl[] =
    L"D:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)(A;;CCLCSWLORC;;;IU)(A;;CCLCSWLORC;;;SU)";

// Not in XP's headers: the service's own SID (Vista on), asked for by its SID type.
constexpr DWORD kServiceConfigSidInfo = 5;  // SERVICE_CONFIG_SERVICE_SID_INFO
constexpr DWORD kSidTypeUnrestricted = 1;   // SERVICE_SID_TYPE_UNRESTRICTED
struct ServiceSidInfo {
    DWORD sidType;
};

// Whether the installed service runs with its own SID in its token: then the record is its
// alone; else (XP and Server 2003, which have no service SIDs) LocalService's, which other
// services share.
bool ServiceHasOwnSid() {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueServiceHandle service(
        manager ? OpenServiceW(manager.get(), product::kServiceName, SERVICE_QUERY_CONFIG) : nullptr);
    ServiceSidInfo info{};
    DWORD needed = 0;
    return service &&
           QueryServiceConfig2W(service.get(), kServiceConfigSidInfo, reinterpret_cast<BYTE*>(&info), sizeof info, &needed) &&
           info.sidType == kSidTypeUnrestricted;
}

unsigned long LastError() {
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_INVALID_SECURITY_DESCR;
}

// An owner other than oneself, and the rights of a file whose list shuts administrators out,
// need these; where the account lacks them, the step fails and says so.
void EnableOwnershipPrivileges() {
    for (const wchar_t* name : {SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME, SE_BACKUP_NAME}) (void)EnablePrivilege(name);
}

// Opens `path` itself, never what a junction or link there leads to, for reading and setting
// its rights.
UniqueHandle OpenUnfollowed(const std::wstring& path) {
    return UniqueHandle(CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

Owner OwnerOfOpened(HANDLE opened) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(opened, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return Owner::Unknown;
    }
    const UniqueDescriptor owned(descriptor);
    return OwnerKindOf(owner);
}

FolderVerdict VerdictOnOpened(HANDLE opened) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(opened, &information)) return FolderVerdict::MoveAside;
    const DWORD attributes = information.dwFileAttributes;
    return VerdictOnFolder((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                           OwnerOfOpened(opened));
}

// Under the first free name beside it; says where, for the installer's log and the event log.
unsigned long MoveAside(const std::wstring& path, MovedAsideReport report) {
    for (unsigned attempt = 1; attempt <= 99; ++attempt) {
        const std::wstring aside = MovedAsideName(path, attempt);
        if (MoveFileExW(path.c_str(), aside.c_str(), 0)) {
            report(path, aside);
            return 0;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return error;
    }
    return ERROR_ALREADY_EXISTS;
}

// The list an entry inside gets: the folder's entries, marked as inherited from it, passed on
// further only by folders.
std::vector<BYTE> InheritedList(PACL folderList, bool forFolder) {
    std::vector<BYTE> made(folderList->AclSize);
    auto* list = reinterpret_cast<PACL>(made.data());
    if (!InitializeAcl(list, folderList->AclSize, ACL_REVISION)) return {};
    for (DWORD index = 0; index < folderList->AceCount; ++index) {
        void* ace = nullptr;
        if (!GetAce(folderList, index, &ace)) return {};
        const auto* header = static_cast<ACE_HEADER*>(ace);
        std::vector<BYTE> copy(static_cast<const BYTE*>(ace), static_cast<const BYTE*>(ace) + header->AceSize);
        auto* copied = reinterpret_cast<ACE_HEADER*>(copy.data());
        copied->AceFlags = static_cast<BYTE>(INHERITED_ACE |
                                             (forFolder ? header->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) : 0));
        if (!AddAce(list, ACL_REVISION, MAXDWORD, copy.data(), copied->AceSize)) return {};
    }
    return made;
}

struct Rights {
    PSID owner;
    PACL folderList;
    std::vector<BYTE> forFolders;
    std::vector<BYTE> forFiles;
};

// Everything below `folder`, each opened itself: owner Administrators and only what it inherits
// from the folder. A junction or link inside is reset itself and not followed; a file with
// other names elsewhere (a hard link) is left alone, as its rights are those of the other names.
unsigned long ResetContents(const std::wstring& folder, const Rights& rights) {
    WIN32_FIND_DATAW found;
    const UniqueFind search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : error;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        const UniqueHandle entry = OpenUnfollowed(path);
        BY_HANDLE_FILE_INFORMATION information;
        if (!entry || !GetFileInformationByHandle(entry.get(), &information)) return LastError();
        const bool isFolder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool isLink = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (!isFolder && !isLink && information.nNumberOfLinks > 1) continue;
        const std::vector<BYTE>& list = isFolder ? rights.forFolders : rights.forFiles;
        const unsigned long error =
            SetSecurityInfo(entry.get(), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                            rights.owner, nullptr, reinterpret_cast<PACL>(const_cast<BYTE*>(list.data())), nullptr);
        if (error != ERROR_SUCCESS) return error;
        if (isFolder && !isLink) {
            const unsigned long inner = ResetContents(path, rights);
            if (inner != 0) return inner;
        }
    } while (FindNextFileW(search.get(), &found));
    return GetLastError() == ERROR_NO_MORE_FILES ? 0 : LastError();
}

// The folder at `path`, made with `descriptor` where nothing is; opened itself. What may not
// be used as it is goes aside first (see VerdictOnFolder); a user who puts something there
// again meanwhile only makes it go aside again, a few times at most.
unsigned long OpenTrustedFolder(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor, MovedAsideReport report,
                                UniqueHandle& opened) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (!CreateDirectoryW(path.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) return LastError();
        opened = OpenUnfollowed(path);
        if (!opened && GetLastError() != ERROR_ACCESS_DENIED) return LastError();
        if (opened && VerdictOnOpened(opened.get()) == FolderVerdict::Secure) return 0;
        opened.reset();
        const unsigned long error = MoveAside(path, report);
        if (error != 0) return error;
    }
    return ERROR_ACCESS_DENIED;
}

}  // namespace

UniqueDescriptor ServiceFolderDescriptor(ServiceFolder folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring sddl = folder == ServiceFolder::Program
                                  ? std::wstring(kProgramFolderSddl)
                                  : RecordFolderSddl(ServiceHasOwnSid() ? ServiceSidText(product::kServiceName) : L"LS");
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) return {};
    return UniqueDescriptor(descriptor);
}

unsigned long SecureServiceFolder(const std::wstring& path, ServiceFolder folder, MovedAsideReport report) {
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    const UniqueDescriptor descriptor = ServiceFolderDescriptor(folder);
    if (!descriptor) return LastError();
    Rights rights{};
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor.get(), &rights.owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor.get(), &present, &rights.folderList, &defaulted) ||
        rights.owner == nullptr || !present || rights.folderList == nullptr) {
        return LastError();
    }
    rights.forFolders = InheritedList(rights.folderList, true);
    rights.forFiles = InheritedList(rights.folderList, false);
    if (rights.forFolders.empty() || rights.forFiles.empty()) return LastError();
    EnableOwnershipPrivileges();
    UniqueHandle opened;
    unsigned long error = OpenTrustedFolder(path, descriptor.get(), report, opened);
    if (error != 0) return error;
    // The owner with the list: the owner may then always change the list, whatever it says now.
    error = SetSecurityInfo(opened.get(), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            rights.owner, nullptr, rights.folderList, nullptr);
    if (error != ERROR_SUCCESS) return error;
    return ResetContents(path, rights);
}

unsigned long SetServiceControlRights() {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return LastError();
    const UniqueServiceHandle service(
        OpenServiceW(manager.get(), product::kServiceName, READ_CONTROL | WRITE_DAC | SERVICE_CHANGE_CONFIG));
    if (!service) return LastError();
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kServiceSddl, SDDL_REVISION_1, &made, nullptr)) {
        return LastError();
    }
    const UniqueDescriptor descriptor(made);
    if (!SetServiceObjectSecurity(service.get(), DACL_SECURITY_INFORMATION, descriptor.get())) return LastError();
    // Its own SID, so that the record's folder can be its alone. A Windows without service SIDs
    // does not know the setting at all: LocalService's then.
    ServiceSidInfo info{kSidTypeUnrestricted};
    if (!ChangeServiceConfig2W(service.get(), kServiceConfigSidInfo, &info) && GetLastError() != ERROR_INVALID_LEVEL) {
        return LastError();
    }
    return 0;
}

}  // namespace kelvarid
