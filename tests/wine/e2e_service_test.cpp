// kelvarid-service.exe through the service manager of the test's Wine prefix, and
// kelvarid.exe beside it: one pulser per machine, whichever started first.
//   ServiceRunning.*  expect the service Kelvarid to run already (service_test.sh starts it);
//   ServiceControl.*  expect it to exist, stopped;
//   ServiceStart.*    make their own service and delete it again.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "product.h"
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

// kelvarid.exe runs (with the recording stand-in): the service must not pulse beside it. Its
// ports would lead nowhere if it did: the prefix maps them to build/ports, empty here.
TEST(ServiceStart, FailsWithCodeFourWhileTheProgramRunsWhichGoesOn) {
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
    ASSERT_TRUE(WaitUntil([&] { return StatusOf(service.get()).dwCurrentState == SERVICE_STOPPED; }, 15000))
        << "the service still runs beside kelvarid.exe";
    const SERVICE_STATUS_PROCESS status = StatusOf(service.get());
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(status.dwServiceSpecificExitCode, 4u);

    EXPECT_FALSE(program.program->WaitForExit(0)) << "kelvarid.exe ended";
    EXPECT_TRUE(IsWindowVisible(program.Main()));
}

}  // namespace
}  // namespace e2e
