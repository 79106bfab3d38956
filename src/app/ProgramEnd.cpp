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
    modRunResult::MarkResultWritten();
    return static_cast<std::uint32_t>(ExitStatus::Error);
}

CrashClaim ClaimCrash() noexcept {
    switch (modRunResult::ClaimEndForCrash()) {
    case modRunResult::CrashAction::Tell: return {CrashClaim::Action::Tell, 0};
    case modRunResult::CrashAction::Wait: return {CrashClaim::Action::Wait, 0};
    case modRunResult::CrashAction::EndWithClaimed: break;
    }
    // The result that is out has this code.
    return {CrashClaim::Action::EndWith,
            static_cast<std::uint32_t>(modRunResult::ClaimedEnd().value_or(ExitStatus::Error))};
}

std::uint32_t ReportCrash(std::uint32_t code, const wchar_t* module) noexcept {
    // Made before any heap work: the crash may have come from a damaged heap.
    static char line[modRunResult::CrashLineSize];
    modRunResult::FormatCrashLine(line, code, module);
    platform::process::StopWatchdog();
    modRunResult::TellCrash(code, module, line);
    return static_cast<std::uint32_t>(ExitStatus::Error);
}

}  // namespace platform::entry
