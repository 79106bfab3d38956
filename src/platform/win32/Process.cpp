#include "platform/Process.h"

#include <windows.h>

#include "platform/win32/Ownership.h"

namespace platform::process {

void Pause(std::uint32_t milliseconds) { Sleep(milliseconds); }

void EndNow(std::uint32_t exitCode) { ExitProcess(exitCode); }

void WaitToBeEnded() {
    for (;;) Sleep(INFINITE);
}

namespace {

struct Watchdog {
    win32::UniqueKernelHandle stop;  // an event, set when the run is over
    win32::UniqueKernelHandle thread;
    DWORD milliseconds = 0;
    void (*onTimeout)() = nullptr;
};

Watchdog& TheWatchdog() {
    static Watchdog watchdog;
    return watchdog;
}

DWORD WINAPI Watch(void*) {
    const auto& watchdog = TheWatchdog();
    if (WaitForSingleObject(watchdog.stop.get(), watchdog.milliseconds) == WAIT_TIMEOUT) watchdog.onTimeout();
    return 0;
}

}  // namespace

void StartWatchdog(std::uint32_t seconds, void (*onTimeout)()) {
    auto& watchdog = TheWatchdog();
    watchdog.milliseconds = seconds * 1000;
    watchdog.onTimeout = onTimeout;
    watchdog.stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!watchdog.stop) win32::FailWithLastError(L"Starting the watchdog");
    watchdog.thread.reset(CreateThread(nullptr, 0, &Watch, nullptr, 0, nullptr));
    if (!watchdog.thread) win32::FailWithLastError(L"Starting the watchdog");
}

void StopWatchdog() {
    const auto& watchdog = TheWatchdog();
    if (watchdog.stop) SetEvent(watchdog.stop.get());
}

}  // namespace platform::process
