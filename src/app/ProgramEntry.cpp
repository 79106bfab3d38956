// The program's side of the Windows entry point: what a run does, and how an error
// that ended it is told.
#include "app/modVelmora.h"
#include "platform/Entry.h"
#include "platform/ErrorReport.h"

namespace platform::entry {

namespace {
// On an error's way out of the run: the run's own end releases them otherwise.
struct SystemObjectsRelease {
    SystemObjectsRelease() = default;
    SystemObjectsRelease(const SystemObjectsRelease&) = delete;
    SystemObjectsRelease& operator=(const SystemObjectsRelease&) = delete;
    SystemObjectsRelease(SystemObjectsRelease&&) = delete;
    SystemObjectsRelease& operator=(SystemObjectsRelease&&) = delete;
    ~SystemObjectsRelease() { modVelmora::ReleaseSystemObjects(); }
};
}  // namespace

void RunProgram() {
    const SystemObjectsRelease release;
    modVelmora::Main();
}

std::uint32_t ReportRunFailure(const RunError& error) {
    ReportRunError(error);
    return static_cast<std::uint32_t>(modVelmora::ExitStatus::Error);
}

}  // namespace platform::entry
