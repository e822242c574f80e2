// An administrator's request that the running kelvarid.exe make way for a new version: the
// installer sets one of two machine-wide events. Only administrators and SYSTEM can set them,
// so that no other user can stop another session's pulses; a close request still changes
// nothing.
#pragma once

#include "platform/handles.h"

namespace kelvarid {

enum class MakeWayRequest {
    None,
    Restart,  // the new files are in place: start them, in this session, as this user
    End,      // the service takes over: end
};

class MakeWayEvents {
public:
    // Listens only to events it made itself: one that someone else made first could be set by
    // whoever made it.
    MakeWayEvents();
    MakeWayRequest Pending() const;
    // Closes both: a successor makes its own, which it could not while these exist.
    void StopListening();

private:
    UniqueHandle restart_;
    UniqueHandle end_;
};

// This program started again from its own path: the new version where an installer put it.
bool StartSuccessor();

}  // namespace kelvarid
