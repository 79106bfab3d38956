#include "app/modRunResult.h"

#include <atomic>

#include "app/modJson.h"
#include "app/modVersion_v2.h"
#include "filecheck/modControlFile.h"
#include "platform/ErrorReport.h"
#include "platform/FileWriting.h"
#include "platform/Process.h"
#include "platform/RunError.h"
#include "platform/Streams.h"
#include "platform/Text.h"

namespace modRunResult {

namespace {

using modJson::Quote;

std::wstring Member(const wchar_t* name, const std::wstring& value) { return Quote(name) + L": " + value; }

std::wstring QuotedOrNull(const std::optional<std::wstring>& text) { return text ? Quote(*text) : modJson::Null; }

std::wstring ResultName(ExitStatus outcome, bool pinned) {
    switch (outcome) {
    case ExitStatus::Valid: return pinned ? L"valid" : L"loads";
    case ExitStatus::Fail: return pinned ? L"fail" : L"will not load";
    case ExitStatus::NotFound: return L"missing";
    default: return L"error";
    }
}

std::wstring Flag(bool value) { return value ? L"true" : L"false"; }

std::wstring ErrorJson(const RunError& error) {
    return L"{" + Member(L"number", Quote(ErrorNumberText(error.number))) + L", " +
           Member(L"description", Quote(error.description)) + L"}";
}

std::wstring ControlFileJson(const ControlFile& file) {
    const auto found = [&file](const std::wstring& text) { return file.found ? Quote(text) : modJson::Null; };
    return L"{\n    " + Member(L"path", Quote(file.path)) + L",\n    " + Member(L"found", Flag(file.found)) +
           L",\n    " + Member(L"version", found(file.version)) + L",\n    " + Member(L"crc32", found(file.crc32)) +
           L",\n    " + Member(L"readError", file.readError ? ErrorJson(*file.readError) : modJson::Null) + L",\n    " +
           Member(L"expectedVersion", file.pinned ? Quote(modControlFile::RequiredVersion) : modJson::Null) +
           L",\n    " + Member(L"expectedCrc32", file.pinned ? Quote(modControlFile::RequiredCRC32) : modJson::Null) +
           L"\n  }";
}

// An entry's members after its id or version: where it points and what that is.
std::wstring EntryJson(const modRegistration::Entry& entry) {
    const auto scope = entry.scope ? Quote(modRegistration::ScopeText(*entry.scope)) : modJson::Null;
    return Member(L"path", QuotedOrNull(entry.path)) + L", " + Member(L"scope", scope) + L", " +
           Member(L"here", Flag(entry.here)) + L", " + Member(L"exists", Flag(entry.exists)) + L"}";
}

// A JSON array of `items`, one a line, indented `depth` levels (of two spaces) past
// the member that holds it.
template <class Item, class ItemJson>
std::wstring ArrayJson(const std::vector<Item>& items, std::size_t depth, ItemJson itemJson) {
    if (items.empty()) return L"[]";
    const std::wstring indent(2 * depth, L' ');
    std::wstring json = L"[";
    for (std::size_t i = 0; i < items.size(); ++i) json += (i == 0 ? L"\n" : L",\n") + indent + itemJson(items[i]);
    return json + L"\n" + indent.substr(2) + L"]";
}

std::wstring EntriesJson(const std::vector<modRegistration::Entry>& entries, bool byVersion) {
    return ArrayJson(entries, 3, [byVersion](const modRegistration::Entry& entry) {
        return L"{" + (byVersion ? Member(L"version", Quote(entry.version)) : Member(L"id", Quote(entry.id))) + L", " +
               EntryJson(entry);
    });
}

std::wstring CachesJson(const std::vector<modOfficeCache::CacheFile>& caches) {
    return ArrayJson(caches, 3, [](const modOfficeCache::CacheFile& cache) {
        return L"{" + Member(L"path", Quote(cache.path)) + L", " +
               Member(L"modified", Quote(modOfficeCache::UtcText(cache.modified))) + L", " +
               Member(L"older", Flag(cache.older)) + L"}";
    });
}

std::wstring OfficeJson(const std::vector<modOffice::Installation>& installations,
                        const modDiagnosis::Subject& subject) {
    return ArrayJson(installations, 3, [&subject](const modOffice::Installation& office) {
        return L"{" + Member(L"version", Quote(office.version)) + L", " + Member(L"bitness", Quote(office.bitness)) +
               L", " + Member(L"source", Quote(office.source)) + L", " +
               Member(L"loads", Flag(modDiagnosis::OfficeLoads(office, subject))) + L"}";
    });
}

std::wstring AssemblyJson(const std::optional<modManifest::AssemblyIdentity>& assembly) {
    if (!assembly) return modJson::Null;
    return L"{" + Member(L"name", Quote(assembly->name)) + L", " + Member(L"version", Quote(assembly->version)) +
           L", " + Member(L"processor", Quote(assembly->processorArchitecture)) + L"}";
}

std::wstring DependenciesJson(const std::vector<modDependencies::Dependency>& dependencies, std::size_t depth = 3) {
    return ArrayJson(dependencies, depth, [](const modDependencies::Dependency& dependency) {
        const auto problem = modDependencies::ProblemText(dependency.problem);
        const auto text = [](const std::wstring& value) { return value.empty() ? modJson::Null : Quote(value); };
        return L"{" + Member(L"name", Quote(dependency.name)) + L", " + Member(L"path", QuotedOrNull(dependency.path)) +
               L", " + Member(L"neededBy", text(dependency.neededBy)) + L", " +
               Member(L"delayLoaded", Flag(dependency.delayLoaded)) + L", " + Member(L"problem", text(problem)) +
               L", " + Member(L"export", text(dependency.exportName)) + L", " +
               Member(L"assembly", AssemblyJson(dependency.assembly)) + L", " +
               Member(L"error",
                      dependency.error ? ErrorJson({*dependency.error, dependency.errorDescription}) : modJson::Null) +
               L", " + Member(L"damage", text(dependency.damage)) + L"}";
    });
}

std::wstring RegistrationJson(const modDiagnosis::Diagnosis& found) {
    const auto& registration = found.registration;
    const auto& library = registration.typeLibrary;
    const std::wstring libraryJson = library
                                         ? L"{" + Member(L"id", Quote(library->id)) + L", " +
                                               Member(L"version", Quote(library->version)) + L", " + EntryJson(*library)
                                         : modJson::Null;
    return L"{\n    " + Member(L"state", Quote(modRegistration::StateText(registration.state))) + L",\n    " +
           Member(L"reason", QuotedOrNull(registration.reason)) + L",\n    " + Member(L"typeLibrary", libraryJson) +
           L",\n    " + Member(L"classes", EntriesJson(registration.classes, false)) + L",\n    " +
           Member(L"otherVersions", EntriesJson(registration.otherVersions, true)) + L",\n    " +
           Member(L"hint", QuotedOrNull(found.hint)) + L",\n    " +
           Member(L"account", found.account.empty() ? modJson::Null : Quote(found.account)) + L",\n    " +
           Member(L"officeCache", found.officeCache ? CachesJson(*found.officeCache) : modJson::Null) + L",\n    " +
           Member(L"office", OfficeJson(found.office, found.subject)) + L",\n    " +
           Member(L"dependencies", found.dependencies ? DependenciesJson(*found.dependencies) : modJson::Null) +
           L",\n    " + Member(L"dependenciesReason", QuotedOrNull(found.dependenciesReason)) + L",\n    " +
           Member(L"loads", found.loads ? Flag(*found.loads) : modJson::Null) + L"\n  }";
}

std::wstring ViewsJson(const std::vector<std::wstring>& views) {
    std::wstring json = L"[";
    for (std::size_t i = 0; i < views.size(); ++i) json += (i == 0 ? L"" : L", ") + Quote(views[i]);
    return json + L"]";
}

std::wstring ScannedFileJson(const modScan::ScannedFile& file) {
    return L"{" + Member(L"path", Quote(file.path)) + L", " +
           Member(L"status", Quote(modScan::StatusText(file.status))) + L", " +
           Member(L"bitness", file.bitness.empty() ? modJson::Null : Quote(file.bitness)) + L", " +
           Member(L"views", ViewsJson(file.views)) + L", " + Member(L"classes", std::to_wstring(file.classes)) + L", " +
           Member(L"typeLibraries", std::to_wstring(file.typeLibraries)) + L", " + Member(L"found", Flag(file.found)) +
           L", " +
           Member(L"readError",
                  file.readError ? ErrorJson({file.readError->number, file.readError->description}) : modJson::Null) +
           L", " + Member(L"loads", file.loads ? Flag(*file.loads) : modJson::Null) + L", " +
           Member(L"registration", QuotedOrNull(file.registration)) + L", " +
           Member(L"cause", file.cause.empty() ? modJson::Null : Quote(file.cause)) + L", " +
           Member(L"dependencies", file.dependencies ? DependenciesJson(*file.dependencies, 4) : modJson::Null) +
           L", " + Member(L"hint", QuotedOrNull(file.hint)) + L"}";
}

std::wstring ScanJson(const modScan::Scan& scan) {
    const auto counts = modScan::CountsOf(scan);
    const auto count = [](std::size_t n) { return std::to_wstring(n); };
    return L"{\n    " + Member(L"complete", Flag(scan.complete)) + L",\n    " +
           Member(L"counts", L"{" + Member(L"files", count(counts.files)) + L", " +
                                 Member(L"load", count(counts.load)) + L", " +
                                 Member(L"missing", count(counts.missing)) + L", " +
                                 Member(L"willNotLoad", count(counts.willNotLoad)) + L", " +
                                 Member(L"other", count(counts.other)) + L"}") +
           L",\n    " + Member(L"files", ArrayJson(scan.files, 3, ScannedFileJson)) + L"\n  }";
}

std::wstring ReportJson(const std::vector<ReportRow>& rows) {
    return ArrayJson(rows, 2, [](const ReportRow& row) {
        return L"{" + Member(L"label", Quote(row.label)) + L", " + Member(L"value", Quote(row.value)) + L"}";
    });
}

}  // namespace

Run& CurrentRun() {
    static Run run;
    return run;
}

namespace {

std::shared_ptr<const RunRecord>& PublishedRecord() {
    static std::shared_ptr<const RunRecord> record = std::make_shared<const RunRecord>();
    return record;
}

void Publish(const RunRecord& record) {
    std::atomic_store(&PublishedRecord(), std::shared_ptr<const RunRecord>(std::make_shared<const RunRecord>(record)));
}

// The claim in one word: the claimant's thread above bit 32, then the stage, who
// claimed it and the exit code, a byte each. Zero: unclaimed.
enum class Stage : std::uint64_t { Claimed = 1, Written = 2 };

struct Claim {
    std::uint32_t thread = 0;
    Stage stage = Stage::Claimed;
    Ender ender = Ender::RunThread;
    ExitStatus status = ExitStatus::Error;

    static Claim Of(std::uint64_t word) {
        return {static_cast<std::uint32_t>(word >> 32), static_cast<Stage>(word >> 16 & 0xFF),
                static_cast<Ender>(word >> 8 & 0xFF), static_cast<ExitStatus>(word & 0xFF)};
    }
    std::uint64_t Word() const {
        return std::uint64_t{thread} << 32 | static_cast<std::uint64_t>(stage) << 16 |
               static_cast<std::uint64_t>(ender) << 8 | static_cast<std::uint64_t>(status);
    }
};

constexpr std::uint64_t Unclaimed = 0;
std::atomic<std::uint64_t>& EndClaim() noexcept {
    static std::atomic<std::uint64_t> claim{Unclaimed};
    return claim;
}

RunRecord& TheRecord() {
    static RunRecord record;
    return record;
}

}  // namespace

const RunRecord& Record() { return TheRecord(); }

void ChangeRecord(const std::function<void(RunRecord&)>& edit) {
    edit(TheRecord());
    Publish(TheRecord());
}

void StartRun(const modCommandLine::RunOptions& options) {
    CurrentRun().options = options;
    CurrentRun().programVersion = options.jsonPath ? modVersion_v2::GetAppVersion() : std::wstring();
    if (!options.quiet) platform::PrepareSystemDescriptions();  // the message box's words
    ChangeRecord([](RunRecord& record) { record = {}; });
    EndClaim() = Unclaimed;
}

std::shared_ptr<const RunRecord> Published() { return std::atomic_load(&PublishedRecord()); }

bool ClaimEnd(Ender ender, ExitStatus status) noexcept {
    std::uint64_t seen = EndClaim().load();
    Claim claim;
    do {
        if (seen != Unclaimed && Claim::Of(seen).ender != ender) return false;
        claim = seen == Unclaimed ? Claim{platform::process::CurrentThread(), Stage::Claimed, ender, status}
                                  : Claim::Of(seen);
        // A result written with another code is no longer the end's: the claimant writes anew.
        if (claim.status != status) claim.stage = Stage::Claimed;
        claim.status = status;
    } while (!EndClaim().compare_exchange_weak(seen, claim.Word()));
    return true;
}

void MarkResultWritten() noexcept {
    std::uint64_t seen = EndClaim().load();
    while (seen != Unclaimed) {
        Claim claim = Claim::Of(seen);
        claim.stage = Stage::Written;
        if (EndClaim().compare_exchange_weak(seen, claim.Word())) return;
    }
}

std::optional<ExitStatus> ClaimedEnd() noexcept {
    const auto claimed = EndClaim().load();
    if (claimed == Unclaimed) return std::nullopt;
    return Claim::Of(claimed).status;
}

std::optional<Ender> Claimant() noexcept {
    const auto claimed = EndClaim().load();
    if (claimed == Unclaimed) return std::nullopt;
    return Claim::Of(claimed).ender;
}

CrashAction ClaimEndForCrash() noexcept {
    const std::uint32_t self = platform::process::CurrentThread();
    const Claim crash{self, Stage::Claimed, Ender::Crash, ExitStatus::Error};
    std::uint64_t seen = EndClaim().load();
    for (;;) {
        if (seen != Unclaimed) {
            const Claim claim = Claim::Of(seen);
            if (claim.stage == Stage::Written) return CrashAction::EndWithClaimed;
            if (claim.thread != self) return CrashAction::Wait;
        }
        // Unclaimed, or claimed by this very thread, whose result is not out: the crash tells it.
        if (EndClaim().compare_exchange_weak(seen, crash.Word())) return CrashAction::Tell;
    }
}

std::wstring ErrorNumberText(std::int32_t number) {
    return L"0x" + platform::text::Hex(static_cast<std::uint32_t>(number), 8);
}

std::wstring ToJson(const RunRecord& record, const std::wstring& programVersion) {
    const ExitStatus outcome = record.outcome.value_or(ExitStatus::Error);
    const auto exitCode = static_cast<std::uint32_t>(outcome);
    std::wstring json = L"{\n  ";
    json += Member(L"schema", L"1") + L",\n  ";
    json += Member(L"tool", Quote(modCommandLine::ToolName)) + L",\n  ";
    json += Member(L"version", Quote(programVersion)) + L",\n  ";
    const bool pinned = !record.scan && (!record.controlFile || record.controlFile->pinned);
    json += Member(L"result", Quote(ResultName(outcome, pinned))) + L",\n  ";
    json += Member(L"exitCode", std::to_wstring(exitCode)) + L",\n  ";
    json += Member(L"windowsFolder", QuotedOrNull(record.windowsFolder)) + L",\n  ";
    json +=
        Member(L"controlFile", record.controlFile ? ControlFileJson(*record.controlFile) : modJson::Null) + L",\n  ";
    json += Member(L"registration", record.registration ? RegistrationJson(*record.registration) : modJson::Null) +
            L",\n  ";
    json += Member(L"scan", record.scan ? ScanJson(*record.scan) : modJson::Null) + L",\n  ";
    json += Member(L"report", record.report ? ReportJson(*record.report) : modJson::Null) + L",\n  ";
    json += Member(L"error", record.error ? ErrorJson(*record.error) : modJson::Null) + L"\n}\n";
    return json;
}

void WriteResult(const RunRecord& record) {
    const auto& path = CurrentRun().options.jsonPath;
    if (!path) return;
    const std::wstring json = ToJson(record, CurrentRun().programVersion);
    if (*path == modCommandLine::StandardOutput) {
        platform::streams::Write(platform::streams::Stream::Output, json);
    } else {
        platform::files::WriteWholeFile(*path, json);
    }
}

namespace {

void TellOnStandardError(const std::wstring& line) {
    if (platform::streams::Given(platform::streams::Stream::Error)) {
        platform::streams::Write(platform::streams::Stream::Error,
                                 std::wstring(modCommandLine::ToolName) + L": " + line + L"\r\n");
    }
}

// The last line on standard error where telling an end failed part-way (memory ran
// out): made when the program was built, so telling it needs nothing more.
constexpr char UntoldLine[] = "Velmora: error: the run ended, and telling why failed\r\n";

void WriteFixedLine(const char* line) noexcept {
    platform::streams::WriteFixed(platform::streams::Stream::Error, line);
}

// Tells a run that ended as `record` does. A result that cannot be written is told
// on standard error: this is already the report of the run's end, nothing is left
// to pass another error to. `crashLine`, when given, is the error's line on standard
// error, made beforehand.
void Tell(const RunRecord& record, const char* crashLine = nullptr) noexcept {
    const bool quiet = CurrentRun().options.quiet;
    bool told = false;
    try {
        try {
            WriteResult(record);
        } catch (const platform::RunError& failure) {
            TellOnStandardError(L"the result could not be written: " + ErrorNumberText(failure.Number()) + L" " +
                                failure.Description());
        }
        const auto& error = *record.error;
        if (!quiet) {
            ShowRunError(error.number, error.description);
        } else if (!crashLine) {
            TellOnStandardError(L"error " + ErrorNumberText(error.number) + L": " + error.description);
        }
        told = true;
    } catch (...) {
        // Told below, with what was made beforehand.
    }
    if (crashLine && (quiet || !told)) {
        WriteFixedLine(crashLine);
    } else if (!told) {
        WriteFixedLine(UntoldLine);
    }
}

RunRecord ErrorRecord(RunRecord record, std::int32_t number, const std::wstring& description) {
    record.outcome = ExitStatus::Error;
    record.error = RunError{number, description};
    return record;
}

}  // namespace

void ShowRunError(std::int32_t number, const std::wstring& description) {
    auto words = platform::SystemDescription(number);
    if (words.empty()) words = L"The system has no description of this error.";
    platform::ShowMessage(modCommandLine::ToolName,
                          L"The check could not be finished.\n\nWhat failed: " + description + L"\nError " +
                              ErrorNumberText(number) + L": " + words,
                          true);
}

void TellFailure(std::int32_t number, const std::wstring& description) noexcept {
    try {
        ChangeRecord([&](RunRecord& record) { record = ErrorRecord(std::move(record), number, description); });
    } catch (...) {
        WriteFixedLine(UntoldLine);
        return;
    }
    Tell(Record());
}

ExitStatus TellTimeout(std::uint32_t seconds) noexcept {
    try {
        RunRecord record = *Published();  // the run's thread may be changing its own
        // A registration read whole but for its dependencies keeps what was read.
        if (record.registration && record.registration->dependenciesPending) {
            modDiagnosis::DependenciesNotReadInTime(*record.registration, seconds);
        }
        if (record.verdict) {
            // The verdict stands; what followed it was not read in time.
            record.outcome = record.verdict;
            if (!record.registration && !record.scan) record.registration = modDiagnosis::NotReadInTime(seconds);
            try {
                WriteResult(record);
                return *record.verdict;
            } catch (const platform::RunError& failure) {
                Tell(ErrorRecord(record, failure.Number(), failure.Description()));
                return ExitStatus::Error;
            }
        }
        Tell(ErrorRecord(
            record, platform::errors::Timeout,
            (record.scan ? L"the scan did not finish within " : L"the run did not reach its verdict within ") +
                std::to_wstring(seconds) + L" seconds"));
    } catch (...) {
        WriteFixedLine(UntoldLine);
    }
    return ExitStatus::Error;
}

void FormatCrashLine(char (&line)[CrashLineSize], std::uint32_t code, const wchar_t* module) noexcept {
    constexpr char Head[] = "Velmora: error 0x";
    constexpr char Middle[] = ": A crash in ";
    std::size_t at = 0;
    const auto put = [&line, &at](char ch) {
        if (at + 3 < CrashLineSize) line[at++] = ch;  // room is kept for the line's end
    };
    for (const char* ch = Head; *ch; ++ch) put(*ch);
    for (int shift = 28; shift >= 0; shift -= 4) put("0123456789ABCDEF"[code >> shift & 0xF]);
    for (const char* ch = Middle; *ch; ++ch) put(*ch);
    // Module names are ASCII; any other character shows as "?".
    for (const wchar_t* ch = module; *ch; ++ch) put(*ch >= 0x20 && *ch < 0x7F ? static_cast<char>(*ch) : '?');
    line[at++] = '\r';
    line[at++] = '\n';
    line[at] = '\0';
}

void TellCrash(std::uint32_t code, const wchar_t* module, const char* line) noexcept {
    try {
        RunRecord record = *Published();  // the crashed thread's own may be half changed
        Tell(ErrorRecord(std::move(record), static_cast<std::int32_t>(code), L"A crash in " + std::wstring(module)),
             line);
    } catch (...) {
        WriteFixedLine(line);
    }
}

}  // namespace modRunResult
