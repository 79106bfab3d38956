#pragma once
// Process-level operations: the progress bar's pause, the end of the run, and the
// watchdog that bounds a run that hangs.
#include <cstdint>

namespace platform::process {

void Pause(std::uint32_t milliseconds);            // Sleep
[[noreturn]] void EndNow(std::uint32_t exitCode);  // ExitProcess: nothing after it runs
// TerminateProcess: ends the process with no DLL told, so no lock another thread holds
// (the loader's) can hold the end; what was written is kept.
[[noreturn]] void EndAtOnce(std::uint32_t exitCode);
// Another thread is ending the process: this one waits for that, and does nothing more.
[[noreturn]] void WaitToBeEnded();
std::uint32_t CurrentThread() noexcept;  // GetCurrentThreadId
std::uint32_t Milliseconds() noexcept;   // GetTickCount: a clock for intervals, which wraps

// After `seconds`, unless StopWatchdog came first, `onTimeout` is called on a thread
// of its own (the run's thread may be hanging in a system call); it ends the process.
// Called again while it runs, it counts the new period from then on.
void StartWatchdog(std::uint32_t seconds, void (*onTimeout)());
void StopWatchdog() noexcept;

}  // namespace platform::process
