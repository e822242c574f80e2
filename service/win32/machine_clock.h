// The service's clock: Windows' steady count, the system's time, and the time asleep taken out
// (AwakeClock). The control handler tells it of a suspend and a wake as they come, before
// anything else may run; the checks read it on their threads.
#pragma once

#include <windows.h>

#include "platform/handles.h"
#include "platform/tick_count.h"
#include "service/instant.h"
#include "service/win32/local_time.h"

namespace kelvarid {

class MachineClock {
public:
    void Suspending() {
        Locked locked(lock_);
        clock_.Suspending(Uptime());
    }
    void Resumed() {
        Locked locked(lock_);
        clock_.Resumed(Uptime());
    }
    Instant Now() {
        const std::uint64_t wall = SystemTimeNow();
        Locked locked(lock_);
        return clock_.Now(Uptime(), wall);
    }

private:
    static std::int64_t Uptime() { return static_cast<std::int64_t>(TickCount64()); }

    CriticalSection lock_;  // held only to read or change the time asleep
    AwakeClock clock_;
};

}  // namespace kelvarid
