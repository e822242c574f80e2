#include "platform/tick_count.h"

#include <windows.h>

#include <atomic>

namespace kelvarid {

namespace {

using TickCount64Fn = ULONGLONG(WINAPI*)();

TickCount64Fn SystemTickCount64() {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<TickCount64Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetTickCount64")));
}

// The last widened reading of this process: one for all its threads, changed only by a
// compare-and-swap, so that no lock is needed on Windows that has none to spare for it.
std::atomic<std::uint64_t> lastWidened{0};

std::uint64_t WidenedTickCount() {
    std::uint64_t last = lastWidened.load();
    for (;;) {
        const std::uint64_t now = WidenTickCount(last, GetTickCount());
        if (now <= last) return now;  // a reading from just before another thread's
        if (lastWidened.compare_exchange_weak(last, now)) return now;
    }
}

}  // namespace

std::uint64_t TickCount64() {
    const TickCount64Fn system = SystemTickCount64();
    return system != nullptr ? system() : WidenedTickCount();
}

}  // namespace kelvarid
