// kelvarid-service.exe through the service manager of the test's Wine prefix, and
// kelvarid.exe beside it: one pulser per machine, whichever started first.
//   ServiceRunning.*  expect the service Kelvarid to run already (service_test.sh starts it);
//   ServiceControl.*  expect it to exist, stopped;
//   ServiceStart.*    make their own service and delete it again;
//   FolderRights.*    the rights the installer has the service's program set on its folders.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "product.h"
#include "service/win32/folder_rights.h"
#include "tests/wine/harness.h"

namespace e2e {
namespace {

struct ServiceHandleDeleter {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using UniqueService = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleDeleter>;

constexpr const wchar_t* kName = kelvarid::product::kServiceName;

// The service manager, waited for: in a prefix that has just started, services.exe may not
// answer yet (RPC_S_SERVER_UNAVAILABLE).
UniqueService Manager() {
    UniqueService manager;
    WaitUntil([&] {
        manager.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        return manager != nullptr;
    }, 20000);
    return manager;
}

SERVICE_STATUS_PROCESS StatusOf(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed)) {
        status.dwCurrentState = 0;
    }
    return status;
}

struct Config {
    DWORD startType = 0;
    std::wstring account;
    std::wstring binary;
};

Config ConfigOf(SC_HANDLE service) {
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (needed == 0 || !QueryServiceConfigW(service, config, needed, &needed)) return {};
    return {config->dwStartType, config->lpServiceStartName ? config->lpServiceStartName : L"",
            config->lpBinaryPathName ? config->lpBinaryPathName : L""};
}

// A service Kelvarid for one test: stopped if it runs and deleted at the end, whatever happened.
class TemporaryService {
public:
    TemporaryService(SC_HANDLE manager, const std::wstring& binary)
        : service_(CreateServiceW(manager, kName, kName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                  SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr, nullptr,
                                  nullptr, L"NT AUTHORITY\\LocalService", nullptr)) {}
    ~TemporaryService() {
        if (!service_) return;
        SERVICE_STATUS status{};
        if (StatusOf(service_.get()).dwCurrentState != SERVICE_STOPPED) {
            ControlService(service_.get(), SERVICE_CONTROL_STOP, &status);
            WaitUntil([&] { return StatusOf(service_.get()).dwCurrentState == SERVICE_STOPPED; }, 10000);
        }
        DeleteService(service_.get());
    }
    TemporaryService(const TemporaryService&) = delete;
    TemporaryService& operator=(const TemporaryService&) = delete;
    SC_HANDLE get() const { return service_.get(); }

private:
    UniqueService service_;
};

TEST(ServiceRunning, RunsFromBootUnderLocalServiceAndTakesNoControlButStop) {
    const UniqueService manager = Manager();
    ASSERT_TRUE(manager) << "no service manager, error " << GetLastError();
    const UniqueService service(OpenServiceW(manager.get(), kName, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    ASSERT_TRUE(service) << "no service Kelvarid, error " << GetLastError();

    const Config config = ConfigOf(service.get());
    EXPECT_EQ(config.startType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(config.account, L"NT AUTHORITY\\LocalService");
    const SERVICE_STATUS_PROCESS status = StatusOf(service.get());
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    // Not SHUTDOWN nor PRESHUTDOWN: the pulses go on until the very end of a shutdown. Power
    // events: a wake brings the next rise at once.
    EXPECT_EQ(status.dwControlsAccepted, static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_POWEREVENT));
    // Above ordinary programs, so that the pulses keep their time on a loaded machine.
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, status.dwProcessId);
    ASSERT_NE(process, nullptr) << "the service's process cannot be opened, error " << GetLastError();
    EXPECT_EQ(GetPriorityClass(process), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    CloseHandle(process);
}

TEST(ServiceRunning, TheProgramSaysTheServiceRunsOpensNoPortAndExitsWithFour) {
    StandinRun program(L"1234");
    const BoxView box = program.program->WaitForBox(kStartTimeoutMs);
    ASSERT_NE(box.window, nullptr) << "kelvarid.exe shows no box while the service runs";
    EXPECT_EQ(box.title, L"Kelvarid");
    EXPECT_EQ(box.text, L"Kelvarid už běží jako služba. / Kelvarid is already running as a service.");
    EXPECT_EQ(program.program->MainWindow(), nullptr) << "kelvarid.exe made its window beside the service";
    ASSERT_TRUE(CloseBox(box));
    ASSERT_TRUE(program.program->WaitForExit(5000));
    EXPECT_EQ(program.program->ExitCode(), 4u);
    EXPECT_TRUE(program.Calls().empty()) << "kelvarid.exe called its library beside the service";
}

// Anyone the service manager lets send the service its own control sends only the control: no
// request of an administrator comes with it. service_test.sh reads the refusal from the log.
TEST(ServiceDrillControl, TheControlIsTakenAndItsRefusalLogged) {
    const UniqueService manager = Manager();
    ASSERT_TRUE(manager) << "no service manager, error " << GetLastError();
    const UniqueService service(OpenServiceW(manager.get(), kName, SERVICE_USER_DEFINED_CONTROL | SERVICE_QUERY_STATUS));
    ASSERT_TRUE(service) << "no service Kelvarid, error " << GetLastError();
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service.get(), 128, &status)) << "error " << GetLastError();
}

// The first rise comes as the service reports RUNNING; a STOP 100 ms later falls into its
// 500 ms high phase. service_test.sh reads from the line when it came down.
TEST(ServiceControl, AStopInTheFirstPulseEndsTheServiceWithoutAnError) {
    const UniqueService manager = Manager();
    ASSERT_TRUE(manager) << "no service manager, error " << GetLastError();
    const UniqueService service(OpenServiceW(manager.get(), kName, SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS));
    ASSERT_TRUE(service) << "no service Kelvarid, error " << GetLastError();
    ASSERT_EQ(StatusOf(service.get()).dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));

    ASSERT_TRUE(StartServiceW(service.get(), 0, nullptr)) << "error " << GetLastError();
    ASSERT_TRUE(WaitUntil([&] { return StatusOf(service.get()).dwCurrentState == SERVICE_RUNNING; }, 15000));
    Sleep(100);
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) << "error " << GetLastError();
    ASSERT_TRUE(WaitUntil([&] { return StatusOf(service.get()).dwCurrentState == SERVICE_STOPPED; }, 10000));
    EXPECT_EQ(StatusOf(service.get()).dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
}

// kelvarid.exe runs (with the recording stand-in) and holds Kelvarid's name: the name, which
// any account can make, does not keep the service from running. Its ports lead nowhere: the
// prefix maps them to its own ports folder, empty here.
TEST(ServiceStart, RunsWhileTheProgramHoldsTheNameAndTheProgramGoesOn) {
    StandinRun program(L"1");
    ASSERT_TRUE(program.PastStartUp());
    const UniqueService manager = Manager();
    ASSERT_TRUE(manager) << "no service manager, error " << GetLastError();
    Folder folder;
    folder.CopyIn(BuiltFile("kelvarid-service.exe"), L"kelvarid-service.exe");
    folder.CopyIn(BuiltFile("serline.dll"), L"serline.dll");
    const TemporaryService service(manager.get(), folder / L"kelvarid-service.exe");
    ASSERT_NE(service.get(), nullptr) << "the service cannot be made, error " << GetLastError();

    ASSERT_TRUE(StartServiceW(service.get(), 0, nullptr)) << "error " << GetLastError();
    ASSERT_TRUE(WaitUntil([&] { return StatusOf(service.get()).dwCurrentState == SERVICE_RUNNING; }, 15000))
        << "the service did not run beside kelvarid.exe: state " << StatusOf(service.get()).dwCurrentState;
    // Stopped as an administrator would: the control finds it running, and it ends without an
    // error of its own.
    SERVICE_STATUS stopped{};
    ASSERT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &stopped)) << "error " << GetLastError();
    ASSERT_TRUE(WaitUntil([&] { return StatusOf(service.get()).dwCurrentState == SERVICE_STOPPED; }, 10000));
    EXPECT_EQ(StatusOf(service.get()).dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));

    EXPECT_FALSE(program.program->WaitForExit(0)) << "kelvarid.exe ended";
    EXPECT_TRUE(IsWindowVisible(program.Main()));
}

// One entry of an access list as the test expects it: who, and what they may do.
struct Grant {
    WELL_KNOWN_SID_TYPE who;
    ACCESS_MASK rights;
};

bool IsSid(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE known[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof known;
    return CreateWellKnownSid(type, nullptr, known, &size) && EqualSid(sid, known);
}

// The descriptor as Windows reads it: owner Administrators, an access list that inherits
// nothing from above, and exactly `grants`, each passed on to files and folders inside.
void ExpectDescriptor(kelvarid::ServiceFolder folder, const std::vector<Grant>& grants) {
    const kelvarid::UniqueDescriptor descriptor = kelvarid::ServiceFolderDescriptor(folder);
    ASSERT_TRUE(descriptor) << "error " << GetLastError();
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted));
    EXPECT_TRUE(owner != nullptr && IsSid(owner, WinBuiltinAdministratorsSid)) << "the owner is not Administrators";
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the folder would inherit entries from above";
    PACL list = nullptr;
    BOOL present = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &list, &defaulted));
    ASSERT_TRUE(present && list != nullptr) << "no access list: everyone could do anything";
    ASSERT_EQ(list->AceCount, grants.size());
    for (DWORD index = 0; index < list->AceCount; ++index) {
        void* raw = nullptr;
        ASSERT_TRUE(GetAce(list, index, &raw));
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
        const Grant& expected = grants[index];
        SCOPED_TRACE("entry " + std::to_string(index));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_TRUE(IsSid(const_cast<DWORD*>(&ace->SidStart), expected.who)) << "someone else has this entry";
        EXPECT_EQ(ace->Mask, expected.rights);
    }
}

constexpr ACCESS_MASK kReadAndRun = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
constexpr ACCESS_MASK kModify = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;

TEST(FolderRights, TheProgramFolderIsChangedOnlyByAdministratorsAndSystemAndRunByUsersAndTheService) {
    ExpectDescriptor(kelvarid::ServiceFolder::Program, {{WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                                                        {WinLocalSystemSid, FILE_ALL_ACCESS},
                                                        {WinBuiltinUsersSid, kReadAndRun},
                                                        {WinLocalServiceSid, kReadAndRun}});
}

TEST(FolderRights, TheRecordFolderIsWrittenByTheServiceAndReadByNoUser) {
    ExpectDescriptor(kelvarid::ServiceFolder::Record, {{WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                                                       {WinLocalSystemSid, FILE_ALL_ACCESS},
                                                       {WinLocalServiceSid, kModify}});
}

// The service's program started with an option, as the installer starts it; its exit code.
DWORD RunServiceProgram(const std::wstring& exe, const std::wstring& options) {
    std::wstring commandLine = L"\"" + exe + L"\" " + options;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return GetLastError() | 0x80000000u;
    }
    CloseHandle(info.hThread);
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(info.hProcess, 20000) == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &code);
    else TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    return code;
}

// Wine keeps no rights (it answers with a descriptor made from the Unix mode), so only the
// calls can be seen to work: on the folder, a file and a folder in it. An option it does not
// know does nothing and says so, and never waits for a service manager.
TEST(FolderRights, TheProgramSetsThemOnItsFolderAndWhatIsInItAndRefusesAnOptionItDoesNotKnow) {
    Folder folder;
    folder.CopyIn(BuiltFile("kelvarid-service.exe"), L"kelvarid-service.exe");
    folder.CopyIn(BuiltFile("serline.dll"), L"serline.dll");
    ASSERT_TRUE(CreateDirectoryW((folder / L"planted").c_str(), nullptr));
    folder.CopyIn(BuiltFile("serline.dll"), L"planted\\serline.dll");
    const std::wstring exe = folder / L"kelvarid-service.exe";
    EXPECT_EQ(RunServiceProgram(exe, L"--set-program-rights"), 0u);
    EXPECT_EQ(RunServiceProgram(exe, L"--set-rights-everywhere"), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
}  // namespace e2e
