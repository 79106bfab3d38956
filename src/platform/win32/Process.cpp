#include "platform/Process.h"

#include <windows.h>

namespace platform::process {

void Pause(std::uint32_t milliseconds) { Sleep(milliseconds); }

void EndNow(std::uint32_t exitCode) { ExitProcess(exitCode); }

}  // namespace platform::process
