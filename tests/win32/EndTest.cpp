// The end of a run on real threads: the watchdog fires before or after the verdict,
// while the run's thread hangs (in a wait, or inside the loader), wakes to its own end,
// or crashes. Each run of
// velmora_win32_end_probe.exe must end in time, once, with the exit code its result
// names.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Win32TestSupport.h"
#include "platform/win32/Ownership.h"

namespace {

struct Ended {
    DWORD exitCode = 99;
    std::string result;
};

// A probe's run, started: each case runs beside the others, as each waits on its own watchdog.
class ProbeRun {
public:
    ProbeRun(const std::wstring& arguments, std::wstring result) : result_(std::move(result)) {
        const std::wstring own = velmora_test::OwnPath();
        const std::wstring probe = own.substr(0, own.find_last_of(L'\\') + 1) + L"velmora_win32_end_probe.exe";
        std::wstring command = L"\"" + probe + L"\" " + arguments + L" /quiet /timeout 1 /json \"" + result_ + L"\"";
        DeleteFileW(result_.c_str());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (CreateProcessW(probe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process)) {
            process_.reset(process.hProcess);
            CloseHandle(process.hThread);
        }
    }

    // How it ended, within a bound that only a hang passes.
    Ended End() const {
        Ended ended;
        if (!process_) return ended;
        if (WaitForSingleObject(process_.get(), 30000) != WAIT_OBJECT_0) {
            TerminateProcess(process_.get(), 98);
            return ended;
        }
        GetExitCodeProcess(process_.get(), &ended.exitCode);
        std::ifstream file(result_.c_str(), std::ios::binary);
        ended.result.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        return ended;
    }

private:
    std::wstring result_;
    platform::win32::UniqueKernelHandle process_;
};

TEST(EndOfRun, EachEndOnRealThreadsHasTheExitCodeItsResultNames) {
    const velmora_test::TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::string timedOut = "\"description\": \"the run did not reach its verdict within 1 seconds\"";
    const std::string keptVerdict = "\"state\": \"not read in time\"";
    const struct {
        const wchar_t* arguments;  // the moment the watchdog fires, and what the run's thread does then
        DWORD exitCode;
        const std::string& shows;
    } cases[] = {
        {L"before stay", 3, timedOut},    // a stall before the verdict: the timeout's error
        {L"after stay", 1, keptVerdict},  // a stall after it: the verdict's code, the rest not read in time
        {L"before wake", 3, timedOut},    // the run's thread, woken after the claim, writes no second result
        {L"after wake", 1, keptVerdict},
        {L"before crash", 3, timedOut},  // a crash while the watchdog writes: the watchdog's end
        {L"after crash", 1, keptVerdict},
        // Stuck inside the loader: the watchdog's end loads nothing and waits on nothing.
        {L"loading ..\\Temp\\velmora_blocking.dll", 3, timedOut},
    };
    const std::wstring own = velmora_test::OwnPath();
    ASSERT_TRUE(CopyFileW((own.substr(0, own.find_last_of(L'\\') + 1) + L"velmora_win32_blocking.dll").c_str(),
                          (velmora_test::WindowsFolder() + L"\\Temp\\velmora_blocking.dll").c_str(), FALSE));
    std::vector<std::unique_ptr<ProbeRun>> runs;
    for (const auto& c : cases) {
        runs.push_back(
            std::make_unique<ProbeRun>(c.arguments, folder / (L"result" + std::to_wstring(runs.size()) + L".json")));
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.arguments)));
        const auto ended = runs[i]->End();
        EXPECT_EQ(ended.exitCode, c.exitCode);
        EXPECT_NE(ended.result.find("\"exitCode\": " + std::to_string(c.exitCode) + ","), std::string::npos)
            << ended.result;
        EXPECT_NE(ended.result.find(c.shows), std::string::npos) << ended.result;
        EXPECT_EQ(ended.result.find("A crash in"), std::string::npos) << "the crash waited for the watchdog's end";
    }
}

}  // namespace
