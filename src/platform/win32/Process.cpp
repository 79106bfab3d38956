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
std::uint32_t Milliseconds() noexcept { return GetTickCount(); }

namespace {

struct Watchdog {
    win32::UniqueKernelHandle changed;  // an event: re-armed, or stopped
    win32::UniqueKernelHandle running;  // an event: its thread has started
    win32::UniqueKernelHandle thread;
    std::atomic<DWORD> milliseconds{0};
    std::atomic<bool> stopped{false};
    void (*onTimeout)() = nullptr;
};

// How long the watchdog's thread may take to start before the run goes on without
// waiting: far longer than a thread's start takes.
constexpr DWORD StartWaitMs = 10000;

Watchdog& TheWatchdog() {
    static Watchdog watchdog;
    return watchdog;
}

DWORD WINAPI Watch(void*) {
    auto& watchdog = TheWatchdog();
    SetEvent(watchdog.running.get());
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
    watchdog.running.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!watchdog.changed || !watchdog.running) win32::FailWithLastError(L"Starting the watchdog");
    watchdog.thread.reset(CreateThread(nullptr, 0, &Watch, nullptr, 0, nullptr));
    if (!watchdog.thread) win32::FailWithLastError(L"Starting the watchdog");
    // A new thread starts inside the loader (its DLLs are told of it): until it has, a
    // run's thread that hangs in a DLL's load would keep the watchdog from ever running.
    WaitForSingleObject(watchdog.running.get(), StartWaitMs);
}

void StopWatchdog() noexcept {
    auto& watchdog = TheWatchdog();
    watchdog.stopped = true;
    if (watchdog.changed) SetEvent(watchdog.changed.get());
}

}  // namespace platform::process
