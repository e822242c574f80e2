// kelvarid-service.exe: the keep-alive of kelvarid.exe as a Windows service, pulsing from boot
// with no window and nobody logged on. The host: the service manager's plumbing, which reports
// the service's states and passes its controls on to the work (work/service_work.cpp), and the
// command line's other requests.
#include <windows.h>

#include <string>

#include "platform/fatal.h"
#include "platform/handles.h"
#include "platform/one_instance.h"
#include "platform/program_path.h"
#include "service/checks_and_drill/run_record_file.h"
#include "service/host/drill_request.h"
#include "service/host/folder_rights.h"
#include "service/host/service_command.h"
#include "service/log/event_log.h"
#include "service/texts.h"
#include "service/work/service_work.h"
#include "service/work/settings.h"

namespace {

using namespace kelvarid;

constexpr DWORD kStartWaitHintMs = 30000;  // the configured port may be slow to open
constexpr DWORD kStopWaitHintMs = 5000;

// The one service of this process. The control handler runs on the dispatcher's thread and
// only sets events, and logs a suspend, which may not wait; everything else, the status too,
// happens on the service's thread.
struct ServiceState {
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, NO_ERROR, 0, 0, 0};
    UniqueHandle stopEvent;
    UniqueHandle resumeEvent;  // the machine has woken from sleep
    UniqueHandle drillEvent;   // an administrator asks for a drill
};

ServiceState theService;
EventLog* theLog = nullptr;  // for the fatal path and the control handler, which have no other way to it

void SetStatus(DWORD state, DWORD waitHintMs = 0) {
    theService.status.dwCurrentState = state;
    // STOP and power events only: never SHUTDOWN or PRESHUTDOWN. The pulses go on until the
    // system ends the process at the very end of a shutdown, as late as anything can run.
    theService.status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_POWEREVENT : 0;
    theService.status.dwWaitHint = waitHintMs;
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) ++theService.status.dwCheckPoint;
    else theService.status.dwCheckPoint = 0;
    // Nothing else can be told to the service manager when this fails: the work goes on.
    SetServiceStatus(theService.statusHandle, &theService.status);
}

void StopWithCode(DWORD specificExitCode) {
    theService.status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    theService.status.dwServiceSpecificExitCode = specificExitCode;
    SetStatus(SERVICE_STOPPED);
}

DWORD WINAPI OnControl(DWORD control, DWORD eventType, void*, void*) {
    if (control == SERVICE_CONTROL_STOP) {
        SetEvent(theService.stopEvent.get());
        return NO_ERROR;
    }
    if (control == SERVICE_CONTROL_POWEREVENT) {
        // Written here: the machine may sleep before the service's thread gets to run.
        if (eventType == PBT_APMSUSPEND && theLog != nullptr) theLog->Suspending();
        if (eventType == PBT_APMRESUMEAUTOMATIC) SetEvent(theService.resumeEvent.get());
        return NO_ERROR;
    }
    if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
    if (control == kDrillControl) {
        SetEvent(theService.drillEvent.get());
        return NO_ERROR;
    }
    return ERROR_CALL_NOT_IMPLEMENTED;
}

void ReportFatal(std::wstring_view what) {
    // Ending without SERVICE_STOPPED counts as a failure: the service manager's recovery
    // actions (restart) apply.
    if (theLog != nullptr) theLog->Fatal(what);
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    theService.statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, &OnControl, nullptr);
    if (theService.statusHandle == nullptr) return;  // nothing can be reported to anyone
    SetStatus(SERVICE_START_PENDING, kStartWaitHintMs);
    EventLog log;
    theLog = &log;
    SetFatalReporter(&ReportFatal);

    theService.stopEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    theService.resumeEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    theService.drillEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!theService.stopEvent || !theService.resumeEvent || !theService.drillEvent) {
        FatalWithLastError(texts::kEventsNotMade);
    }
    // Never two pulsers: not beside kelvarid.exe, not beside another copy of the service.
    const UniqueHandle serviceMutex = ClaimInstance(kServiceMutexName);
    const UniqueHandle instanceMutex = serviceMutex ? ClaimInstance() : UniqueHandle();
    if (!instanceMutex) {
        log.AlreadyRunning(serviceMutex ? L"kelvarid.exe" : L"kelvarid-service.exe");
        StopWithCode(kAlreadyRunningExitCode);
        return;
    }
    const WorkSignals signals{theService.stopEvent.get(), theService.resumeEvent.get(), theService.drillEvent.get(),
                              [] { SetStatus(SERVICE_RUNNING); },
                              [] { SetStatus(SERVICE_STOP_PENDING, kStopWaitHintMs); }};
    PulseUntilStopped(log, signals);
    SetStatus(SERVICE_STOPPED);
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
    lstrcpyW(name, kServiceName);  // the table wants a writable name
    const SERVICE_TABLE_ENTRYW services[] = {{name, &ServiceMain}, {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherW(services)) return 0;
    if (GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) return kFatalExitCode;
    MessageBoxW(nullptr, texts::kServiceStartedByHand, texts::kBoxTitle, MB_OK | MB_ICONINFORMATION);
    return kFatalExitCode;
}
