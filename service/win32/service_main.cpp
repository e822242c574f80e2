// kelvarid-service.exe: the keep-alive of kelvarid.exe as a Windows service, pulsing from boot
// with no window and nobody logged on. The host: the service manager's plumbing, which reports
// the service's states and passes its controls on to the work (service_work.cpp), and the
// command line's other requests.
#include <windows.h>

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
    void StopWithCode(DWORD specificExitCode) {
        status_.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        status_.dwServiceSpecificExitCode = specificExitCode;
        SetStatus(SERVICE_STOPPED);
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

void WINAPI ServiceMain(DWORD, wchar_t**) {
    // Kept until the process ends: a control the service manager sent just before the service
    // stopped may still be running on the dispatcher's thread when this returns.
    static ServiceHost host;
    if (!host.Register()) return;
    host.SetStatus(SERVICE_START_PENDING, kStartWaitHintMs);
    SetFatalReporter(&ReportFatal, &host.Log());
    if (!host.MakeEvents()) FatalWithLastError(texts::kEventsNotMade);
    // Never two pulsers: not beside kelvarid.exe, not beside another copy of the service.
    const UniqueHandle serviceMutex = ClaimInstance(kServiceMutexName);
    const UniqueHandle instanceMutex = serviceMutex ? ClaimInstance() : UniqueHandle();
    if (!instanceMutex) {
        host.Log().AlreadyRunning(serviceMutex ? L"kelvarid.exe" : L"kelvarid-service.exe");
        host.StopWithCode(kAlreadyRunningExitCode);
        return;
    }
    PulseUntilStopped(host.Log(), host.Signals(), host, host.Clock());
    host.SetStatus(SERVICE_STOPPED);
}

// What the installer asks for: the exit code is 0 or the system's error number. Handled
// before the dispatcher, which Wine lets wait for ever when no service manager started it.
int SetProgramRights() {
    const std::wstring folder = FolderOf(ProgramPath());
    if (folder.empty()) return ERROR_PATH_NOT_FOUND;
    return static_cast<int>(SetServiceFolderRights(folder, ServiceFolder::Program));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    switch (ParseServiceCommand(GetCommandLineW())) {
    case ServiceCommand::SetProgramRights: return SetProgramRights();
    case ServiceCommand::MakeRecordFolder: return static_cast<int>(MakeRecordFolder());
    case ServiceCommand::SetServiceRights: return static_cast<int>(SetServiceControlRights());
    case ServiceCommand::Drill: return RequestDrill();
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
