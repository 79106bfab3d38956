#include "app/modRunResult.h"

#include <atomic>

#include "app/modJson.h"
#include "app/modVersion_v2.h"
#include "filecheck/modControlFile.h"
#include "platform/ErrorReport.h"
#include "platform/FileWriting.h"
#include "platform/RunError.h"
#include "platform/Streams.h"
#include "platform/Text.h"

namespace modRunResult {

namespace {

using modJson::Quote;

std::wstring Member(const wchar_t* name, const std::wstring& value) { return Quote(name) + L": " + value; }

std::wstring QuotedOrNull(const std::optional<std::wstring>& text) { return text ? Quote(*text) : modJson::Null; }

std::wstring ResultName(ExitStatus outcome) {
    switch (outcome) {
    case ExitStatus::Valid: return L"valid";
    case ExitStatus::Fail: return L"fail";
    case ExitStatus::NotFound: return L"missing";
    default: return L"error";
    }
}

std::wstring Flag(bool value) { return value ? L"true" : L"false"; }

std::wstring ControlFileJson(const ControlFile& file) {
    const auto found = [&file](const std::wstring& text) { return file.found ? Quote(text) : modJson::Null; };
    return L"{\n    " + Member(L"path", Quote(file.path)) + L",\n    " + Member(L"found", Flag(file.found)) +
           L",\n    " + Member(L"version", found(file.version)) + L",\n    " + Member(L"crc32", found(file.crc32)) +
           L",\n    " + Member(L"expectedVersion", Quote(modControlFile::RequiredVersion)) + L",\n    " +
           Member(L"expectedCrc32", Quote(modControlFile::RequiredCRC32)) + L"\n  }";
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

std::wstring RegistrationJson(const modRegistration::Registration& found) {
    const auto& library = found.typeLibrary;
    const std::wstring libraryJson = library
                                         ? L"{" + Member(L"id", Quote(library->id)) + L", " +
                                               Member(L"version", Quote(library->version)) + L", " + EntryJson(*library)
                                         : modJson::Null;
    return L"{\n    " + Member(L"state", Quote(modRegistration::StateText(found.state))) + L",\n    " +
           Member(L"reason", QuotedOrNull(found.reason)) + L",\n    " + Member(L"typeLibrary", libraryJson) +
           L",\n    " + Member(L"classes", EntriesJson(found.classes, false)) + L",\n    " +
           Member(L"otherVersions", EntriesJson(found.otherVersions, true)) + L",\n    " +
           Member(L"hint", QuotedOrNull(found.hint)) + L",\n    " +
           Member(L"account", found.account.empty() ? modJson::Null : Quote(found.account)) + L",\n    " +
           Member(L"officeCache", found.officeCache ? CachesJson(*found.officeCache) : modJson::Null) + L"\n  }";
}

std::wstring ReportJson(const std::vector<ReportRow>& rows) {
    return ArrayJson(rows, 2, [](const ReportRow& row) {
        return L"{" + Member(L"label", Quote(row.label)) + L", " + Member(L"value", Quote(row.value)) + L"}";
    });
}

std::wstring ErrorJson(const RunError& error) {
    return L"{" + Member(L"number", Quote(ErrorNumberText(error.number))) + L", " +
           Member(L"description", Quote(error.description)) + L"}";
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

constexpr std::int32_t Unclaimed = -1;
std::atomic<std::int32_t>& EndClaim() {
    static std::atomic<std::int32_t> claim{Unclaimed};
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
    ChangeRecord([](RunRecord& record) { record = {}; });
    EndClaim() = Unclaimed;
}

std::shared_ptr<const RunRecord> Published() { return std::atomic_load(&PublishedRecord()); }

bool ClaimEnd(Ender ender, ExitStatus status) {
    // The claim holds who claimed the end above the exit code's byte.
    const auto who = static_cast<std::int32_t>(ender) << 8;
    std::int32_t seen = EndClaim().load();
    do {
        if (seen != Unclaimed && (seen & ~0xFF) != who) return false;
    } while (!EndClaim().compare_exchange_weak(seen, who | static_cast<std::int32_t>(status)));
    return true;
}

std::optional<ExitStatus> ClaimedEnd() {
    const auto claimed = EndClaim().load();
    if (claimed == Unclaimed) return std::nullopt;
    return static_cast<ExitStatus>(claimed & 0xFF);
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
    json += Member(L"result", Quote(ResultName(outcome))) + L",\n  ";
    json += Member(L"exitCode", std::to_wstring(exitCode)) + L",\n  ";
    json += Member(L"windowsFolder", QuotedOrNull(record.windowsFolder)) + L",\n  ";
    json +=
        Member(L"controlFile", record.controlFile ? ControlFileJson(*record.controlFile) : modJson::Null) + L",\n  ";
    json += Member(L"registration", record.registration ? RegistrationJson(*record.registration) : modJson::Null) +
            L",\n  ";
    json += Member(L"report", record.report ? ReportJson(*record.report) : modJson::Null) + L",\n  ";
    json += Member(L"error", record.error ? ErrorJson(*record.error) : modJson::Null) + L"\n}\n";
    return json;
}

void WriteResult(const RunRecord& record) {
    const auto& path = CurrentRun().options.jsonPath;
    if (!path) return;
    const std::wstring json = ToJson(record, modVersion_v2::GetAppVersion());
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

// Tells a run that ended as `record` does. A result that cannot be written is told
// on standard error: this is already the report of the run's end, nothing is left
// to pass another error to.
void Tell(const RunRecord& record) {
    try {
        WriteResult(record);
    } catch (const platform::RunError& failure) {
        TellOnStandardError(L"the result could not be written: " + ErrorNumberText(failure.Number()) + L" " +
                            failure.Description());
    }
    const auto& error = *record.error;
    if (CurrentRun().options.quiet) {
        TellOnStandardError(L"error " + ErrorNumberText(error.number) + L": " + error.description);
    } else {
        ShowRunError(error.number, error.description);
    }
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

void TellFailure(std::int32_t number, const std::wstring& description) {
    ChangeRecord([&](RunRecord& record) {
        record.outcome = ExitStatus::Error;
        record.error = RunError{number, description};
    });
    Tell(Record());
}

void TellTimeout(std::uint32_t seconds) {
    RunRecord record = *Published();  // the run's thread may be changing its own
    record.outcome = ExitStatus::Error;
    record.error = RunError{platform::errors::Timeout,
                            L"the run did not reach its verdict within " + std::to_wstring(seconds) + L" seconds"};
    Tell(record);
}

void TellCrash(std::uint32_t code, const std::wstring& module) {
    RunRecord record = *Published();  // the crashed thread's own may be half changed
    record.outcome = ExitStatus::Error;
    record.error = RunError{static_cast<std::int32_t>(code), L"A crash in " + module};
    Tell(record);
}

}  // namespace modRunResult
