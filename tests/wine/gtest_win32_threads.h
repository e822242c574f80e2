// MinGW's win32 thread model has no std::mutex, which GoogleTest's Notification is built on.
// This gives GoogleTest a Notification made of a Windows event instead; it is read before
// every GoogleTest header of the Windows-side tests.
#pragma once

#ifdef __cplusplus
#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace testing::internal
#endif
