#pragma once
// The scan run (/scan): every control registered on the machine judged, the files
// that need attention shown grouped, then the counts. Its result is kept in the run's
// record as it goes, so that the watchdog's end holds what was read.
#include <cstdint>
#include <functional>
#include <string>

namespace modRunResult {
enum class ExitStatus : std::uint32_t;
}
namespace modScan {
struct Scan;
}

namespace modScanRun {

// Where the run's rows go: a text, and whether a line end follows it.
using Writer = std::function<void(const std::wstring& text, bool lineEnd)>;

// The scan, shown through `put`; its exit code: every file that is there loads, or not.
modRunResult::ExitStatus Run(const Writer& put, bool interactive);

// The end of a scan the watchdog ended after a file that needs attention: the files
// judged until then, as the scan shows them.
void ShowUnfinished(const Writer& put, const modScan::Scan& scan, std::uint32_t seconds);

}  // namespace modScanRun
