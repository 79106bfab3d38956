// Stands in for the program behind the real Windows entry point (WinMain.cpp): its
// run throws what the command line names (or hangs, for the watchdog), and its report
// prints what reached it.
// Whatever is thrown must arrive at the report as a run error and end the process
// with the report's exit code, never in the C++ runtime's abort.
#include <windows.h>

#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "platform/Entry.h"
#include "platform/Process.h"

namespace platform::entry {

void RunProgram(const std::vector<std::wstring>&) {
    const std::wstring line = GetCommandLineW();
    const auto asks = [&line](const wchar_t* word) { return line.find(word) != std::wstring::npos; };
    if (asks(L"length")) throw std::length_error("a value too long");
    if (asks(L"system")) throw std::system_error(std::make_error_code(std::errc::io_error));
    if (asks(L"memory")) throw std::bad_alloc();
    if (asks(L"unknown")) throw 42;
    if (asks(L"hang")) {
        // The watchdog ends a run that hangs, from a thread of its own.
        platform::process::StartWatchdog(1, [] {
            std::printf("watchdog fired\n");
            std::fflush(stdout);
            platform::process::EndNow(3);
        });
        platform::process::Pause(60000);
    }
    Fail(static_cast<std::int32_t>(E_FAIL), L"the program's own error");
}

std::uint32_t ReportRunFailure(const RunError& error) {
    std::printf("reported 0x%08lX: %ls\n", static_cast<unsigned long>(static_cast<std::uint32_t>(error.Number())),
                error.Description().c_str());
    std::fflush(stdout);
    return 3;
}

CrashClaim ClaimCrash() noexcept { return {CrashClaim::Action::Tell, 0}; }

std::uint32_t ReportCrash(std::uint32_t code, const wchar_t* module) noexcept {
    std::printf("crashed 0x%08lX in %ls\n", static_cast<unsigned long>(code), module);
    std::fflush(stdout);
    return 3;
}

}  // namespace platform::entry
