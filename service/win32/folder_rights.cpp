#include "service/win32/folder_rights.h"

#include <aclapi.h>
#include <sddl.h>

#include "platform/handles.h"
#include "service/win32/run_record_file.h"
#include "product.h"
#include "service/service_sid.h"

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

// An owner other than oneself needs these; where the account lacks them, setting the owner
// fails and says so.
void EnableOwnershipPrivileges() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return;
    const UniqueHandle token(raw);
    for (const wchar_t* name : {SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME}) {
        TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) continue;
        AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
}

// The owner first: the owner may then always change the access list, whatever it says now.
unsigned long SetOwnerAndList(const std::wstring& path, PSID owner, PACL list, SECURITY_INFORMATION listKind) {
    std::wstring name = path;  // older headers take a writable name
    DWORD error = SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr,
                                        nullptr, nullptr);
    if (error != ERROR_SUCCESS) return error;
    error = SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | listKind, nullptr, nullptr,
                                  list, nullptr);
    return error;
}

// Everything below `folder`: owner Administrators and no entry of its own, only what it
// inherits. A link to elsewhere is reset itself but not followed.
unsigned long ResetContents(const std::wstring& folder, PSID owner, PACL empty) {
    WIN32_FIND_DATAW found;
    const UniqueFind search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : error;
    }
    unsigned long error = 0;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        error = SetOwnerAndList(path, owner, empty, UNPROTECTED_DACL_SECURITY_INFORMATION);
        const DWORD attributes = found.dwFileAttributes;
        if (error == 0 && (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            error = ResetContents(path, owner, empty);
        }
    } while (error == 0 && FindNextFileW(search.get(), &found));
    if (error == 0 && GetLastError() != ERROR_NO_MORE_FILES) error = LastError();
    return error;
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

unsigned long SetServiceFolderRights(const std::wstring& path, ServiceFolder folder) {
    const UniqueDescriptor descriptor = ServiceFolderDescriptor(folder);
    if (!descriptor) return LastError();
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    PACL list = nullptr;
    BOOL present = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor.get(), &present, &list, &defaulted) || owner == nullptr || !present) {
        return LastError();
    }
    EnableOwnershipPrivileges();
    const unsigned long error = SetOwnerAndList(path, owner, list, PROTECTED_DACL_SECURITY_INFORMATION);
    if (error != 0) return error;
    ACL empty;
    if (!InitializeAcl(&empty, sizeof empty, ACL_REVISION)) return LastError();
    return ResetContents(path, owner, &empty);
}

unsigned long MakeRecordFolder() {
    const std::wstring folder = RunRecordFolder();
    if (folder.empty()) return ERROR_PATH_NOT_FOUND;
    // Made with its rights, so that nobody can put anything in it before they are set.
    const UniqueDescriptor descriptor = ServiceFolderDescriptor(ServiceFolder::Record);
    if (!descriptor) return LastError();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    if (!CreateDirectoryW(folder.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) return LastError();
    return SetServiceFolderRights(folder, ServiceFolder::Record);
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
