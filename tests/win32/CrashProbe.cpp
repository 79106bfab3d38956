// A crash behind the real entry point (WinMain.cpp) and the program's own report of
// it. Run with "fault" and a command line, it starts a run, publishes a little of its
// record and writes to address 0. Run without, it runs itself so and prints what came
// of it: the exit code and the result's error.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Win32TestSupport.h"
#include "app/modCommandLine.h"
#include "app/modRunResult.h"
#include "platform/Entry.h"
#include "platform/Process.h"

namespace platform::entry {

namespace {

[[noreturn]] void Fault(const std::vector<std::wstring>& commandLine) {
    modRunResult::StartRun(modCommandLine::ParseCommandLine(commandLine).options);
    modRunResult::ChangeRecord([](modRunResult::RunRecord& record) { record.windowsFolder = L"C:\\Windows"; });
    volatile int* volatile address = nullptr;
    *address = 1;
    platform::process::EndNow(0);  // not reached
}

// The line of the result that holds its error.
std::string ErrorLine(const std::wstring& path) {
    std::ifstream file(path.c_str());
    std::string line;
    while (std::getline(file, line)) {
        if (line.find("\"error\": ") != std::string::npos) return line;
    }
    return "no result";
}

}  // namespace

void RunProgram(const std::vector<std::wstring>& arguments) {
    if (!arguments.empty() && arguments[0] == L"fault") Fault({arguments.begin() + 1, arguments.end()});
    const std::wstring self = velmora_test::OwnPath();
    const std::wstring result = self.substr(0, self.find_last_of(L'\\') + 1) + L"crash-result.json";
    DeleteFileW(result.c_str());
    std::wstring command = L"\"" + self + L"\" fault /quiet /json \"" + result + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    DWORD code = 99;
    if (CreateProcessW(self.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    std::printf("exit %lu, result: %s\n", static_cast<unsigned long>(code), ErrorLine(result).c_str());
    std::fflush(stdout);
    platform::process::EndNow(0);
}

}  // namespace platform::entry
