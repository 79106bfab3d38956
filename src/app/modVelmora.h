#pragma once
// The run: console, header, check run, exit prompt. An unattended run (/quiet) goes
// through the same steps without a console, pauses or prompt.
#include <cstdint>
#include <string>
#include <vector>

// Named here, defined where they belong: a file that includes this one gets no more.
class clsWinConsole;
namespace modCommandLine {
struct RunOptions;
}
namespace modRunResult {
enum class ExitStatus : std::uint32_t;
struct ReportRow;
}  // namespace modRunResult

namespace modVelmora {

using modRunResult::ExitStatus;

inline constexpr wchar_t MakerWebAddress[] = L"www.velmora-tool.org";

[[noreturn]] void Main();  // the interactive run
[[noreturn]] void Main(const modCommandLine::RunOptions& options);
void ShowHeader();
void ShowProgress();
// The exit prompt; the process then ends with `outcome` as its exit code.
[[noreturn]] void WaitForExit(ExitStatus outcome);
// The check run: the report, the tests and the verdict, which it returns. A missing
// control file ends the run at the exit prompt.
ExitStatus RunChecks();
// The scan of every registered control (/scan), which returns its verdict.
ExitStatus RunScan();
// The report text; `rows`, when given, receives its rows as the result names them.
std::wstring GetAboutOS(std::vector<modRunResult::ReportRow>* rows = nullptr);
// The watchdog's end of a run: one that did not reach its verdict in time, or whose
// registration was not read in time after it. It returns only when the run's thread
// is ending the run already.
void OnTimeout();

// The WMI objects the run keeps, and COM after them: released before the process
// ends, on every path.
void ReleaseSystemObjects();

// The one console object of the run, made on first use.
clsWinConsole& Console();

}  // namespace modVelmora
