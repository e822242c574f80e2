// kelvarid-service.exe: the keep-alive of kelvarid.exe as a Windows service, pulsing from boot
// with no window and nobody logged on. The host: the service manager's plumbing, which reports
// the service's states and passes its controls on to the work (service_work.cpp), and the
// command line's other requests.
#include <windows.h>
#include <aclapi.h>

#include <string>

#include "platform/fatal.h"
#include "platform/handles.h"
#include "platform/one_instance.h"
#include "platform/program_path.h"
#include "product.h"
#include "service/service_command.h"
#include "service/texts.h"
#include "service/win32/drill_request.h"
#include "service/win32/event_log.h"
#include "service/win32/folder_rights.h"
#include "service/win32/machine_clock.h"
#include "service/win32/owners.h"
#include "service/win32/run_record_file.h"
#include "service/win32/say.h"
#include "service/win32/status_command.h"
#include "service/win32/service_work.h"

namespace {

using namespace kelvarid;

constexpr DWORD kStartWaitHintMs = 30000;  // the configured port may be slow to open
constexpr DWORD kStopWaitHintMs = 5000;

// The one service of this process. The control handler gets it as its context; it runs on the
// dispatcher's thread and only sets events, and logs a suspend, which may not wait; everything
// else, the status too, happens on the service's thread.
class ServiceHost final : public WorkStates {
public:
    // False when the service manager cannot be told anything: nothing can be reported to anyone.
    bool Register() {
        statusHandle_ = RegisterServiceCtrlHandlerExW(product::kServiceName, &OnControl, this);
        return statusHandle_ != nullptr;
    }
    bool MakeEvents() {
        stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        resume_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        drill_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        return stop_ && resume_ && drill_;
    }
    WorkSignals Signals() const { return {stop_.get(), resume_.get(), drill_.get()}; }
    EventLog& Log() { return log_; }
    MachineClock& Clock() { return clock_; }

    void SetStatus(DWORD state, DWORD waitHintMs = 0) {
        status_.dwCurrentState = state;
        // STOP and power events only: never SHUTDOWN or PRESHUTDOWN. The pulses go on until the
        // system ends the process at the very end of a shutdown, as late as anything can run.
        status_.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_POWEREVENT : 0;
        status_.dwWaitHint = waitHintMs;
        if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) ++status_.dwCheckPoint;
        else status_.dwCheckPoint = 0;
        // Nothing else can be told to the service manager when this fails: the work goes on.
        SetServiceStatus(statusHandle_, &status_);
    }
    void Running() override { SetStatus(SERVICE_RUNNING); }
    void Stopping() override { SetStatus(SERVICE_STOP_PENDING, kStopWaitHintMs); }

private:
    static DWORD WINAPI OnControl(DWORD control, DWORD eventType, void*, void* context) {
        auto& host = *static_cast<ServiceHost*>(context);
        if (control == SERVICE_CONTROL_STOP) {
            SetEvent(host.stop_.get());
            return NO_ERROR;
        }
        if (control == SERVICE_CONTROL_POWEREVENT) {
            host.OnPower(eventType);
            return NO_ERROR;
        }
        if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
        if (control == kDrillControl) {
            SetEvent(host.drill_.get());
            return NO_ERROR;
        }
        return ERROR_CALL_NOT_IMPLEMENTED;
    }

    // Here, not on the service's thread: the machine may sleep before that gets to run, and a
    // round of checks may run after the wake before it does.
    void OnPower(DWORD eventType) {
        if (eventType == PBT_APMSUSPEND) {
            clock_.Suspending();
            log_.Suspending();
            return;
        }
        // Every way a sleep can end, or (XP) be called off.
        if (eventType == PBT_APMRESUMEAUTOMATIC || eventType == PBT_APMRESUMESUSPEND ||
            eventType == PBT_APMRESUMECRITICAL || eventType == PBT_APMQUERYSUSPENDFAILED) {
            clock_.Resumed();
        }
        if (eventType == PBT_APMRESUMEAUTOMATIC) SetEvent(resume_.get());
    }

    SERVICE_STATUS_HANDLE statusHandle_ = nullptr;
    SERVICE_STATUS status_{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, NO_ERROR, 0, 0, 0};
    EventLog log_;
    MachineClock clock_;
    UniqueHandle stop_;
    UniqueHandle resume_;  // the machine has woken from sleep
    UniqueHandle drill_;   // an administrator asks for a drill
};

void ReportFatal(std::wstring_view what, void* log) {
    // Ending without SERVICE_STOPPED counts as a failure: the service manager's recovery
    // actions (restart) apply.
    static_cast<EventLog*>(log)->Fatal(what);
}

// Kelvarid's name `name`: held from now on when it was free. One another process made first is
// logged with its owner, and left to it: any account can make a name, so no name decides
// whether the service pulses. Its port, which only one program can open, keeps two pulsers
// from sharing one.
UniqueHandle ClaimName(const wchar_t* name, ServiceLog& log, bool serviceOwnName) {
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, name));
    if (mutex && GetLastError() != ERROR_ALREADY_EXISTS) return mutex;
    mutex.reset();
    const UniqueHandle found(OpenMutexW(READ_CONTROL, FALSE, name));
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!found || GetSecurityInfo(found.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                  nullptr, &descriptor) != ERROR_SUCCESS) {
        owner = nullptr;
        descriptor = nullptr;
    }
    const UniqueDescriptor owned(descriptor);
    const Owner kind = OwnerKindOf(owner);
    log.NameHeld(name, AccountNameOf(owner), serviceOwnName ? VerdictOnServiceName(kind) : NameVerdict::HeldByKelvarid);
    return {};
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    // Kept until the process ends: a control the service manager sent just before the service
    // stopped may still be running on the dispatcher's thread when this returns.
    static ServiceHost host;
    if (!host.Register()) return;
    host.SetStatus(SERVICE_START_PENDING, kStartWaitHintMs);
    SetFatalReporter(&ReportFatal, &host.Log());
    if (!host.MakeEvents()) FatalWithLastError(texts::kEventsNotMade);
    // The names let the installer and kelvarid.exe find a running Kelvarid.
    const UniqueHandle serviceName = ClaimName(kServiceMutexName, host.Log(), true);
    const UniqueHandle instanceName = ClaimName(kInstanceMutexName, host.Log(), false);
    PulseUntilStopped(host.Log(), host.Signals(), host, host.Clock());
    host.SetStatus(SERVICE_STOPPED);
}

// In the installer's log (the program's output) and in the Application log.
void ReportMovedAside(const std::wstring& from, const std::wstring& to) {
    Say(texts::kFolderMovedAside + from + L" -> " + to);
    EventLog().FolderMovedAside(from, to);
}

// What the installer asks for: the exit code is 0 or the system's error number. Handled
// before the dispatcher, which Wine lets wait for ever when no service manager started it.
// The installer names the folder it is about to write into and runs this from a copy of the
// program elsewhere: nothing runs from the folder before its rights are set.
int SetProgramRights() {
    const std::wstring_view named = ProgramFolderArgument(GetCommandLineW());
    const std::wstring folder = named.empty() ? FolderOf(ProgramPath()) : std::wstring(named);
    return static_cast<int>(SecureServiceFolder(folder, ServiceFolder::Program, &ReportMovedAside));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    switch (ParseServiceCommand(GetCommandLineW())) {
    case ServiceCommand::SetProgramRights: return SetProgramRights();
    case ServiceCommand::MakeRecordFolder:
        return static_cast<int>(SecureServiceFolder(RunRecordFolder(), ServiceFolder::Record, &ReportMovedAside));
    case ServiceCommand::SetServiceRights: return static_cast<int>(SetServiceControlRights());
    case ServiceCommand::Drill: return RequestDrill();
    case ServiceCommand::Status: return ShowStatus();
    case ServiceCommand::Unknown: return ERROR_INVALID_PARAMETER;
    case ServiceCommand::RunAsService: break;
    }
    wchar_t name[sizeof product::kServiceName / sizeof product::kServiceName[0]];
    lstrcpyW(name, product::kServiceName);  // the table wants a writable name
    const SERVICE_TABLE_ENTRYW services[] = {{name, &ServiceMain}, {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherW(services)) return 0;
    if (GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) return kFatalExitCode;
    MessageBoxW(nullptr, texts::kServiceStartedByHand, texts::kBoxTitle, MB_OK | MB_ICONINFORMATION);
    return kFatalExitCode;
}
