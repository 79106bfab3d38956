// The program's side of a run that ends before its own end: an error that escaped
// it, or a crash. Each claims the end of the run first: what ends it is told once,
// and the exit code agrees with the result.
#include "app/modRunResult.h"
#include "platform/Entry.h"
#include "platform/Process.h"

namespace platform::entry {

using modRunResult::ExitStatus;

std::uint32_t ReportRunFailure(const RunError& error) {
    // The watchdog may be ending the run already, and writing its result.
    if (!modRunResult::ClaimEnd(modRunResult::Ender::RunThread, ExitStatus::Error)) {
        platform::process::WaitToBeEnded();
    }
    platform::process::StopWatchdog();
    modRunResult::TellFailure(error.Number(), error.Description());
    return static_cast<std::uint32_t>(ExitStatus::Error);
}

std::uint32_t ReportCrash(std::uint32_t code, const std::wstring& module) {
    // Whoever claimed the end has written, or is writing, a result with its code.
    if (!modRunResult::ClaimEnd(modRunResult::Ender::Crash, ExitStatus::Error)) {
        return static_cast<std::uint32_t>(*modRunResult::ClaimedEnd());
    }
    platform::process::StopWatchdog();
    modRunResult::TellCrash(code, module);
    return static_cast<std::uint32_t>(ExitStatus::Error);
}

}  // namespace platform::entry
