#pragma once
// The result of the run, as unattended callers read it: what the run found, kept as
// the run goes, and written as one JSON object at its end.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/modCommandLine.h"
#include "loadcheck/modDiagnosis.h"
#include "loadcheck/modScan.h"

namespace modRunResult {

// How a run ends, as the process exit code.
enum class ExitStatus : std::uint32_t {
    Valid = 0,        // "Supplement is valid"
    Fail = 1,         // "Supplement is fail"
    NotFound = 2,     // the control file is missing
    Error = 3,        // an error ended the run
    CommandLine = 4,  // the command line was wrong: nothing was checked
};

struct ReportRow {
    std::wstring label;  // the row's text before its colon
    std::wstring value;  // the text after the TABs, without trailing spaces
};

struct RunError {
    std::int32_t number = 0;
    std::wstring description;
};

struct ControlFile {
    std::wstring path;
    bool found = false;
    std::wstring version;  // as the screen shows them; only when found
    std::wstring crc32;
    std::optional<RunError> readError;  // why it was not read whole, if it was not
    bool pinned = true;                 // held to the one build; another control (/control), to whether it loads
};

struct RunRecord {
    std::optional<std::vector<ReportRow>> report;  // once the report is complete
    std::optional<std::wstring> windowsFolder;
    std::optional<ControlFile> controlFile;               // once its path is known
    std::optional<modDiagnosis::Diagnosis> registration;  // once checked: the file was found
    std::optional<modScan::Scan> scan;                    // a scan: the files judged so far
    std::optional<ExitStatus> verdict;                    // once reached, when the registration follows
    std::optional<ExitStatus> outcome;                    // at the end
    std::optional<RunError> error;
};

// The one run of the process: its options, set once at its start.
struct Run {
    modCommandLine::RunOptions options;
    // What the end of the run needs, read before any other thread starts: the end may
    // come from the watchdog or a crash while the run's thread is inside the loader.
    std::wstring programVersion;  // for the result; read where one is asked for
};
Run& CurrentRun();
// The run anew: these options, an empty record, no end claimed yet, and what its end
// will need already read.
void StartRun(const modCommandLine::RunOptions& options = {});

// The run's record. Every change to it goes through ChangeRecord, which publishes
// it: the watchdog and a crash read the record as it was last published.
const RunRecord& Record();
void ChangeRecord(const std::function<void(RunRecord&)>& edit);

// A copy of the record as it last changed, for another thread to read.
std::shared_ptr<const RunRecord> Published();

// The end of the run is claimed once, with its exit code: by the run's thread, by the
// watchdog or by a crash. Only the one that claimed it writes the result and ends the
// process, so the result and the exit code agree. The claim has two stages: claimed,
// then its result written. True when `ender` holds the end: it claimed it now, or had
// already (its exit code is then `status`).
enum class Ender { RunThread = 1, Watchdog, Crash };
bool ClaimEnd(Ender ender, ExitStatus status) noexcept;
// The claimant's result is out (or there is none to write): the second stage.
void MarkResultWritten() noexcept;
// The exit code the end was claimed with, if it was.
std::optional<ExitStatus> ClaimedEnd() noexcept;
// Who claimed the end, if anyone did.
std::optional<Ender> Claimant() noexcept;

// What a crash does about the end, decided with no heap work: tell it (the crash now
// holds the end, also when the claimant itself crashed before its result was out),
// wait for another claimant's result, or end with the code of the result that is out.
enum class CrashAction { Tell, Wait, EndWithClaimed };
CrashAction ClaimEndForCrash() noexcept;

// The record as the JSON result: schema 1, the program's version, every field.
std::wstring ToJson(const RunRecord& record, const std::wstring& programVersion);

// "0x" and eight upper-case hexadecimal digits, as the message box shows a number.
std::wstring ErrorNumberText(std::int32_t number);

// Writes the record as JSON where the command line asked for it (a file, written
// whole or not at all, or standard output); nothing when it did not.
void WriteResult(const RunRecord& record);

// The message box that tells what ended the run: what failed, its number and the
// system's words for it.
void ShowRunError(std::int32_t number, const std::wstring& description);

// Every end of the run below is told without throwing: whatever fails while telling
// it, its last line on standard error is one made before (a fixed text, or the crash's
// line), and the process still ends with its code.

// An error that ended the run, told as the run's options say: in the JSON result,
// and on standard error (where the caller gave one) or in the message box.
void TellFailure(std::int32_t number, const std::wstring& description) noexcept;

// The watchdog's report: the record as it last stood, ended by the timeout. Where the
// verdict was reached, it stands, and the registration was not read in time.
// It gives the exit code the run ends with: the verdict's, or an error's.
ExitStatus TellTimeout(std::uint32_t seconds) noexcept;

// A crash's line on standard error, "Velmora: error 0x...: A crash in <module>",
// made in the caller's buffer with no heap work: a crash may come from a damaged heap.
constexpr std::size_t CrashLineSize = 320;
void FormatCrashLine(char (&line)[CrashLineSize], std::uint32_t code, const wchar_t* module) noexcept;

// A crash's report: the record as it last stood, ended by exception `code` in `module`;
// `line` (made by FormatCrashLine) is its last line on standard error.
void TellCrash(std::uint32_t code, const wchar_t* module, const char* line) noexcept;

}  // namespace modRunResult
