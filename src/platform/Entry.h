#pragma once
// The two hooks the Windows entry point (win32/WinMain.cpp) calls. The platform
// owns the entry mechanics: it makes the process safe to run, catches whatever
// escapes the run and ends the process. The program defines both hooks and so
// decides what a run does and how a failure is told.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/RunError.h"

namespace platform::entry {

// The run, given the command line's arguments after the program's name. It ends the
// process itself when it is done; it returns only by an error.
[[noreturn]] void RunProgram(const std::vector<std::wstring>& arguments);

// Tells the user what ended the run and gives the process exit code for it.
std::uint32_t ReportRunFailure(const RunError& error);

// A crash, first: what it does about the end of the run, decided with no heap work.
// `exitCode` is the code to end with when it neither tells nor waits.
struct CrashClaim {
    enum class Action { Tell, Wait, EndWith } action;
    std::uint32_t exitCode;
};
CrashClaim ClaimCrash() noexcept;

// Then, where the crash holds the end: tells exception `code` in `module` (its file
// name) where it still can, and gives the process exit code.
std::uint32_t ReportCrash(std::uint32_t code, const wchar_t* module) noexcept;

}  // namespace platform::entry
