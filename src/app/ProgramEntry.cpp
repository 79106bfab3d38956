// The program's side of the Windows entry point: what a run does, and how an error
// that ended it is told.
#include "app/modVelmora.h"
#include "platform/Entry.h"
#include "platform/ErrorReport.h"

namespace platform::entry {

void RunProgram() { modVelmora::Main(); }

std::uint32_t ReportRunFailure(const RunError& error) {
    ReportRunError(error);
    return static_cast<std::uint32_t>(modVelmora::ExitStatus::Error);
}

}  // namespace platform::entry
