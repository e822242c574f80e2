#include "service/win32/status_command.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/messages.h"
#include "platform/program_path.h"
#include "product.h"
#include "service/status.h"
#include "service/win32/health_probes.h"
#include "service/win32/local_time.h"
#include "service/win32/say.h"
#include "service/win32/status_file.h"

namespace kelvarid {

namespace {

constexpr DWORD kRereadMs = 50;  // a status read while the service rewrote it is read again

ServiceState StateOfService() {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return ServiceState::Unknown;
    const UniqueServiceHandle service(OpenServiceW(manager.get(), product::kServiceName, SERVICE_QUERY_STATUS));
    if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? ServiceState::NotInstalled : ServiceState::Unknown;
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service.get(), &status)) return ServiceState::Unknown;
    if (status.dwCurrentState == SERVICE_STOPPED) return ServiceState::Stopped;
    return status.dwCurrentState == SERVICE_RUNNING ? ServiceState::Running : ServiceState::Changing;
}

// The installed kelvarid.exe, beside this program, by its image; any other program of that name,
// which anyone could start, is only unconfirmed.
ProgramSeen ProgramRuns() {
    const std::wstring folder = FolderOf(ProgramPath());
    const std::vector<bool> running = ProcessesRunning({folder + L"\\kelvarid.exe", L"kelvarid.exe"});
    if (!folder.empty() && running[0]) return ProgramSeen::Installed;
    return running[1] ? ProgramSeen::Unconfirmed : ProgramSeen::None;
}

std::wstring ChecksText(const PublishedStatus& status) {
    constexpr const wchar_t* kModes[] = {L"off", L"watching only", L"acting"};
    std::wstring text = L"checks: " + std::wstring(status.checksMode < 3 ? kModes[status.checksMode] : L"?");
    if (!status.holding.empty()) text += L"; " + status.holding + L" has stopped the pulses";
    if (!status.failing.empty()) text += L"; " + status.failing + L" fails since " + LocalTime(status.failingSince);
    if (status.holding.empty() && status.failing.empty() && status.checksMode != 0) text += L"; all pass";
    return text;
}

void SayDetails(ServiceState state, ProgramSeen program, const std::optional<PublishedStatus>& status) {
    const bool service = state == ServiceState::Running || state == ServiceState::Changing;
    Say(service                                ? L"mode: service"
        : program == ProgramSeen::Installed    ? L"mode: log-on (kelvarid.exe runs)"
        : program == ProgramSeen::Unconfirmed ? L"mode: log-on? (a kelvarid.exe runs, not confirmed)"
                                               : L"mode: none runs");
    if (!service || !status) return;
    Say(L"port: " + (status->port.empty() ? std::wstring(L"none (the Port value names no port)")
                                           : status->port + (status->portOpen ? L" (open)" : L" (cannot be opened)")));
    Say(L"last pulse: " + LocalTime(status->lastPulse));
    Say(status->library ? L"library: serline.dll loaded" : L"library: serline.dll cannot be loaded");
    Say(ChecksText(*status));
    // The count is published only once it reaches the limit.
    Say(status->limited ? L"stops by checks in a row: " + texts::Decimal(status->stopsInRow) + L", the limit of " +
                              texts::Decimal(status->maxStops) + L" reached: the checks only watch"
                        : L"stops by checks in a row: under the limit of " + texts::Decimal(status->maxStops));
    Say(status->drill ? L"drill: running" : L"drill: none");
    Say(L"last run: " + (status->lastReset.empty() ? std::wstring(L"ended with a stop") : status->lastReset));
}

}  // namespace

int ShowStatus() {
    const ServiceState state = StateOfService();
    const ProgramSeen program = ProgramRuns();
    std::optional<PublishedStatus> status = ReadStatus();
    if (!status) {
        Sleep(kRereadMs);
        status = ReadStatus();
    }
    const StatusVerdict verdict = JudgeStatus(state, program, status, SystemTimeNow());
    Say(verdict.firstLine);
    SayDetails(state, program, status);
    return static_cast<int>(verdict.health);
}

}  // namespace kelvarid
