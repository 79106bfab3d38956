#pragma once
// Process-level operations: the progress bar's pause, the immediate end of the run,
// and the watchdog that ends a run that hangs.
#include <cstdint>

namespace platform::process {

void Pause(std::uint32_t milliseconds);            // Sleep
[[noreturn]] void EndNow(std::uint32_t exitCode);  // ExitProcess: nothing after it runs
// Another thread is ending the process: this one waits for that, and does nothing more.
[[noreturn]] void WaitToBeEnded();

// After `seconds`, unless StopWatchdog came first, `onTimeout` is called on a thread
// of its own (the run's thread may be hanging in a system call); it ends the process.
void StartWatchdog(std::uint32_t seconds, void (*onTimeout)());
void StopWatchdog();

}  // namespace platform::process
