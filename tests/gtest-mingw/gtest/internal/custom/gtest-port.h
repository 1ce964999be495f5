// Found before GoogleTest's own (empty) custom port header in the Windows
// builds. MinGW's win32 thread model has no std::mutex or
// std::condition_variable, on which GoogleTest's Notification is built; only
// GoogleTest's own thread helpers use it, so a spinning flag will do.
#pragma once

#include <atomic>
#include <string> // defines _GLIBCXX_HAS_GTHREADS where the threads exist

#if defined(__MINGW32__) && !defined(_GLIBCXX_HAS_GTHREADS)
#define GTEST_HAS_NOTIFICATION_ 1
namespace testing {
namespace internal {
class Notification {
  public:
    Notification() : notified_(false) {}
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { notified_.store(true); }
    void WaitForNotification() {
        while (!notified_.load()) {
        }
    }

  private:
    std::atomic<bool> notified_;
};
} // namespace internal
} // namespace testing
#endif
