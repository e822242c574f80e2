#include "platform/make_way.h"

#include <windows.h>
#include <sddl.h>

#include <string>

#include "platform/program_path.h"
#include "product.h"

namespace kelvarid {

namespace {

// Administrators and SYSTEM may set and wait for it (EVENT_MODIFY_STATE | SYNCHRONIZE); nobody
// else may even open it. The program's own handle has every right whatever this says.
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;;0x100002;;;BA)(A;;0x100002;;;SY)";

UniqueHandle OwnEvent(const wchar_t* name) {
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1, &made, nullptr)) {
        return UniqueHandle();
    }
    const UniqueDescriptor descriptor(made);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    UniqueHandle event(CreateEventW(&attributes, TRUE, FALSE, name));
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) return UniqueHandle();
    return event;
}

bool IsSet(const UniqueHandle& event) { return event && WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0; }

}  // namespace

MakeWayEvents::MakeWayEvents()
    : restart_(OwnEvent(product::kRestartEventName)), end_(OwnEvent(product::kEndEventName)) {}

MakeWayRequest MakeWayEvents::Pending() const {
    if (IsSet(end_)) return MakeWayRequest::End;
    if (IsSet(restart_)) return MakeWayRequest::Restart;
    return MakeWayRequest::None;
}

void MakeWayEvents::StopListening() {
    restart_.reset();
    end_.reset();
}

bool StartSuccessor() {
    const std::wstring path = ProgramPath();
    if (path.empty()) return false;
    const std::wstring folder = FolderOf(path);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, folder.empty() ? nullptr : folder.c_str(),
                        &startup, &started)) {
        return false;
    }
    const UniqueHandle thread(started.hThread);
    const UniqueHandle process(started.hProcess);
    return true;
}

}  // namespace kelvarid
