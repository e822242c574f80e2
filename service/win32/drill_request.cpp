#include "service/win32/drill_request.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/handles.h"
#include "platform/messages.h"
#include "product.h"
#include "service/drill.h"
#include "service/service_command.h"
#include "service/texts.h"
#include "service/win32/local_time.h"
#include "service/win32/run_record_file.h"
#include "service/win32/say.h"

namespace kelvarid {

namespace {

constexpr DWORD kRecordPollMs = 100;
constexpr DWORD kServiceAnswerMs = 10000;  // the service writes its record before it answers

int Refuse(std::wstring_view why, int code) {
    Say(why);
    return code;
}

bool IsAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID made = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &made)) {
        return false;
    }
    const UniqueSid administrators(made);
    BOOL member = FALSE;
    return CheckTokenMembership(nullptr, administrators.get(), &member) != FALSE && member != FALSE;
}

// The request beside the control, under the Parameters key, which only administrators and
// SYSTEM can write: the service starts a drill only for it. Its time, none when it cannot be put.
std::optional<std::uint64_t> PutRequest() {
    HKEY made = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, product::kParametersKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &made, nullptr) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const UniqueKey key(made);
    const std::uint64_t time = SystemTimeNow();
    const std::wstring text = texts::Decimal(time);
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    if (RegSetValueExW(key.get(), kDrillRequestValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return time;
}

// Answered or not, the request goes: nothing of it is left for later.
void TakeBackRequest() {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, product::kParametersKey, 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS) return;
    const UniqueKey key(opened);
    RegDeleteValueW(key.get(), kDrillRequestValue);
}

// A refusal after the request was put: it is taken back first.
int RefuseAsked(std::wstring_view why, int code) {
    TakeBackRequest();
    return Refuse(why, code);
}

bool DrillRecorded() {
    const StoredRecord stored = RunRecordFile().Load();
    return stored.state == StoredRecord::State::Read && stored.record.drillStarted != 0;
}

}  // namespace

int RequestDrill() {
    if (!IsAdministrator()) return Refuse(texts::kDrillNotAdministrator, product::kDrillNotAdministrator);
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueServiceHandle service(
        manager ? OpenServiceW(manager.get(), product::kServiceName, SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL)
                : nullptr);
    SERVICE_STATUS status{};
    if (!service || !QueryServiceStatus(service.get(), &status) || status.dwCurrentState != SERVICE_RUNNING) {
        return Refuse(texts::kDrillServiceNotRunning, product::kDrillServiceNotRunning);
    }
    // The service decides again; its answer cannot come back through the service manager, but
    // the record tells why most refusals would come. One that cannot be read decides nothing.
    const StoredRecord stored = RunRecordFile().Load();
    const DrillAnswer answer = stored.state == StoredRecord::State::Read ? DrillAllowedBy(stored.record) : DrillAnswer::Started;
    if (answer == DrillAnswer::ChecksHold) return Refuse(texts::kDrillChecksHold, product::kDrillChecksHold);
    if (answer == DrillAnswer::AlreadyRunning) return Refuse(texts::kDrillAlreadyRunning, product::kDrillAlreadyRunning);
    if (!PutRequest()) return Refuse(texts::kDrillNotStarted, product::kDrillNotStarted);
    if (!ControlService(service.get(), kDrillControl, &status)) {
        return RefuseAsked(texts::kDrillNotStarted, product::kDrillNotStarted);
    }
    for (DWORD waited = 0; waited < kServiceAnswerMs; waited += kRecordPollMs) {
        if (DrillRecorded()) {
            TakeBackRequest();
            Say(texts::kDrillStarted);
            return product::kDrillStarted;
        }
        Sleep(kRecordPollMs);
    }
    return RefuseAsked(texts::kDrillNotStarted, product::kDrillNotStarted);
}

}  // namespace kelvarid
