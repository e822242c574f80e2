// Holds Kelvarid's machine-wide instance mutex, as a running Kelvarid does, but with no window:
// as Kelvarid running in another session looks from here. Creates the file named by its last
// argument once it holds what it holds, then waits until it is ended.
// With --nothing it holds nothing and only waits until it is ended: a program of the machine's
// own work, for the service's health checks to watch. With --service-mutex <file> it holds the
// service's own name instead, as someone who made it first would. With --service-handle <file>
// it holds a handle to the service Kelvarid, as the Services console or a monitoring agent does:
// a service deleted meanwhile only goes once the handle is closed.
#include <windows.h>

#include "platform/handles.h"
#include "platform/one_instance.h"

namespace {

bool Is(const wchar_t* argument, const wchar_t* option) { return lstrcmpW(argument, option) == 0; }

bool HoldServiceHandle(kelvarid::UniqueServiceHandle& manager, kelvarid::UniqueServiceHandle& service) {
    manager.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    service.reset(manager ? OpenServiceW(manager.get(), kelvarid::product::kServiceName, SERVICE_QUERY_STATUS) : nullptr);
    return service != nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && Is(argv[1], L"--nothing")) Sleep(INFINITE);
    if (argc < 2) return 2;
    kelvarid::UniqueHandle held;
    kelvarid::UniqueServiceHandle manager;
    kelvarid::UniqueServiceHandle service;
    if (argc == 3 && Is(argv[1], L"--service-handle")) {
        if (!HoldServiceHandle(manager, service)) return 2;
    } else {
        const bool serviceName = argc == 3 && Is(argv[1], L"--service-mutex");
        held = kelvarid::ClaimInstance(serviceName ? kelvarid::kServiceMutexName : kelvarid::kInstanceMutexName);
        if (!held) return 2;
    }
    HANDLE marker = CreateFileW(argv[argc - 1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker == INVALID_HANDLE_VALUE) return 2;
    CloseHandle(marker);
    Sleep(INFINITE);
    return 0;
}
