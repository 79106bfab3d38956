// The program's side of the Windows entry point: what a run does with its command
// line, and how an error that ended it is told.
#include "app/modCommandLine.h"
#include "app/modRunResult.h"
#include "app/modVelmora.h"
#include "platform/Entry.h"
#include "platform/ErrorReport.h"
#include "platform/FileNames.h"
#include "platform/Process.h"
#include "platform/Streams.h"

namespace platform::entry {

namespace {

using modRunResult::ExitStatus;
using platform::streams::Stream;

// On an error's way out of the run: the run's own end releases them otherwise.
struct SystemObjectsRelease {
    SystemObjectsRelease() = default;
    SystemObjectsRelease(const SystemObjectsRelease&) = delete;
    SystemObjectsRelease& operator=(const SystemObjectsRelease&) = delete;
    SystemObjectsRelease(SystemObjectsRelease&&) = delete;
    SystemObjectsRelease& operator=(SystemObjectsRelease&&) = delete;
    ~SystemObjectsRelease() { modVelmora::ReleaseSystemObjects(); }
};

[[noreturn]] void End(ExitStatus status) { platform::process::EndNow(static_cast<std::uint32_t>(status)); }

// "/?": the usage on standard output where the caller gave one, else in a message box
// unless quiet.
[[noreturn]] void ShowUsage(bool quiet) {
    if (streams::Given(Stream::Output)) {
        streams::Write(Stream::Output, modCommandLine::UsageText());
    } else if (!quiet) {
        ShowMessage(modCommandLine::ToolName, modCommandLine::UsageText(), false);
    }
    End(ExitStatus::Valid);
}

// A wrong command line: nothing is checked; what is wrong and the usage go to
// standard error where the caller gave one, else to a message box unless quiet.
[[noreturn]] void RefuseCommandLine(const std::wstring& why, bool quiet) {
    const std::wstring text =
        std::wstring(modCommandLine::ToolName) + L": " + why + L"\r\n\r\n" + modCommandLine::UsageText();
    if (streams::Given(Stream::Error)) {
        streams::Write(Stream::Error, text);
    } else if (!quiet) {
        ShowMessage(modCommandLine::ToolName, text, true);
    }
    End(ExitStatus::CommandLine);
}

}  // namespace

void RunProgram(const std::vector<std::wstring>& arguments) {
    // The caller's streams are taken before the run opens a console of its own.
    const bool hasOutput = streams::Given(Stream::Output);
    const auto parsed = modCommandLine::ParseCommandLine(arguments);
    auto options = parsed.options;
    if (!parsed.error.empty()) RefuseCommandLine(parsed.error, options.quiet);
    if (options.jsonPath == std::wstring(modCommandLine::StandardOutput) && !hasOutput) {
        RefuseCommandLine(L"/json - needs a standard output to write to", options.quiet);
    }
    if (options.usage) ShowUsage(options.quiet);
    // Full from the folder the program was started in, as every path it shows and compares is.
    if (options.controlPath) options.controlPath = platform::filenames::FullPath(*options.controlPath);

    const SystemObjectsRelease release;
    modVelmora::Main(options);
}

}  // namespace platform::entry
