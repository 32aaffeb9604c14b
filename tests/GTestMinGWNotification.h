// MinGW's win32 thread model has no std::mutex or std::condition_variable, which
// GoogleTest's own Notification is built on. This one, on a Win32 event, takes its
// place; it is force-included into every test translation unit of a MinGW build.
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : m_event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(m_event); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(m_event); }
    void WaitForNotification() { WaitForSingleObject(m_event, INFINITE); }

private:
    HANDLE m_event;
};

} // namespace internal
} // namespace testing

#define GTEST_HAS_NOTIFICATION_ 1
