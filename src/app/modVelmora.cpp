#include "app/modVelmora.h"

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "app/modCommandLine.h"
#include "app/modRunResult.h"
#include "app/modScanRun.h"
#include "app/modVersion_v2.h"
#include "console/clsWinConsole.h"
#include "filecheck/modCRC32_v2.h"
#include "filecheck/modControlFile.h"
#include "filecheck/modFileDirExists_v2.h"
#include "filecheck/modFileVersion.h"
#include "loadcheck/modDiagnosis.h"
#include "filecheck/modSpecialFoldersWin.h"
#include "filecheck/modPeFile.h"
#include "filecheck/modTypeLibrary.h"
#include "osinfo/modTaggedValue.h"
#include "osinfo/modVersionOS_v4.h"
#include "platform/AppInfo.h"
#include "platform/ErrorReport.h"
#include "platform/FileNames.h"
#include "platform/FileReading.h"
#include "platform/Locale.h"
#include "platform/Process.h"
#include "platform/RunError.h"
#include "platform/SystemInfo.h"
#include "platform/Wmi.h"

namespace modVelmora {

namespace {

namespace osproperty = modVersionOS_v4::osproperty;
namespace verselector = modVersionOS_v4::verselector;

constexpr bool WithLineEnd = true;
constexpr bool WithoutLineEnd = false;

constexpr int FrameWidth = 80;
constexpr int ProgressSteps = 70;
constexpr std::uint32_t ProgressPauseMs = 30;

struct SpecialFolderEntry {
    std::wstring DisplayName;
    std::wstring FolderPath;
    std::wstring CsidlName;
};

std::wstring Repeat(wchar_t ch, int count) { return std::wstring(static_cast<std::size_t>(count), ch); }
std::wstring Spaces(int count) { return Repeat(L' ', count); }
std::wstring Tabs(int count) { return Repeat(L'\t', count); }
const std::wstring FrameEdge = Repeat(L'-', 5);
const std::wstring CrLf = L"\r\n";

bool Interactive() { return !modRunResult::CurrentRun().options.quiet; }

// Everything on screen goes through here: an unattended run has no console.
void Put(const std::wstring& text, bool lineEnd) {
    if (Interactive()) Console().WriteText(text, lineEnd);
}
void Write(const std::wstring& text) { Put(text, WithLineEnd); }

using modRunResult::ChangeRecord;
void ChangeControlFile(const std::function<void(modRunResult::ControlFile&)>& edit) {
    // cppcheck-suppress constParameter ; the edit changes the record's control file
    ChangeRecord([&edit](modRunResult::RunRecord& record) { edit(*record.controlFile); });
}

// --- The report --------------------------------------------------------------------

// One line of the report: the label, the TABs to column 32, the value, what follows it.
struct ReportLine {
    const wchar_t* label;
    int tabs;
    std::wstring value;
    const wchar_t* after = L"\r\n";

    std::wstring Text() const { return label + Tabs(tabs) + value + after; }
    // The row as the result names it: the label before its colon, the value and what
    // follows it on the row ("64bit"), without the trailing spaces.
    modRunResult::ReportRow Row() const {
        const std::wstring name = label;
        std::wstring shown = value + after;
        while (!shown.empty() && (shown.back() == L'\n' || shown.back() == L'\r' || shown.back() == L' ')) {
            shown.pop_back();
        }
        return {name.substr(0, name.find(L':')), shown};
    }
};

ReportLine PropertyLine(const wchar_t* label, int tabs, std::int32_t index, const wchar_t* after = L"\r\n") {
    return {label, tabs, modTaggedValue::ToReportText(modVersionOS_v4::GetOSProperty(index)), after};
}

// Each line is built in a statement of its own, so the property reads, any of which
// may fail, happen in the report's order.
void AddWmiBranchLines(std::vector<ReportLine>& lines) {
    lines.push_back(PropertyLine(L"OS: ", 4, osproperty::Caption));
    lines.push_back(PropertyLine(L"Version OS: ", 3, osproperty::Version, L"  \r\n"));
    lines.push_back(PropertyLine(L"Bit version: ", 3, osproperty::Bitness, L"bit\r\n"));
}

void AddKernelRecordBranchLines(std::vector<ReportLine>& lines) {
    std::wstring name, servicePack, version;
    modVersionOS_v4::GetOSInfo(name, servicePack, version);  // its status is not shown
    lines.push_back({L"OS: ", 4, name});
    lines.push_back({L"Version OS: ", 3, version, L"  \r\n"});
    lines.push_back({L"Service pack: ", 3, servicePack, L"  \r\n"});
    lines.push_back(PropertyLine(L"Bit version: ", 3, osproperty::Bitness, L"bit\r\n"));
}

struct CommonLine {
    const wchar_t* label;
    int tabs;
    osproperty::Index index;
};

constexpr std::array<CommonLine, 21> CommonLines = {{
    {L"GetOSVerEnum(): ", 2, osproperty::VersionEnumeration},
    {L"Install date: ", 3, osproperty::InstallDate},
    {L"Licenced user: ", 3, osproperty::NumberOfLicensedUsers},
    {L"Registered user: ", 2, osproperty::RegisteredUser},
    {L"Serial number: ", 3, osproperty::SerialNumber},
    {L"Organization: ", 3, osproperty::Organization},
    {L"Product set: ", 3, osproperty::OSProductSuite},
    {L"Platform ID: ", 3, osproperty::PlatformId},
    {L"Main version: ", 3, osproperty::MajorVersion},
    {L"Second version: ", 2, osproperty::MinorVersion},
    {L"ServicePack main version: ", 1, osproperty::ServicePackMajorVersion},
    {L"ServicePack second version: ", 1, osproperty::ServicePackMinorVersion},
    {L"Version OS: ", 3, osproperty::Version},
    {L"Build OS: ", 3, osproperty::BuildNumber},
    {L"Language version: ", 2, osproperty::OSLanguage},
    {L"Type OS: ", 3, osproperty::OSType},
    {L"Set code: ", 3, osproperty::CodeSet},
    {L"Country code: ", 3, osproperty::CountryCode},
    {L"Encryption level: ", 2, osproperty::EncryptionLevel},
    {L"Build type: ", 3, osproperty::BuildType},
    {L"Boot drive: ", 3, osproperty::BootDevice},
}};

// Why the control file was not read whole, as the result tells it.
modRunResult::RunError ReadErrorOf(const modCRC32_v2::ReadFailure& failure) {
    std::wstring description = failure.opened
                                   ? L"the file could not be read past byte " + std::to_wstring(failure.bytesRead)
                                   : L"the file could not be opened";
    const auto words = platform::SystemDescription(failure.number);
    if (!words.empty()) description += L": " + words;
    return {failure.number, description};
}

// --- The registration ------------------------------------------------------------------

// An entry that does not name this file: where it points, or that it points nowhere.
std::wstring EntryRow(const std::wstring& what, const modRegistration::Entry& entry) {
    if (!entry.Registered()) return what + L" is not registered";
    std::wstring row = what + L" points to " + *entry.path;
    row += entry.scope == modRegistration::Scope::User ? L" (per user)" : L" (per machine)";
    if (!entry.exists) row += L", which is not there";
    return row;
}

// A file time in the user's local forms; a time that local time cannot show (after
// the year 9999) as its UTC text.
std::wstring LocalTimeText(std::uint64_t fileTime) {
    try {
        return platform::locale::FormatDateTime(platform::locale::UtcToLocal(modOfficeCache::DateTimeOf(fileTime)));
    } catch (const platform::RunError&) {
        return modOfficeCache::UtcText(fileTime);
    }
}

// Office's caches of the control, and where one is older than the file, what to do.
void ShowOfficeCaches(const std::vector<modOfficeCache::CacheFile>& caches) {
    std::vector<std::wstring> deletes;
    for (const auto& cache : caches) {
        Write(L"Office cache " + cache.path + L", written " + LocalTimeText(cache.modified) +
              (cache.older ? L" (older than the control file)" : L""));
        if (cache.older) deletes.push_back(L"del \"" + cache.path + L"\"");
    }
    if (deletes.empty()) return;
    Write(L"Office rebuilds these caches when they are gone: close Office, then delete the older ones:");
    for (const auto& command : deletes) Write(command);
}

// The control file the run checks: the one in the system folder, or /control's.
bool AnotherControl() { return modRunResult::CurrentRun().options.controlPath.has_value(); }
std::wstring ControlName() {
    const auto& path = modRunResult::CurrentRun().options.controlPath;
    return path ? platform::filenames::NameOf(*path) : modControlFile::FileName;
}

void ShowRegistrationHeading() {
    Write(L"");
    Write(L"Test registration " + ControlName());
}

// A dependency's row: what is wrong with it.
std::wstring DependencyRow(const modDependencies::Dependency& d) {
    using modDependencies::Problem;
    const std::wstring of = d.neededBy.empty() ? L"This file" : L"Dependency " + d.name + L" of " + d.neededBy;
    std::wstring row;
    switch (d.problem) {
    case Problem::None: break;
    case Problem::Missing: row = of + L" is not found"; break;
    case Problem::OtherProcessor: row = of + L" is built for the other processor: " + d.path.value_or(L""); break;
    case Problem::MissingExport: row = of + L" does not export " + d.exportName; break;
    case Problem::MissingAssembly:
        row = L"Side-by-side assembly " + d.name + (d.assembly ? L" " + d.assembly->version : L"") + L" of " +
              d.neededBy + L" is not installed";
        break;
    case Problem::Unreadable:
        row = of + L" could not be read: " + modRunResult::ErrorNumberText(d.error.value_or(0)) +
              (d.errorDescription.empty() ? L"" : L" " + d.errorDescription);
        break;
    case Problem::Damaged: row = of + L" is damaged: " + d.damage; break;
    }
    return row + (d.delayLoaded ? L" (loaded only when used)" : L"");
}

void ShowRegistration(const modDiagnosis::Diagnosis& found) {
    const auto& registration = found.registration;
    ShowRegistrationHeading();
    Write(L"Registration: " + modRegistration::StateText(registration.state));
    Write(L"Per-user entries and caches of: " +
          (found.account.empty() ? L"an account Windows does not name" : found.account));
    if (const auto& library = registration.typeLibrary; library && !library->here) {
        Write(EntryRow(L"Type library " + library->id + L" " + library->version, *library));
    }
    for (const auto& entry : registration.classes) {
        if (!entry.here) Write(EntryRow(L"Class " + entry.id, entry));
    }
    for (const auto& entry : registration.otherVersions) {
        if (!entry.here) {
            Write(EntryRow(L"Type library " + entry.id + L" " + entry.version + L" (another version)", entry));
        }
    }
    if (found.dependencies) {
        for (const auto& dependency : *found.dependencies) {
            if (dependency.problem != modDependencies::Problem::None) Write(DependencyRow(dependency));
        }
    }
    if (found.dependenciesReason) {
        Write(std::wstring(found.dependencies ? L"Dependencies: not all read (" : L"Dependencies: not read (") +
              *found.dependenciesReason + L")");
    }
    // Each Office that cannot load it, beside the verdict: a warning once, never a second time as the hint.
    std::vector<std::wstring> warnings;
    for (const auto& office : found.officeOfOtherBitness) {
        warnings.push_back(modDiagnosis::OfficeWarning(office, found.subject));
        Write(warnings.back());
    }
    if (found.hint && std::find(warnings.begin(), warnings.end(), *found.hint) == warnings.end()) Write(*found.hint);
    if (found.officeCache) ShowOfficeCaches(*found.officeCache);
}

// The registration as read: or why it was not.
struct RegistrationReading {
    std::optional<modDiagnosis::Diagnosis> found;
    modRunResult::RunError failure;
    bool unreadable = false;  // the file could not be read: what holds it is to be closed
};

// This Windows as a program of the control's bitness sees it.
modProgramView::ProgramView ViewOf(std::uint16_t machine, const std::wstring& windowsFolder, bool windows64) {
    const auto kernel = modVersionOS_v4::GetKernelVersion();
    return modProgramView::ViewFor(machine, windows64, platform::systeminfo::NativeMachine(),
                                   {kernel.major, kernel.minor, kernel.build}, windowsFolder);
}

// The registration's bound: /timeout's seconds anew, or QuietTimeoutSeconds where none
// was given, so a stalled reading holds no run, interactive ones included.
void ArmWatchdogForTheRegistration() {
    const auto& options = modRunResult::CurrentRun().options;
    platform::process::StartWatchdog(options.timeoutSeconds.value_or(modCommandLine::QuietTimeoutSeconds), &OnTimeout);
}

// The registry's part first, published as it stands: a stall among the files after it
// costs the dependencies alone. Then the dependencies.
RegistrationReading ReadRegistration(const modPeFile::OpenImage& control, const std::wstring& path,
                                     const std::wstring& windowsFolder, bool windows64) {
    RegistrationReading read;
    try {
        ArmWatchdogForTheRegistration();
        const auto& readError = modRunResult::Record().controlFile->readError;
        const auto* image = control.Get();
        if (readError || !image) {
            read.failure =
                readError ? *readError : modRunResult::RunError{control.OpenFailure(), L"the file could not be opened"};
            read.unreadable = true;
            return read;
        }
        const auto reading = modTypeLibrary::ReadTypeLibrary(*image);
        if (reading.readFailed) {
            read.failure = {platform::file::LastFailure(), reading.reason};
            read.unreadable = true;
            return read;
        }
        const auto view = ViewOf(image->Machine(), windowsFolder, windows64);
        const modDiagnosis::Subject subject{path, view.systemFolder, view.Bits(),
                                            modRunResult::Record().controlFile->pinned};
        auto found = modDiagnosis::ReadRegistry(reading, subject, view);
        ChangeRecord([&found](modRunResult::RunRecord& record) { record.registration = found; });
        modDiagnosis::AddDependencies(found, modDependencies::FindDependencies(path, *image, view));
        read.found = std::move(found);
    } catch (const platform::RunError& error) {
        read.failure = {error.Number(), error.Description()};
    } catch (const std::exception&) {
        read.failure = {platform::errors::Unexpected, L"an unexpected error"};
    }
    return read;
}

// The reading kept for the result and, where asked for, shown. The watchdog may
// have ended the run meanwhile, with the verdict: then it shows the rest.
void KeepRegistration(const RegistrationReading& read, ExitStatus verdict) {
    if (!modRunResult::ClaimEnd(modRunResult::Ender::RunThread, verdict)) platform::process::WaitToBeEnded();
    ChangeRecord([&read](modRunResult::RunRecord& record) { record.registration = read.found; });
    const auto& options = modRunResult::CurrentRun().options;
    if (!options.registration && !AnotherControl()) return;
    if (read.found) {
        ShowRegistration(*read.found);
        return;
    }
    ShowRegistrationHeading();
    Write(L"Registration: not read (" + read.failure.description + L")");
    if (read.unreadable) {
        Write(
            L"Another program holds the file (an installer, an antivirus scanner): close it, then run Velmora "
            L"again.");
    }
}

// The registration where it is asked for: on screen with /registration, and in every
// JSON result. A plain run reads none of it. It comes after the verdict, which no
// failure to read it may lose: such a failure is shown, and the result has none. The
// watchdog is armed anew for the reading, and a reading it outlasts keeps the verdict.
void ReportRegistration(const modPeFile::OpenImage& control, const std::wstring& path,
                        const std::wstring& windowsFolder, bool windows64, ExitStatus verdict) {
    const auto& options = modRunResult::CurrentRun().options;
    if (!options.registration && !options.jsonPath && !AnotherControl()) return;
    KeepRegistration(ReadRegistration(control, path, windowsFolder, windows64), verdict);
}

// The verdict as shown: from here on it is the run's exit code, whatever ends the run.
void ShowVerdict(const std::wstring& text, ExitStatus verdict) {
    Write(text);
    ChangeRecord([verdict](modRunResult::RunRecord& record) { record.verdict = verdict; });
    ShowProgress();
}

// Another control's verdict: whether a program that needs it will load it, which
// its registration and dependencies tell; so they are read first, and shown after the
// verdict. One that cannot be read, or whose dependencies could not all be read, is
// an error: there is no verdict.
ExitStatus WillItLoad(const modPeFile::OpenImage& control, const std::wstring& path, const std::wstring& windowsFolder,
                      bool windows64) {
    const auto read = ReadRegistration(control, path, windowsFolder, windows64);
    if (!read.found) platform::Fail(read.failure.number, L"Reading the registration: " + read.failure.description);
    const std::wstring cause = modDiagnosis::NotLoadingCause(*read.found);
    if (cause.empty() && !read.found->loads) {
        ChangeRecord([&read](modRunResult::RunRecord& record) { record.registration = read.found; });
        platform::Fail(platform::errors::Bounds,
                       L"Reading the dependencies: " + read.found->dependenciesReason.value_or(L"not all read"));
    }
    const ExitStatus verdict = cause.empty() ? ExitStatus::Valid : ExitStatus::Fail;
    ShowVerdict(cause.empty() ? L"Control will load" : L"Control will not load: " + cause, verdict);
    KeepRegistration(read, verdict);
    return verdict;
}

// The end of an interactive run the watchdog ended after its verdict: the rows of a
// registration, or of dependencies, not read in time where the run shows them, or the
// files a scan read until then; and the prompt, shown by the watchdog, since the run's
// thread is still waiting.
void ShowRegistrationTimeout(std::uint32_t seconds) {
    const auto& options = modRunResult::CurrentRun().options;
    const auto published = modRunResult::Published();
    // A plain run shows no registration: its verdict, then the prompt.
    if (published->scan) {
        modScanRun::ShowUnfinished(Put, *published->scan, seconds);
    } else if (options.registration || AnotherControl()) {
        if (published->registration) {
            auto found = *published->registration;
            if (found.dependenciesPending) modDiagnosis::DependenciesNotReadInTime(found, seconds);
            ShowRegistration(found);
        } else {
            const auto found = modDiagnosis::NotReadInTime(seconds);
            ShowRegistrationHeading();
            Write(L"Registration: " + modRegistration::StateText(found.registration.state) + L" (" +
                  *found.registration.reason + L")");
            Write(*found.hint);
        }
    }
    Write(CrLf);
    Write(L"Press Enter to exit");
    Console().ReadText();
    Console().Hide();
}

}  // namespace

clsWinConsole& Console() {
    static clsWinConsole console;
    return console;
}

// --- Run sequence --------------------------------------------------------------------

void Main() { Main(modCommandLine::RunOptions{}); }

void Main(const modCommandLine::RunOptions& options) {
    modRunResult::StartRun(options);
    if (options.timeoutSeconds) platform::process::StartWatchdog(*options.timeoutSeconds, &OnTimeout);
    if (Interactive()) Console().Show();
    ShowHeader();
    const ExitStatus outcome = options.scan ? RunScan() : RunChecks();
    WaitForExit(outcome);
}

void ShowHeader() {
    if (!Interactive()) return;  // nothing to show it on, and no need to read the program's texts
    const auto& app = platform::App();
    const std::wstring frame = Repeat(L'-', FrameWidth);
    // Five rows of 80 characters without line ends: an 80-column console wraps them.
    Put(frame, WithoutLineEnd);
    Put(FrameEdge + Spaces(18) + app.CompanyName + L" ver. " + modVersion_v2::GetAppVersion() + Spaces(14) + FrameEdge,
        WithoutLineEnd);
    Put(FrameEdge + Spaces(25) + MakerWebAddress + Spaces(25) + FrameEdge, WithoutLineEnd);
    Put(FrameEdge + Spaces(15) + L"ActiveX add-in checker, MsComCtl.OCX file" + Spaces(14) + FrameEdge, WithoutLineEnd);
    Put(frame, WithoutLineEnd);
    Write(L"The program tests the version of installed ActiveX add-on, MsComCtl.OCX file" + CrLf);
}

void ShowProgress() {
    if (!Interactive()) return;  // the bar is a pause for a person to watch
    for (int step = 1; step <= ProgressSteps; ++step) {
        // The watchdog has ended the run meanwhile, and shows its end: this bar stops.
        if (modRunResult::Claimant() == modRunResult::Ender::Watchdog) platform::process::WaitToBeEnded();
        Put(step == 1 ? L"|" : L"-", WithoutLineEnd);
        platform::process::Pause(ProgressPauseMs);
    }
    Put(L"|", WithoutLineEnd);
    Write(L"");
}

void WaitForExit(ExitStatus outcome) {
    // The watchdog may have ended the run already: then it writes the result, not this thread.
    if (!modRunResult::ClaimEnd(modRunResult::Ender::RunThread, outcome)) platform::process::WaitToBeEnded();
    // The run is over: the result is written, and waiting at the prompt is no part of it.
    platform::process::StopWatchdog();
    ChangeRecord([outcome](modRunResult::RunRecord& record) { record.outcome = outcome; });
    modRunResult::WriteResult(modRunResult::Record());
    modRunResult::MarkResultWritten();
    if (Interactive()) {
        Write(CrLf);
        Write(L"Press Enter to exit");
        Console().ReadText();
        Console().Hide();
    }
    ReleaseSystemObjects();
    platform::process::EndNow(static_cast<std::uint32_t>(outcome));
}

void OnTimeout() {
    // Reached, the verdict is the run's exit code whatever follows it.
    const auto verdict = modRunResult::Published()->verdict;
    // The run's thread may be ending the run already: then this one leaves it to it.
    if (!modRunResult::ClaimEnd(modRunResult::Ender::Watchdog, verdict.value_or(ExitStatus::Error))) return;
    const auto seconds =
        modRunResult::CurrentRun().options.timeoutSeconds.value_or(modCommandLine::QuietTimeoutSeconds);
    const ExitStatus ended = modRunResult::TellTimeout(seconds);
    // A result that could not be written makes the end an error: the claim says so too.
    modRunResult::ClaimEnd(modRunResult::Ender::Watchdog, ended);
    modRunResult::MarkResultWritten();
    if (verdict && Interactive()) {
        try {
            ShowRegistrationTimeout(seconds);
        } catch (...) {
            // The result is written: the screen's last rows are all that is lost.
        }
    }
    platform::process::EndAtOnce(static_cast<std::uint32_t>(ended));
}

void ReleaseSystemObjects() {
    modVersionOS_v4::ResetOSPropertySource();
    platform::wmi::EndCom();
}

ExitStatus RunScan() {
    // A share that stalls the scan holds no run, interactive ones included.
    if (!modRunResult::CurrentRun().options.timeoutSeconds) {
        platform::process::StartWatchdog(modCommandLine::QuietTimeoutSeconds, &OnTimeout);
    }
    return modScanRun::Run(Put, Interactive());
}

// --- Check run ---------------------------------------------------------------------------

ExitStatus RunChecks() {
    std::vector<modRunResult::ReportRow> reportRows;
    Write(GetAboutOS(&reportRows));
    ChangeRecord([&reportRows](modRunResult::RunRecord& record) { record.report = reportRows; });

    const SpecialFolderEntry windowsEntry = {L"Windows Directory", modSpecialFoldersWin::WindowsFolder(),
                                             L"CSIDL_WINDOWS"};
    const std::wstring windowsFolder = windowsEntry.FolderPath;
    Write(L"Windows folder: " + Tabs(2) + windowsFolder);
    ChangeRecord([&windowsFolder](modRunResult::RunRecord& record) { record.windowsFolder = windowsFolder; });

    const bool windows64 = modVersionOS_v4::GetOSBits() == 64;
    const std::wstring systemFolder = windows64 ? L"SysWoW64" : L"System32";
    const std::wstring path = modRunResult::CurrentRun().options.controlPath.value_or(
        modSpecialFoldersWin::AddBackslash(windowsFolder) + modSpecialFoldersWin::AddBackslash(systemFolder) +
        modControlFile::FileName);
    const std::wstring name = platform::filenames::NameOf(path);
    // A file of the control's name is held to its one build; any other, to whether it loads.
    const bool pinned = platform::filenames::SameFileName(name, modControlFile::FileName);
    ChangeRecord([&path, pinned](modRunResult::RunRecord& record) {
        record.controlFile = modRunResult::ControlFile{path, false, {}, {}, {}, pinned};
    });

    Write(L"");
    Write(L"Test ActiveX file .OCX");
    ShowProgress();
    if (!modFileDirExists_v2::FileExists(path)) {
        Write(L"File " + path + L" not found");
        WaitForExit(ExitStatus::NotFound);
    }
    Write(L"File " + path + L" found");
    ChangeControlFile([](modRunResult::ControlFile& file) { file.found = true; });

    // Read once: its version now, what its registration and dependencies need after the verdict.
    const modPeFile::OpenImage control(path);
    Write(L"");
    Write(L"Test version " + name);
    ShowProgress();
    const auto version = control.Get() ? modFileVersion::ReadFileVersion(*control.Get()) : std::wstring();
    Write(L"Version is " + version);
    ChangeControlFile([&version](modRunResult::ControlFile& file) { file.version = version; });

    Write(L"");
    Write(L"Test CRC32 " + name);
    ShowProgress();
    const auto read = modCRC32_v2::ReadFileCRC32(path);
    const auto crc = modCRC32_v2::FormatCRC32Hex(read.crc);
    Write(L"CRC32 is " + crc);
    ChangeControlFile([&crc, &read](modRunResult::ControlFile& file) {
        file.crc32 = crc;
        if (read.failure) file.readError = ReadErrorOf(*read.failure);
    });

    Write(L"");
    if (!pinned) return WillItLoad(control, path, windowsFolder, windows64);
    bool verdict = true;
    if (version != modControlFile::RequiredVersion) {
        Write(L"Version fail");
        verdict = false;
    }
    if (crc != modControlFile::RequiredCRC32) {
        Write(L"CRC32 fail");
        verdict = false;
    }
    const ExitStatus outcome = verdict ? ExitStatus::Valid : ExitStatus::Fail;
    ShowVerdict(verdict ? L"Supplement is valid" : L"Supplement is fail", outcome);
    ReportRegistration(control, path, windowsFolder, windows64, outcome);
    return outcome;
}

// --- The "About OS Windows" report ----------------------------------------------------------

std::wstring GetAboutOS(std::vector<modRunResult::ReportRow>* rows) {
    std::vector<ReportLine> lines;
    // Both enumeration calls come before the test.
    const auto first = modVersionOS_v4::GetOSVerEnum(verselector::Enumeration);
    const auto second = modVersionOS_v4::GetOSVerEnum(verselector::Enumeration);
    if (first <= 10 && second != 0) {
        AddWmiBranchLines(lines);
    } else {
        AddKernelRecordBranchLines(lines);
    }
    for (std::size_t i = 0; i < CommonLines.size(); ++i) {
        const auto& line = CommonLines[i];
        lines.push_back(PropertyLine(line.label, line.tabs, line.index, i + 1 < CommonLines.size() ? L"\r\n" : L""));
    }

    std::wstring report = L"About OS Windows" + CrLf + L"|" + Repeat(L'-', 69) + L"|" + CrLf;
    for (const auto& line : lines) report += line.Text();
    if (rows) {
        rows->resize(lines.size());
        std::transform(lines.begin(), lines.end(), rows->begin(), [](const ReportLine& line) { return line.Row(); });
    }
    return report;
}

}  // namespace modVelmora
