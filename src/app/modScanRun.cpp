#include "app/modScanRun.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <vector>

#include "app/modRunResult.h"
#include "filecheck/modSpecialFoldersWin.h"
#include "loadcheck/modRegisteredFiles.h"
#include "loadcheck/modScan.h"
#include "osinfo/modVersionOS_v4.h"
#include "platform/Account.h"
#include "platform/Process.h"
#include "platform/SystemInfo.h"
#include "platform/Threads.h"

namespace modScanRun {

namespace {

using modRunResult::ExitStatus;

constexpr int ProgressSteps = 70;
// The record is published for the watchdog this often, and at the first file that
// needs attention: each publication copies the whole scan.
constexpr std::uint32_t PublishEveryMs = 200;
// More threads than this wait on one another's disk, and Windows' registry.
constexpr std::size_t MaxThreads = 4;

modScan::Machine ThisMachine() {
    modScan::Machine machine;
    machine.windowsFolder = modSpecialFoldersWin::WindowsFolder();
    machine.windows64 = modVersionOS_v4::GetOSBits() == 64;
    machine.nativeMachine = platform::systeminfo::NativeMachine();
    const auto kernel = modVersionOS_v4::GetKernelVersion();
    machine.version = {kernel.major, kernel.minor, kernel.build};
    machine.account = platform::account::ProcessAccount();
    return machine;
}

// The bar of the program's other checks, drawn as the files are judged.
class Bar {
public:
    Bar(const Writer& put, bool shown) : put_(put), shown_(shown) {}
    void Reached(std::size_t done, std::size_t total) {
        if (!shown_) return;
        // The watchdog has ended the run meanwhile, and shows its end: this bar stops.
        if (modRunResult::Claimant() == modRunResult::Ender::Watchdog) platform::process::WaitToBeEnded();
        const int steps = total == 0 ? ProgressSteps : static_cast<int>(done * ProgressSteps / total);
        for (; drawn_ < steps; ++drawn_) put_(drawn_ == 0 ? L"|" : L"-", false);
    }
    void End() {
        if (!shown_) return;
        Reached(1, 1);
        put_(L"|", true);
    }

private:
    const Writer& put_;
    bool shown_;
    int drawn_ = 0;
};

// Every file judged, on as many threads as the machine runs: the files' reads overlap,
// and a share that stalls holds up one thread alone. The record is published as they go.
modScan::Scan JudgeAll(modScan::Scanner& scanner, Bar& bar) {
    const std::size_t total = scanner.Size();
    std::vector<std::optional<modScan::ScannedFile>> judged(total);
    platform::threads::Lock lock;
    std::size_t next = 0, done = 0;
    std::uint32_t published = platform::process::Milliseconds();
    bool failed = false;
    const auto snapshot = [&judged]() {
        modScan::Scan scan;
        for (const auto& file : judged) {
            if (file) scan.files.push_back(*file);
        }
        return scan;
    };
    const auto work = [&](std::size_t worker) {
        for (;;) {
            std::size_t at = 0;
            {
                const std::lock_guard<platform::threads::Lock> held(lock);
                if (next == total) return;
                at = next++;
            }
            auto file = scanner.Judge(at);
            std::size_t doneNow = 0;
            {
                const std::lock_guard<platform::threads::Lock> held(lock);
                const bool newFailure = !failed && modScan::Fails(file);
                failed = failed || newFailure;
                judged[at] = std::move(file);
                doneNow = ++done;
                // Once a file will not load, that is the scan's answer, whatever ends it.
                if (newFailure || platform::process::Milliseconds() - published >= PublishEveryMs) {
                    published = platform::process::Milliseconds();
                    modRunResult::ChangeRecord([&snapshot, failed](modRunResult::RunRecord& record) {
                        record.scan = snapshot();
                        if (failed) record.verdict = ExitStatus::Fail;
                    });
                }
            }
            // The bar is the run's thread's: a console is written by one thread.
            if (worker == 0) bar.Reached(doneNow, total);
        }
    };
    platform::threads::Together(std::min<std::size_t>(platform::threads::Processors(), MaxThreads), work);
    auto scan = snapshot();
    scan.complete = true;
    return scan;
}

void Show(const Writer& put, const modScan::Scan& scan) {
    std::optional<modScan::Status> group;
    for (const auto* file : modScan::NeedingAttention(scan)) {
        if (group != file->status) {
            group = file->status;
            put(L"", true);
            put(modScan::StatusHeading(file->status) + L":", true);
        }
        put(file->path + (file->cause.empty() ? L"" : L": " + file->cause), true);
        if (file->hint) put(L"    " + *file->hint, true);
    }
    put(L"", true);
    put(modScan::CountsText(modScan::CountsOf(scan)), true);
}

}  // namespace

ExitStatus Run(const Writer& put, bool interactive) {
    put(L"Scanning registered controls", true);
    const auto machine = ThisMachine();
    modRunResult::ChangeRecord([&machine](modRunResult::RunRecord& record) {
        record.windowsFolder = machine.windowsFolder;
        record.scan = modScan::Scan{};
    });
    modScan::Scanner scanner(machine, modRegisteredFiles::ReadRegistrations(machine.windows64, machine.version));
    Bar bar(put, interactive);
    bar.Reached(0, scanner.Size());
    const modScan::Scan scan = JudgeAll(scanner, bar);
    const ExitStatus verdict = modScan::AllLoad(scan) ? ExitStatus::Valid : ExitStatus::Fail;
    modRunResult::ChangeRecord([&scan, verdict](modRunResult::RunRecord& record) {
        record.scan = scan;
        record.verdict = verdict;
    });
    bar.End();
    Show(put, scan);
    return verdict;
}

void ShowUnfinished(const Writer& put, const modScan::Scan& scan, std::uint32_t seconds) {
    put(L"", true);
    put(L"Scan: not finished within " + std::to_wstring(seconds) + L" seconds; the files read until then:", true);
    Show(put, scan);
}

}  // namespace modScanRun
