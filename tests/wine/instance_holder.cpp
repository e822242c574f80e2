// Holds Kelvarid's machine-wide instance mutex, as a running Kelvarid does, but with no window:
// as Kelvarid running in another session or as a service looks from here. Creates the file
// named by its last argument once it holds what it holds, then waits until it is ended.
// With --nothing it holds nothing and only waits until it is ended: a program of the machine's
// own work, for the service's health checks to watch. With --service-mutex <file> it holds the
// service's own name instead, as someone who made it first would. With --service-handle <file>
// it holds the service itself open, as the Services console or a monitoring agent does; with
// --open-file <path> <file> the file at path, open and shared with nobody, as a virus scanner
// or a backup may. With --service-start <n> it only sets the service's start type (2 automatic, 4
// disabled) through the service manager, as an administrator does with sc config, which Wine's sc
// lacks.
#include <windows.h>

#include "platform/one_instance.h"

namespace {

bool Marked(const wchar_t* marker) {
    HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool HoldService() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    return manager != nullptr && OpenServiceW(manager, kelvarid::product::kServiceName, SERVICE_QUERY_STATUS) != nullptr;
}

bool SetServiceStart(const wchar_t* start) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceW(manager, kelvarid::product::kServiceName, SERVICE_CHANGE_CONFIG) : nullptr;
    return service != nullptr && ChangeServiceConfigW(service, SERVICE_NO_CHANGE, static_cast<DWORD>(_wtoi(start)),
                                                      SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                      nullptr, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && lstrcmpW(argv[1], L"--nothing") == 0) Sleep(INFINITE);
    if (argc == 3 && lstrcmpW(argv[1], L"--service-start") == 0) return SetServiceStart(argv[2]) ? 0 : 2;
    if (argc == 3 && lstrcmpW(argv[1], L"--service-handle") == 0) {
        if (!HoldService() || !Marked(argv[2])) return 2;
        Sleep(INFINITE);
    }
    if (argc == 4 && lstrcmpW(argv[1], L"--open-file") == 0) {
        if (CreateFileW(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) == INVALID_HANDLE_VALUE ||
            !Marked(argv[3]))
            return 2;
        Sleep(INFINITE);
    }
    const bool service = argc == 3 && lstrcmpW(argv[1], L"--service-mutex") == 0;
    const kelvarid::UniqueHandle held =
        kelvarid::ClaimInstance(service ? kelvarid::kServiceMutexName : kelvarid::kInstanceMutexName);
    if (!held || argc < 2) return 2;
    if (!Marked(argv[argc - 1])) return 2;
    Sleep(INFINITE);
    return 0;
}
