#include "app/modCommandLine.h"

#include "platform/Text.h"

namespace modCommandLine {

namespace {

bool IsSwitch(const std::wstring& argument) {
    return argument.size() > 1 && (argument[0] == L'/' || argument[0] == L'-');
}

// A value that is itself a switch ("/quiet", "-quiet") is never taken as a value: it is
// read as the switch it is. "-" alone stays a value, standard output.
bool IsSwitchNotValue(const std::wstring& value) { return IsSwitch(value) || value == L"/"; }

// 1 to 86400 in plain decimal digits; nothing otherwise.
std::optional<std::uint32_t> Seconds(const std::wstring& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return std::nullopt;
    }
    const auto seconds = static_cast<std::uint32_t>(std::stoul(text));
    if (seconds < 1 || seconds > MaxTimeoutSeconds) return std::nullopt;
    return seconds;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::wstring>& arguments) {
    ParsedCommandLine parsed;
    auto& options = parsed.options;
    const auto fail = [&parsed](const std::wstring& why) {
        if (parsed.error.empty()) parsed.error = why;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (!IsSwitch(argument)) {
            fail(L"unexpected argument \"" + argument + L"\"");
            continue;
        }
        // Switch names are compared as Windows compares names: the case aside.
        const std::wstring name = argument.substr(1);
        const auto is = [&name](const wchar_t* known) { return platform::text::SameIgnoringCase(name, known); };
        const bool hasValue = i + 1 < arguments.size();
        if (is(L"?")) {
            options.usage = true;
        } else if (is(L"quiet")) {
            options.quiet = true;
        } else if (is(L"scan")) {
            options.scan = true;
        } else if (is(L"registration")) {
            options.registration = true;
        } else if (is(L"json")) {
            if (!hasValue || arguments[i + 1].empty()) {
                fail(L"/json needs a file name, or - for standard output");
            } else if (IsSwitchNotValue(arguments[i + 1])) {
                fail(L"/json needs a file name, or - for standard output; \"" + arguments[i + 1] + L"\" is a switch");
            } else if (options.jsonPath) {
                fail(L"/json is given twice");
            } else {
                options.jsonPath = arguments[++i];
            }
        } else if (is(L"control")) {
            if (!hasValue || arguments[i + 1].empty() || IsSwitchNotValue(arguments[i + 1])) {
                fail(L"/control needs the path of a control file");
            } else if (options.controlPath) {
                fail(L"/control is given twice");
            } else {
                options.controlPath = arguments[++i];
            }
        } else if (is(L"timeout")) {
            const bool given = hasValue && !IsSwitchNotValue(arguments[i + 1]);
            const auto seconds = given ? Seconds(arguments[i + 1]) : std::nullopt;
            if (!seconds) {
                fail(L"/timeout needs a number of seconds from 1 to 86400");
            } else if (options.timeoutSeconds) {
                fail(L"/timeout is given twice");
            } else {
                options.timeoutSeconds = seconds;
            }
            if (given) ++i;
        } else {
            fail(L"unknown switch \"" + argument + L"\"");
        }
    }
    if (options.scan && (options.controlPath || options.registration)) {
        fail(L"/scan checks every registered control: /control and /registration do not go with it");
    }
    if (options.quiet && !options.timeoutSeconds) options.timeoutSeconds = QuietTimeoutSeconds;
    return parsed;
}

std::wstring UsageText() {
    return L"Checks the MsComCtl.OCX ActiveX file: its version and its CRC-32.\r\n"
           L"\r\n"
           L"Velmora.exe                   the interactive run\r\n"
           L"Velmora.exe /quiet            no console, no prompt, no message box: the exit code tells\r\n"
           L"Velmora.exe /json FILE        also write the result as JSON to FILE\r\n"
           L"Velmora.exe /json -           ... to standard output\r\n"
           L"Velmora.exe /registration     also show its registration: will programs load this file?\r\n"
           L"Velmora.exe /control PATH     check the control file at PATH instead: will it load?\r\n"
           L"Velmora.exe /scan             check every control registered on this machine: which will\r\n"
           L"                              not load, and why\r\n"
           L"Velmora.exe /timeout SECONDS  end as an error if the check has no verdict within SECONDS\r\n"
           L"                              (1 to 86400; 120 under /quiet); the registration is then\r\n"
           L"                              read within SECONDS more (120 when not given)\r\n"
           L"Velmora.exe /?                this text\r\n"
           L"\r\n"
           L"Exit codes: 0 valid, 1 fail, 2 missing, 3 error, 4 command line.\r\n"
           L"Under /control: 0 will load, 1 will not load, 2 missing, 3 error, 4 command line.\r\n"
           L"Under /scan: 0 every registered file that is there loads, 1 not all, 3 error, 4 command line.\r\n";
}

}  // namespace modCommandLine
