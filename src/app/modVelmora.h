#pragma once
// The run: console, header, check run, exit prompt.
#include <cstdint>
#include <string>

class clsWinConsole;

namespace modVelmora {

// How a run ends, as the process exit code.
enum class ExitStatus : std::uint32_t {
    Valid = 0,     // "Supplement is valid"
    Fail = 1,      // "Supplement is fail"
    NotFound = 2,  // the control file is missing
    Error = 3,     // an error ended the run
};

inline constexpr wchar_t MakerWebAddress[] = L"www.velmora-tool.org";

[[noreturn]] void Main();
void ShowHeader();
void ShowProgress();
// The exit prompt; the process then ends with `outcome` as its exit code.
[[noreturn]] void WaitForExit(ExitStatus outcome);
// The check run: the report, the tests and the verdict, which it returns. A missing
// control file ends the run at the exit prompt.
ExitStatus RunChecks();
std::wstring GetAboutOS();

// The WMI objects the run keeps, and COM after them: released before the process
// ends, on every path.
void ReleaseSystemObjects();

// The one console object of the run, made on first use.
clsWinConsole& Console();

}  // namespace modVelmora
