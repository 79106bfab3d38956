#include "platform/Process.h"

#include <windows.h>

#include <atomic>

#include "platform/win32/Ownership.h"

namespace platform::process {

void Pause(std::uint32_t milliseconds) { Sleep(milliseconds); }

void EndNow(std::uint32_t exitCode) { ExitProcess(exitCode); }

void EndAtOnce(std::uint32_t exitCode) {
    TerminateProcess(GetCurrentProcess(), exitCode);
    for (;;) Sleep(INFINITE);  // the process is ending
}

void WaitToBeEnded() {
    for (;;) Sleep(INFINITE);
}

std::uint32_t CurrentThread() noexcept { return GetCurrentThreadId(); }

namespace {

struct Watchdog {
    win32::UniqueKernelHandle changed;  // an event: re-armed, or stopped
    win32::UniqueKernelHandle thread;
    std::atomic<DWORD> milliseconds{0};
    std::atomic<bool> stopped{false};
    void (*onTimeout)() = nullptr;
};

Watchdog& TheWatchdog() {
    static Watchdog watchdog;
    return watchdog;
}

DWORD WINAPI Watch(void*) {
    auto& watchdog = TheWatchdog();
    for (;;) {
        if (WaitForSingleObject(watchdog.changed.get(), watchdog.milliseconds) == WAIT_TIMEOUT) {
            watchdog.onTimeout();
            return 0;
        }
        if (watchdog.stopped) return 0;
    }
}

}  // namespace

void StartWatchdog(std::uint32_t seconds, void (*onTimeout)()) {
    auto& watchdog = TheWatchdog();
    watchdog.milliseconds = seconds * 1000;
    watchdog.onTimeout = onTimeout;
    if (watchdog.thread) {
        SetEvent(watchdog.changed.get());  // the running watchdog counts anew
        return;
    }
    watchdog.changed.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!watchdog.changed) win32::FailWithLastError(L"Starting the watchdog");
    watchdog.thread.reset(CreateThread(nullptr, 0, &Watch, nullptr, 0, nullptr));
    if (!watchdog.thread) win32::FailWithLastError(L"Starting the watchdog");
}

void StopWatchdog() noexcept {
    auto& watchdog = TheWatchdog();
    watchdog.stopped = true;
    if (watchdog.changed) SetEvent(watchdog.changed.get());
}

}  // namespace platform::process
