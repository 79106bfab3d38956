#pragma once
// The command line of unattended runs. Without arguments the run is the interactive
// one; switches begin with "/" or "-", are case-insensitive, come in any order, and
// a switch's value is the next argument, unless that is a switch itself.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace modCommandLine {

// The program's name, as its messages, its result and its usage name it.
inline constexpr wchar_t ToolName[] = L"Velmora";
inline constexpr wchar_t StandardOutput[] = L"-";  // the /json value for standard output
constexpr std::uint32_t QuietTimeoutSeconds = 120;
constexpr std::uint32_t MaxTimeoutSeconds = 86400;

struct RunOptions {
    bool quiet = false;                    // no console, no pauses, no prompt, no message box
    std::optional<std::wstring> jsonPath;  // where the JSON result goes; "-": standard output
    // The watchdog's bound on the check, where one is given (always under /quiet); the
    // registration is then read within as many seconds more (QuietTimeoutSeconds
    // where none is given, in every run).
    std::optional<std::uint32_t> timeoutSeconds;
    bool registration = false;                // the registration's rows after the verdict
    std::optional<std::wstring> controlPath;  // another control file to check, with its registration
    bool scan = false;                        // every registered control instead
    bool usage = false;                       // "/?"
};

struct ParsedCommandLine {
    RunOptions options;
    std::wstring error;  // what is wrong with the command line; empty when nothing is
};

// The arguments after the program's name.
ParsedCommandLine ParseCommandLine(const std::vector<std::wstring>& arguments);

// How to call the program, for "/?" and for a command line that is wrong.
std::wstring UsageText();

}  // namespace modCommandLine
