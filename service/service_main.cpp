// kelvarid-service.exe: the keep-alive of kelvarid.exe as a Windows service, pulsing from boot
// with no window and nobody logged on. The service manager's plumbing and the loop of the
// service's one thread, which waits for Timer1, a wake from sleep or STOP and hands each to
// ServicePulses.
#include <windows.h>

#include <string>

#include "platform/fatal.h"
#include "platform/handles.h"
#include "platform/one_instance.h"
#include "platform/power.h"
#include "service/event_log.h"
#include "service/folder_rights.h"
#include "service/health_thread.h"
#include "service/service_command.h"
#include "service/service_line.h"
#include "service/service_pulses.h"
#include "service/settings.h"
#include "service/texts.h"

namespace {

using namespace kelvarid;

constexpr DWORD kStartWaitHintMs = 30000;  // the configured port may be slow to open
constexpr DWORD kStopWaitHintMs = 5000;

// Timer1 as a waitable timer, which the service's thread waits on together with its events.
class WaitableCountdown final : public Countdown {
public:
    WaitableCountdown() : timer_(CreateWaitableTimerW(nullptr, FALSE, nullptr)) {
        if (!timer_) FatalWithLastError(texts::kTimerNotMade);
    }
    void Start(unsigned milliseconds) override {
        LARGE_INTEGER due;
        due.QuadPart = -10000LL * milliseconds;  // relative, in 100 ns units
        if (!SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE)) {
            FatalWithLastError(texts::kTimerNotSet);
        }
    }
    HANDLE handle() const { return timer_.get(); }

private:
    UniqueHandle timer_;
};

// The one service of this process. The control handler runs on the dispatcher's thread and
// only sets events, and logs a suspend, which may not wait; everything else, the status too,
// happens on the service's thread.
struct ServiceState {
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, NO_ERROR, 0, 0, 0};
    UniqueHandle stopEvent;
    UniqueHandle resumeEvent;  // the machine has woken from sleep
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
    return ERROR_CALL_NOT_IMPLEMENTED;
}

void ReportFatal(std::wstring_view what) {
    // Ending without SERVICE_STOPPED counts as a failure: the service manager's recovery
    // actions (restart) apply.
    if (theLog != nullptr) theLog->Fatal(what);
}

void StopPulses(void* pulses) { static_cast<ServicePulses*>(pulses)->Stop(); }

// The pulsing thread above every ordinary thread, and Windows kept awake; neither refusal
// stops the pulses.
void RunAhead(EventLog& log) {
    if (!RunAheadOfOrdinaryWork() || !SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST)) {
        log.PriorityNotRaised(GetLastError());
    }
    (void)KeepMachineAwake();
}

// Pulses until STOP; returns with the line lowered. Once the health checks hold a rise back,
// the line stays low and the service waits for STOP: it keeps running, so that no recovery
// action of the service manager starts the pulses again.
void PulseUntilStopped(EventLog& log) {
    WaitableCountdown timer1;
    ServiceLine serialLine(log);
    // Left undeleted when a round of checks still hangs at STOP: its thread may wake later.
    auto* health = new HealthChecks(log);
    ServicePulses pulses(ConfiguredPort(log), serialLine, log, timer1, *health);
    SetFatalCleanup(&StopPulses, &pulses);
    RunAhead(log);
    // Without their thread the checks never act: the pulses go on as with no checks.
    (void)health->Start();
    pulses.Start();
    SetStatus(SERVICE_RUNNING);

    enum : DWORD { kStop = WAIT_OBJECT_0, kTick, kResume };
    const HANDLE waits[] = {theService.stopEvent.get(), timer1.handle(), theService.resumeEvent.get()};
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(3, waits, FALSE, INFINITE);
        if (woken == kStop) break;
        if (woken == kTick) {
            pulses.Tick();
            log.WriteRepeatCounts();
            continue;
        }
        if (woken != kResume) FatalWithLastError(texts::kWaitFailed);
        log.Resumed(pulses.PulsePortName());
        pulses.Resume();
    }
    SetStatus(SERVICE_STOP_PENDING, kStopWaitHintMs);
    pulses.Stop();
    SetFatalCleanup(nullptr, nullptr);
    if (health->Stop()) delete health;
    log.WriteRepeatCounts(EventLog::RepeatCounts::All);
    log.Stopped(pulses.PulsePortName());
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
    if (!theService.stopEvent || !theService.resumeEvent) FatalWithLastError(texts::kEventsNotMade);
    // Never two pulsers: not beside kelvarid.exe, not beside another copy of the service.
    const UniqueHandle serviceMutex = ClaimInstance(kServiceMutexName);
    const UniqueHandle instanceMutex = serviceMutex ? ClaimInstance() : UniqueHandle();
    if (!instanceMutex) {
        log.AlreadyRunning(serviceMutex ? L"kelvarid.exe" : L"kelvarid-service.exe");
        StopWithCode(kAlreadyRunningExitCode);
        return;
    }
    PulseUntilStopped(log);
    SetStatus(SERVICE_STOPPED);
}

// The folder this program lies in; empty when its path cannot be had.
std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring folder(path, length);
    const std::size_t slash = folder.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
}

// What the installer asks for: the exit code is 0 or the system's error number. Handled
// before the dispatcher, which Wine lets wait for ever when no service manager started it.
int SetProgramRights() {
    const std::wstring folder = ProgramFolder();
    if (folder.empty()) return ERROR_PATH_NOT_FOUND;
    return static_cast<int>(SetServiceFolderRights(folder, ServiceFolder::Program));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    switch (ParseServiceCommand(GetCommandLineW())) {
    case ServiceCommand::SetProgramRights: return SetProgramRights();
    case ServiceCommand::MakeRecordFolder: return static_cast<int>(MakeRecordFolder());
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
