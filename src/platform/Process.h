#pragma once
// Process-level operations: the progress bar's pause and the immediate end of the run.
#include <cstdint>

namespace platform::process {

void Pause(std::uint32_t milliseconds);            // Sleep
[[noreturn]] void EndNow(std::uint32_t exitCode);  // ExitProcess: nothing after it runs

}  // namespace platform::process
