// Holds Kelvarid's machine-wide instance mutex, as a running Kelvarid does, but with no window:
// as Kelvarid running in another session or as a service looks from here. Creates the file
// named by its argument once it holds the mutex, then waits until it is ended.
// With --nothing it holds nothing and only waits until it is ended: a program of the machine's
// own work, for the service's health checks to watch. With --service-mutex <file> it holds the
// service's own name instead, as someone who made it first would.
#include <windows.h>

#include "platform/one_instance.h"

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && lstrcmpW(argv[1], L"--nothing") == 0) Sleep(INFINITE);
    const bool service = argc == 3 && lstrcmpW(argv[1], L"--service-mutex") == 0;
    const kelvarid::UniqueHandle held =
        kelvarid::ClaimInstance(service ? kelvarid::kServiceMutexName : kelvarid::kInstanceMutexName);
    if (!held || argc < 2) return 2;
    HANDLE marker = CreateFileW(argv[argc - 1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker == INVALID_HANDLE_VALUE) return 2;
    CloseHandle(marker);
    Sleep(INFINITE);
    return 0;
}
