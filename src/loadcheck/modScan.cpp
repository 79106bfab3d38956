#include "loadcheck/modScan.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "filecheck/modPeFile.h"
#include "filecheck/modTypeLibrary.h"
#include "loadcheck/modDiagnosis.h"
#include "platform/ErrorReport.h"
#include "platform/FileNames.h"
#include "platform/FileReading.h"
#include "platform/Locale.h"
#include "platform/Text.h"

namespace modScan {

namespace {

namespace filenames = platform::filenames;
using filenames::FolderOf;
using modRegisteredFiles::Kind;
using modRegisteredFiles::RegisteredFile;

// The Win32 error an HRESULT of one carries; 0 for any other.
std::uint32_t Win32Code(std::int32_t number) {
    const auto value = static_cast<std::uint32_t>(number);
    return (value & 0xFFFF0000u) == 0x80070000u ? value & 0xFFFFu : 0;
}

bool NotThere(std::uint32_t code) {
    // file and path not found, invalid drive, name or path
    return code == 2 || code == 3 || code == 15 || code == 123 || code == 161;
}

bool NetworkFailure(std::uint32_t code) {
    // the network path, name or host is gone, busy or timed out
    static const std::uint32_t Codes[] = {51, 53, 54, 59, 64, 65, 67, 121, 1203, 1222, 1231, 1232};
    return std::find(std::begin(Codes), std::end(Codes), code) != std::end(Codes);
}

bool Fits(std::uint16_t machine, bool bits64) {
    return bits64 ? machine == modPeFile::MachineX64 || machine == modPeFile::MachineArm64
                  : machine == modPeFile::MachineX86;
}

std::wstring BitsOf(std::uint16_t machine) {
    if (machine == modPeFile::MachineX86) return L"32";
    if (Fits(machine, true)) return L"64";
    return {};
}

ReadError ErrorOf(std::int32_t number, const std::wstring& what) {
    const auto words = platform::SystemDescription(number);
    return {number, words.empty() ? what : what + L": " + words};
}

std::wstring RemovalOf(const modRegisteredFiles::Registration& registration, bool windows64) {
    const std::wstring view = registration.kind == Kind::Class
                                  ? modDiagnosis::ClassViewSwitch(windows64, registration.bits64 ? L"64" : L"32")
                                  : L"";
    return modDiagnosis::RemovalCommand(registration.hive, registration.key, view);
}

std::wstring Account(const std::wstring& account) { return account.empty() ? L"this account" : account; }

// The commands that remove these registrations: the machine's as an administrator,
// the user's as the user. A class is in its view; type libraries are in both.
std::wstring Removals(const RegisteredFile& file, bool windows64, const std::wstring& account,
                      bool (*which)(const modRegisteredFiles::Registration&)) {
    std::wstring machine, user;
    std::vector<std::wstring> seen;
    for (const auto& registration : file.registrations) {
        if (!which(registration)) continue;
        const bool ofUser = registration.hive == platform::registry::Hive::CurrentUser;
        const std::wstring command = RemovalOf(registration, windows64);
        if (std::find(seen.begin(), seen.end(), command) != seen.end()) continue;
        seen.push_back(command);
        auto& commands = ofUser ? user : machine;
        commands += (commands.empty() ? L"" : L" & ") + command;
    }
    std::wstring steps;
    if (!machine.empty()) steps = L"as an administrator, run " + machine;
    if (!user.empty()) {
        steps += (steps.empty() ? L"as " : L"; as ") + Account(account) + L", run " + user;
    }
    return steps;
}

bool AnyRegistration(const modRegisteredFiles::Registration&) { return true; }

// The file needs attention: why; whether it loads, where that is known.
ScannedFile Needs(ScannedFile scanned, Status status, const std::wstring& cause) {
    scanned.status = status;
    scanned.cause = cause;
    if (status != Status::NotRead) scanned.loads = false;
    return scanned;
}

std::wstring EntryKey(bool bits64, const std::wstring& key) {
    return (bits64 ? L"64|" : L"32|") + platform::text::Folded(key);
}

// A type library version's key as the registry writes it: "2.2", "1.a".
std::wstring VersionKey(std::uint16_t major, std::uint16_t minor) {
    return platform::text::Hex(major, 1, platform::text::Digits::Lower) + L"." +
           platform::text::Hex(minor, 1, platform::text::Digits::Lower);
}

}  // namespace

Scanner::Scanner(const Machine& machine, const std::vector<modRegisteredFiles::Registration>& registrations)
    : machine_(machine),
      view32_(modProgramView::ViewFor(modPeFile::MachineX86, machine.windows64, machine.nativeMachine, machine.version,
                                      machine.windowsFolder)),
      view64_(modProgramView::ViewFor(
          machine.nativeMachine == modPeFile::MachineArm64 ? modPeFile::MachineArm64 : modPeFile::MachineX64,
          machine.windows64, machine.nativeMachine, machine.version, machine.windowsFolder)),
      order32_(modDllSearch::MachineOrder(view32_)),
      order64_(modDllSearch::MachineOrder(view64_)) {
    modDllSearch::Search search32(order32_, view32_, &shared_.Folders());
    modDllSearch::Search search64(order64_, view64_, &shared_.Folders());
    files_ = modRegisteredFiles::Group(registrations, {search32, search64, view32_, view64_});
    // Files on a network last: a share that stalls holds up none of the others.
    std::map<wchar_t, bool> drives;
    const auto local = [&drives](const RegisteredFile& file) {
        if (!file.fault.empty()) return true;
        if (file.path.size() < 2 || file.path[1] != L':') return !filenames::OnNetwork(file.path);
        const auto known = drives.find(file.path[0]);
        if (known != drives.end()) return !known->second;
        return !(drives[file.path[0]] = filenames::OnNetwork(file.path));
    };
    std::stable_partition(files_.begin(), files_.end(), local);
    for (const auto& file : files_) {
        if (!file.fault.empty()) continue;
        for (const auto& registration : file.registrations) {
            auto& sent = sent_[EntryKey(registration.bits64, registration.key)];
            const bool user = registration.hive == platform::registry::Hive::CurrentUser;
            if (sent.path.empty() || (user && !sent.user)) sent = {file.path, user};
        }
    }
}

Scanner::~Scanner() = default;

ScannedFile Scanner::Judge(std::size_t index) {
    const auto& file = files_.at(index);
    ScannedFile scanned;
    scanned.path = file.path;
    for (const bool bits64 : {false, true}) {
        if (file.For(bits64, Kind::Class) || file.For(bits64, Kind::TypeLibrary))
            scanned.views.emplace_back(bits64 ? L"64" : L"32");
    }
    scanned.classes = file.Count(Kind::Class);
    scanned.typeLibraries = file.Count(Kind::TypeLibrary);
    scanned = JudgeFile(file, std::move(scanned));
    if (scanned.status != Status::Loads && !scanned.hint) {
        scanned.hint = L"Repair or reinstall the program it belongs to";
    }
    return scanned;
}

ScannedFile Scanner::JudgeFile(const RegisteredFile& file, ScannedFile scanned) {
    if (!file.fault.empty()) {
        return Needs(std::move(scanned), Status::WillNotLoad, L"its registry entry is wrong: " + file.fault);
    }
    if (DeadFolder(FolderOf(file.path))) {
        return Needs(std::move(scanned), Status::NotRead, L"its network folder did not answer before");
    }
    const modPeFile::DiskFile disk(file.path);
    if (!disk.Opened()) return NotOpened(file, disk.OpenFailure(), std::move(scanned));
    scanned.found = true;

    const modPeFile::Image image(disk.File());
    if (image.HeaderDamage() == modPeFile::Damage::ReadFailed) {
        scanned.readError = ErrorOf(platform::file::LastFailure(), L"the file could not be read");
        return Needs(std::move(scanned), Status::NotRead, L"it could not be read");
    }
    if (image.HeaderDamage() == modPeFile::Damage::NotPe && scanned.classes == 0) {
        return JudgePlainLibrary(file, disk.File(), std::move(scanned));
    }
    if (image.HeaderDamage() != modPeFile::Damage::None) {
        const bool notPe = image.HeaderDamage() == modPeFile::Damage::NotPe;
        scanned.hint = L"Put an intact copy in its place: repair or reinstall the program it belongs to";
        return Needs(std::move(scanned), Status::Damaged,
                     notPe ? L"it is not a Windows program file" : L"its program headers are damaged");
    }
    const std::uint16_t machine = image.Machine();
    scanned.bitness = BitsOf(machine);

    for (const bool bits64 : {false, true}) {
        if (file.For(bits64, Kind::Class) && !Fits(machine, bits64)) {
            return OtherProcessor(file, bits64, std::move(scanned));
        }
    }
    for (const auto resource : file.resources) {
        const auto reading = modTypeLibrary::ReadTypeLibrary(image, resource);
        if (!JudgeLibrary(file, reading, scanned)) return scanned;
    }
    if (scanned.classes == 0) {
        scanned.loads = true;
        return scanned;
    }
    JudgeRegistration(image, scanned);
    return JudgeDependencies(image, std::move(scanned));
}

// Why it could not be opened: it is gone, with its folder or without; its path names a
// folder; its network folder does not answer; or it is held or forbidden.
ScannedFile Scanner::NotOpened(const RegisteredFile& file, std::int32_t failure, ScannedFile scanned) {
    const auto code = Win32Code(failure);
    const std::wstring folder = FolderOf(file.path);
    if ((NotThere(code) || code == 5) && filenames::IsFolder(file.path)) {
        return Needs(std::move(scanned), Status::WillNotLoad, L"its registered path names a folder");
    }
    if (NotThere(code)) {
        if (!folder.empty() && filenames::IsFolder(folder)) {
            scanned.hint = L"Its folder is there, the file is not: repair or reinstall the program it belongs to";
            return Needs(std::move(scanned), Status::WillNotLoad, L"it is not there, though its folder is");
        }
        scanned.hint = L"A program that is gone left this: if no program needs it, " +
                       Removals(file, machine_.windows64, machine_.account, AnyRegistration);
        return Needs(std::move(scanned), Status::Missing, L"it is not there, nor its folder");
    }
    scanned.readError = ErrorOf(failure, L"the file could not be opened");
    if (NetworkFailure(code) && filenames::OnNetwork(file.path)) {
        KeepDeadFolder(folder);
        scanned.hint = L"Run Velmora again where its network folder answers";
        return Needs(std::move(scanned), Status::NotRead, L"its network folder did not answer");
    }
    scanned.hint = L"Close what holds it, or let this account read it, then run Velmora again";
    return Needs(std::move(scanned), Status::NotRead, L"it could not be read");
}

// Its classes and library version, as its own type library names them, against where
// the registry sends programs for them: a fact, and no step of its own. An entry not
// registered at all is no fault of this file's, and one sent to another file is often
// none either: versions of a library share classes (msxml3 and msxml6), and the registry
// sends each to one of them.
void Scanner::JudgeRegistration(const modPeFile::Image& image, ScannedFile& scanned) const {
    const auto reading = modTypeLibrary::ReadTypeLibrary(image);
    if (!reading.library) return;
    const bool bits64 = Fits(image.Machine(), true);
    const auto& library = *reading.library;
    bool elsewhere = false;
    const auto check = [this, bits64, &scanned, &elsewhere](const std::wstring& key) {
        const auto sent = sent_.find(EntryKey(bits64, key));
        elsewhere = elsewhere || (sent != sent_.end() && !filenames::SameFileName(sent->second.path, scanned.path));
    };
    check(L"TypeLib\\" + library.id + L"\\" + VersionKey(library.major, library.minor));
    for (const auto& id : library.creatableClasses) check(L"CLSID\\" + id);
    scanned.registration = elsewhere ? L"partly registered" : L"registered";
}

ScannedFile Scanner::OtherProcessor(const RegisteredFile& file, bool bits64, ScannedFile scanned) const {
    const std::wstring built = scanned.bitness.empty() ? L"another processor" : scanned.bitness + L"-bit programs";
    const std::wstring programs = bits64 ? L"64-bit programs" : L"32-bit programs";
    const auto wrongView =
        bits64 ? +[](const modRegisteredFiles::Registration& r) { return r.kind == Kind::Class && r.bits64; }
               : +[](const modRegisteredFiles::Registration& r) { return r.kind == Kind::Class && !r.bits64; };
    scanned.status = Status::OtherProcessor;
    scanned.loads = false;
    scanned.cause = L"it is built for " + built + L", and registered for " + programs;
    scanned.hint = L"It is built for " + built + L", and " + programs + L" cannot load it: " +
                   Removals(file, machine_.windows64, machine_.account, wrongView) + L"; then, if " + programs +
                   L" need it, install its build for them";
    return scanned;
}

ScannedFile Scanner::JudgePlainLibrary(const RegisteredFile& file, const modPeFile::File& bytes, ScannedFile scanned) {
    const auto reading = modTypeLibrary::ReadPlainTypeLibrary(bytes);
    if (JudgeLibrary(file, reading, scanned)) {
        scanned.loads = true;
        if (reading.library)
            scanned.bitness = reading.library->sysKind == modTypeLibrary::SysKind::Win64 ? L"64" : L"32";
    }
    return scanned;
}

bool Scanner::JudgeLibrary(const RegisteredFile& file, const modTypeLibrary::Reading& reading, ScannedFile& scanned) {
    if (reading.readFailed) {
        scanned.status = Status::NotRead;
        scanned.cause = L"it could not be read";
        scanned.readError = ErrorOf(platform::file::LastFailure(), L"the file could not be read");
        return false;
    }
    if (!reading.library && !reading.olderFormat) {
        scanned.status = Status::Damaged;
        scanned.loads = false;
        scanned.cause = L"its type library does not read: " + reading.reason;
        scanned.hint = L"Put an intact copy in its place: repair or reinstall the program it belongs to";
        return false;
    }
    if (!reading.library) return true;  // the older format's platform is not read
    const bool of64 = reading.library->sysKind == modTypeLibrary::SysKind::Win64;
    const bool of32 = reading.library->sysKind == modTypeLibrary::SysKind::Win32;
    for (const bool bits64 : {false, true}) {
        if (!file.For(bits64, Kind::TypeLibrary) || (bits64 ? of64 : of32)) continue;
        scanned.status = Status::OtherProcessor;
        scanned.loads = false;
        scanned.cause = std::wstring(L"its type library is not built for ") + (bits64 ? L"win64" : L"win32") +
                        L", where it is registered";
        scanned.hint =
            L"Repair or reinstall the program it belongs to: its installer registers each build where "
            L"it belongs";
        return false;
    }
    return true;
}

ScannedFile Scanner::JudgeDependencies(const modPeFile::Image& image, ScannedFile scanned) {
    const auto& view = ViewOf(image.Machine());
    auto found = modDependencies::FindDependencies(scanned.path, image, view, &shared_);
    std::vector<modDependencies::Dependency> problems;
    std::copy_if(found.list.begin(), found.list.end(), std::back_inserter(problems),
                 [](const modDependencies::Dependency& d) { return d.problem != modDependencies::Problem::None; });
    const modDiagnosis::Subject subject{scanned.path, view.systemFolder, view.Bits(), false};
    const auto* blocking = modDependencies::FirstProblem(problems, true);
    const auto* partial = modDependencies::FirstProblem(problems, false);
    scanned.dependencies = std::move(problems);
    if (blocking) {
        scanned.hint = modDiagnosis::DependencyHint(*blocking, subject);
        scanned.loads = false;
        scanned.cause = modDiagnosis::DependencyCause(*blocking);
        const bool own = blocking->neededBy.empty();
        scanned.status = !own                                                     ? Status::WillNotLoad
                         : blocking->problem == modDependencies::Problem::Damaged ? Status::Damaged
                                                                                  : Status::NotRead;
        return scanned;
    }
    if (found.cut) {
        scanned.status = Status::NotRead;
        scanned.cause = L"its dependencies were not all read: " + *found.cut;
        return scanned;
    }
    scanned.loads = true;
    if (partial) scanned.hint = modDiagnosis::DependencyHint(*partial, subject);
    return scanned;
}

const modProgramView::ProgramView& Scanner::ViewOf(std::uint16_t machine) {
    const std::lock_guard<platform::threads::Lock> held(lock_);
    auto view = views_.find(machine);
    if (view == views_.end()) {
        view = views_
                   .emplace(machine, modProgramView::ViewFor(machine, machine_.windows64, machine_.nativeMachine,
                                                             machine_.version, machine_.windowsFolder))
                   .first;
    }
    return view->second;
}

bool Scanner::DeadFolder(const std::wstring& folder) {
    const std::lock_guard<platform::threads::Lock> held(lock_);
    return deadFolders_.count(platform::text::Folded(folder)) > 0;
}

void Scanner::KeepDeadFolder(const std::wstring& folder) {
    const std::lock_guard<platform::threads::Lock> held(lock_);
    deadFolders_.insert(platform::text::Folded(folder));
}

Counts CountsOf(const Scan& scan) {
    Counts counts;
    counts.files = scan.files.size();
    for (const auto& file : scan.files) {
        switch (file.status) {
        case Status::Loads: ++counts.load; break;
        case Status::Missing: ++counts.missing; break;
        case Status::WillNotLoad: ++counts.willNotLoad; break;
        default: ++counts.other; break;
        }
    }
    return counts;
}

bool Fails(const ScannedFile& file) { return file.status != Status::Loads && file.status != Status::Missing; }

bool AllLoad(const Scan& scan) { return scan.complete && std::none_of(scan.files.begin(), scan.files.end(), Fails); }

std::vector<const ScannedFile*> NeedingAttention(const Scan& scan) {
    std::vector<const ScannedFile*> rows;
    for (const auto& file : scan.files) {
        if (file.status != Status::Loads) rows.push_back(&file);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const ScannedFile* a, const ScannedFile* b) {
        if (a->status != b->status) return a->status < b->status;
        return platform::text::Folded(a->path) < platform::text::Folded(b->path);
    });
    return rows;
}

std::wstring CountsText(const Counts& counts) {
    using platform::locale::FormatCount;
    return FormatCount(counts.files) + (counts.files == 1 ? L" registered file: " : L" registered files: ") +
           FormatCount(counts.load) + L" load, " + FormatCount(counts.missing) + L" missing, " +
           FormatCount(counts.willNotLoad) + L" will not load, " + FormatCount(counts.other) + L" other";
}

std::wstring StatusHeading(Status status) {
    switch (status) {
    case Status::WillNotLoad: return L"Will not load";
    case Status::Missing: return L"Registered but missing";
    case Status::OtherProcessor: return L"Built for the other processor";
    case Status::Damaged: return L"Damaged";
    case Status::NotRead: return L"Not read";
    case Status::Loads: break;
    }
    return L"Loads";
}

std::wstring StatusText(Status status) {
    switch (status) {
    case Status::WillNotLoad: return L"will not load";
    case Status::Missing: return L"missing";
    case Status::OtherProcessor: return L"other processor";
    case Status::Damaged: return L"damaged";
    case Status::NotRead: return L"not read";
    case Status::Loads: break;
    }
    return L"loads";
}

}  // namespace modScan
