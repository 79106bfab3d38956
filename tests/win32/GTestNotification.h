#pragma once
// GoogleTest's thread-start notification, declared here and made of a Win32 event in
// GTestNotification.cpp. GoogleTest's own one is made of std::mutex and
// std::condition_variable, which the win32 thread model of Debian's MinGW g++ 12
// lacks (GoogleTest's mutexes on Windows are its own already). Included ahead of
// every GoogleTest source and test (CMakeLists.txt); it includes nothing itself.
#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification();
    ~Notification();
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify();
    void WaitForNotification();

private:
    void* event_;
};

}  // namespace internal
}  // namespace testing
