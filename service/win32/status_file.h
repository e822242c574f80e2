// The running service's status, for `kelvaridctl status`: <program data>\Kelvarid\status.txt,
// UTF-16, beside the record. Every account may read it and none but administrators, SYSTEM and
// the service may change it (nor, as its folder is the record's, put another in its place).
// Written on a thread of its own from the last state handed over: nothing waits for a disk.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/handles.h"
#include "service/status.h"

namespace kelvarid {

// "C:\ProgramData\Kelvarid\status.txt"; "" when the program data folder is not known.
std::wstring StatusPath();
// What the service wrote last; none when there is nothing to read or it is no status.
std::optional<PublishedStatus> ReadStatus();

class StatusFile {
public:
    StatusFile() = default;
    StatusFile(const StatusFile&) = delete;
    StatusFile& operator=(const StatusFile&) = delete;

    // False when its thread cannot be made: nothing is published then, and nothing else changes.
    bool Start(std::uint64_t started);
    // One field changed, and the state written soon.
    template <class Value>
    void Set(Value PublishedStatus::*field, Value value) {
        {
            Locked locked(lock_);
            status_.*field = static_cast<Value&&>(value);
            due_ = true;
        }
        Wake();
    }
    // A check that passes again is no longer the one failing.
    void CheckPasses(std::wstring_view check) {
        {
            Locked locked(lock_);
            if (status_.failing != check) return;
            status_.failing.clear();
            due_ = true;
        }
        Wake();
    }
    // At STOP: the last state written, for at most `waitMs`; then the thread ends. False when a
    // write still hangs: the thread may wake later, so this object must then outlive it.
    bool Finish(DWORD waitMs);

private:
    void Wake() {
        if (wake_) SetEvent(wake_.get());
    }
    static DWORD WINAPI Run(void* self);
    void Write(const std::wstring& text);

    CriticalSection lock_;  // over status_, due_ and ending_; never held while the file is written
    PublishedStatus status_;
    bool due_ = false;
    bool ending_ = false;
    UniqueHandle wake_;
    UniqueHandle thread_;
    UniqueDescriptor descriptor_;  // the file's rights, made once
};

}  // namespace kelvarid
