// The end of a run on real threads: the watchdog fires before or after the verdict,
// while the run's thread hangs (in a wait, or inside the loader), wakes to its own end,
// or crashes. Each run of
// velmora_win32_end_probe.exe must end in time, once, with the exit code its result
// names.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "Win32TestSupport.h"
#include "platform/win32/Ownership.h"

namespace {

struct Ended {
    DWORD exitCode = 99;
    std::string result;
};

Ended RunProbe(const std::wstring& arguments, const std::wstring& result) {
    const std::wstring own = velmora_test::OwnPath();
    const std::wstring probe = own.substr(0, own.find_last_of(L'\\') + 1) + L"velmora_win32_end_probe.exe";
    std::wstring command = L"\"" + probe + L"\" " + arguments + L" /quiet /timeout 1 /json \"" + result + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    Ended ended;
    if (!CreateProcessW(probe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return ended;
    }
    const platform::win32::UniqueKernelHandle owned(process.hProcess), thread(process.hThread);
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 98);  // a hang: the bound, not a timing
        return ended;
    }
    GetExitCodeProcess(process.hProcess, &ended.exitCode);
    std::ifstream file(result.c_str(), std::ios::binary);
    ended.result.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return ended;
}

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
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.arguments)));
        const std::wstring result = folder / L"result.json";
        DeleteFileW(result.c_str());
        const auto ended = RunProbe(c.arguments, result);
        EXPECT_EQ(ended.exitCode, c.exitCode);
        EXPECT_NE(ended.result.find("\"exitCode\": " + std::to_string(c.exitCode) + ","), std::string::npos)
            << ended.result;
        EXPECT_NE(ended.result.find(c.shows), std::string::npos) << ended.result;
        EXPECT_EQ(ended.result.find("A crash in"), std::string::npos) << "the crash waited for the watchdog's end";
    }
}

}  // namespace
