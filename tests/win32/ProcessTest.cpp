// The process port: the pause returns, and the immediate end gives the process the
// exit code asked for. The end is tried in a child: this program started again with
// --velmora-end-now=<code>, which ends before any test runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "Win32TestSupport.h"
#include "app/modRunResult.h"
#include "app/modVelmora.h"
#include "platform/Process.h"
#include "platform/Threads.h"

namespace {

constexpr char EndNowOption[] = "--velmora-end-now=";

// Runs this program again with the option; the child's exit code, or -1. Under load
// Wine once failed to start or wait for a child, which says nothing of its exit code:
// that is tried once more.
long long ExitCodeOfChild(std::uint32_t code, bool again = true) {
    std::wstring command = L"\"" + velmora_test::OwnPath() + L"\" --velmora-end-now=" + std::to_wstring(code);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
        return again ? ExitCodeOfChild(code, false) : -1;
    }
    CloseHandle(child.hThread);
    DWORD exitCode = 0;
    // The bound only keeps a broken child from hanging the run.
    const bool ended = WaitForSingleObject(child.hProcess, 120000) == WAIT_OBJECT_0;
    const bool read = ended && GetExitCodeProcess(child.hProcess, &exitCode);
    if (!ended) TerminateProcess(child.hProcess, 255);
    CloseHandle(child.hProcess);
    if (!read && again) return ExitCodeOfChild(code, false);
    return read ? static_cast<long long>(exitCode) : -1;
}

TEST(ProcessPort, EndNowGivesTheExitCode) {
    for (const auto status : {modVelmora::ExitStatus::Valid, modVelmora::ExitStatus::Fail,
                              modVelmora::ExitStatus::NotFound, modVelmora::ExitStatus::Error}) {
        const auto code = static_cast<std::uint32_t>(status);
        EXPECT_EQ(ExitCodeOfChild(code), static_cast<long long>(code));
    }
    EXPECT_EQ(ExitCodeOfChild(0xC0DE), 0xC0DE);
}

// Workers run at once, each on a thread of its own, and a failure of one reaches the caller.
TEST(ThreadsPort, WorkersRunTogether) {
    constexpr std::size_t Count = 3;
    std::atomic<std::size_t> arrived{0};
    std::vector<DWORD> threads(Count);
    platform::threads::Together(Count, [&](std::size_t worker) {
        threads[worker] = GetCurrentThreadId();
        ++arrived;
        // Each waits for the others: only workers that run together all get past here.
        for (int waited = 0; arrived < Count && waited < 10000; ++waited) Sleep(1);
    });
    EXPECT_EQ(threads[0], GetCurrentThreadId());
    std::sort(threads.begin(), threads.end());
    EXPECT_EQ(std::unique(threads.begin(), threads.end()), threads.end());
    const auto failing = [](std::size_t worker) {
        if (worker == 2) throw std::runtime_error("worker 2");
    };
    EXPECT_THROW(platform::threads::Together(Count, failing), std::runtime_error);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strncmp(argv[1], EndNowOption, sizeof EndNowOption - 1) == 0) {
        const auto code = static_cast<std::uint32_t>(std::strtoul(argv[1] + sizeof EndNowOption - 1, nullptr, 10));
        platform::process::EndNow(code);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
