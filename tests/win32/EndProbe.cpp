// The end of a run on real threads, behind the real entry point (WinMain.cpp): the
// real watchdog, the real claim of the end and the real crash filter. The run's
// thread stands still where a port would hang, on an event, until the watchdog has
// claimed the end:
//
//   velmora_win32_end_probe.exe MOMENT THEN SWITCHES...
//
// MOMENT: "before" or "after" the verdict; THEN, once the watchdog holds the end:
// "stay" (the run's thread hangs on), "wake" (it goes on to its own end) or "crash"
// (it writes to address 0). Or MOMENT "loading" and a DLL's path from the system
// folder: the run's thread loads it as a system library, and its entry point never
// returns. tests/win32/EndTest.cpp runs it and reads what came of it.
#include <windows.h>

#include <string>
#include <vector>

#include "app/modCommandLine.h"
#include "app/modRunResult.h"
#include "app/modVelmora.h"
#include "platform/Entry.h"
#include "platform/Process.h"
#include "platform/win32/SystemLibrary.h"

namespace platform::entry {

namespace {

HANDLE released = nullptr;  // set once the watchdog holds the end

// Stands in for the test: it lets the run's thread go once the watchdog has claimed the end.
DWORD WINAPI ReleaseWhenClaimed(void*) {
    while (!modRunResult::ClaimedEnd()) Sleep(5);
    SetEvent(released);
    return 0;
}

}  // namespace

void RunProgram(const std::vector<std::wstring>& arguments) {
    const std::wstring moment = arguments.at(0), then = arguments.at(1);
    const auto options = modCommandLine::ParseCommandLine({arguments.begin() + 2, arguments.end()}).options;
    modRunResult::StartRun(options);
    released = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    platform::process::StartWatchdog(*options.timeoutSeconds, &modVelmora::OnTimeout);
    modRunResult::ChangeRecord([](modRunResult::RunRecord& record) { record.windowsFolder = L"C:\\Windows"; });
    if (moment == L"loading") {
        // The run's thread stuck inside the loader, in a system library's load.
        platform::win32::SystemLibrary(then.c_str());
    }
    if (moment == L"after") {
        // The verdict, then the watchdog armed anew for what follows it, as the registration's reading arms it.
        modRunResult::ChangeRecord(
            [](modRunResult::RunRecord& record) { record.verdict = modRunResult::ExitStatus::Fail; });
        platform::process::StartWatchdog(*options.timeoutSeconds, &modVelmora::OnTimeout);
    }
    if (then != L"stay") CloseHandle(CreateThread(nullptr, 0, &ReleaseWhenClaimed, nullptr, 0, nullptr));
    WaitForSingleObject(released, INFINITE);
    if (then == L"crash") {
        volatile int* volatile address = nullptr;
        *address = 1;
    }
    modVelmora::WaitForExit(moment == L"after" ? modRunResult::ExitStatus::Fail : modRunResult::ExitStatus::Valid);
}

}  // namespace platform::entry
