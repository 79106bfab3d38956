#include "loadcheck/modDiagnosis.h"

#include <algorithm>
#include <iterator>

#include "filecheck/modControlFile.h"
#include "loadcheck/modApiSets.h"
#include "loadcheck/modSideBySide.h"
#include "platform/Account.h"
#include "platform/FileNames.h"
#include "platform/Text.h"

namespace modDiagnosis {

namespace {

namespace filenames = platform::filenames;
using modDependencies::Dependency;
using modDependencies::Problem;
using modRegistration::Entry;
using modRegistration::Scope;
using modRegistration::State;

// The registration says whether programs are sent to this file: it does when the file
// names its classes, and for another control without a type library no one can say.
bool RegistrationJudged(const Diagnosis& found) {
    return found.registration.state == State::Registered ||
           (found.registration.state == State::NoTypeLibrary && !found.subject.pinned);
}

std::wstring Command(const Subject& subject) {
    return L"run as an administrator: \"" + filenames::AddBackslash(subject.systemFolder) + L"regsvr32.exe\" \"" +
           subject.controlPath + L"\"";
}

// The commands that remove this account's own entries that point elsewhere: they win
// over the machine's, and regsvr32, which an administrator runs, does not change them.
// A class's key is in the registry view of the control's bitness; type libraries are
// shared by both views.
std::wstring PerUserRemovals(const Diagnosis& found) {
    const auto& registration = found.registration;
    const std::wstring classView = ClassViewSwitch(found.windows64, found.subject.bits);
    std::wstring commands;
    const auto remove = [&commands](const Entry& entry, const std::wstring& key, const std::wstring& view) {
        if (entry.here || entry.scope != Scope::User) return;
        commands +=
            (commands.empty() ? L"" : L" & ") + RemovalCommand(platform::registry::Hive::CurrentUser, key, view);
    };
    remove(*registration.typeLibrary,
           L"TypeLib\\" + registration.typeLibrary->id + L"\\" + registration.typeLibrary->version, L"");
    for (const auto& entry : registration.classes) remove(entry, L"CLSID\\" + entry.id, classView);
    return commands;
}

bool StartsWith(const std::wstring& name, const std::wstring& start) {
    return name.size() >= start.size() && filenames::SameFileName(name.substr(0, start.size()), start);
}

// The Visual C++ runtimes a missing DLL of theirs names, by the start of its name.
struct Runtime {
    const wchar_t* start;
    const wchar_t* provider;
};
const Runtime Runtimes[] = {
    {L"vcruntime140", L"the Visual C++ 2015-2022 Redistributable"},
    {L"msvcp140", L"the Visual C++ 2015-2022 Redistributable"},
    {L"mfc140", L"the Visual C++ 2015-2022 Redistributable"},
    {L"concrt140", L"the Visual C++ 2015-2022 Redistributable"},
    {L"vcomp140", L"the Visual C++ 2015-2022 Redistributable"},
    {L"msvcr120", L"the Visual C++ 2013 Redistributable"},
    {L"msvcp120", L"the Visual C++ 2013 Redistributable"},
    {L"mfc120", L"the Visual C++ 2013 Redistributable"},
    {L"msvcr110", L"the Visual C++ 2012 Redistributable"},
    {L"msvcp110", L"the Visual C++ 2012 Redistributable"},
    {L"mfc110", L"the Visual C++ 2012 Redistributable"},
    {L"msvcr100", L"the Visual C++ 2010 Redistributable"},
    {L"msvcp100", L"the Visual C++ 2010 Redistributable"},
    {L"mfc100", L"the Visual C++ 2010 Redistributable"},
};

const wchar_t UniversalCrt[] =
    L"install the Universal C Runtime (Windows update KB2999226; the Visual C++ 2015-2022 Redistributable brings it "
    L"too)";

// What mends a DLL that is not found, by what its name says of it.
std::wstring MissingStep(const Dependency& dependency, const Subject& subject) {
    const std::wstring& name = dependency.name;
    if (StartsWith(name, L"api-ms-win-crt-") || filenames::SameFileName(name, L"ucrtbase.dll")) return UniversalCrt;
    if (modApiSets::IsApiSetName(name)) {
        return L"this Windows does not provide it: " + dependency.neededBy + L" needs a later Windows";
    }
    for (const auto& runtime : Runtimes) {
        if (StartsWith(name, runtime.start)) {
            return L"install " + std::wstring(runtime.provider) + L" (" + (subject.bits == L"64" ? L"x64" : L"x86") +
                   L")";
        }
    }
    if (filenames::SameFileName(name, L"msvbvm60.dll")) return L"install the Visual Basic 6.0 run-time files";
    return L"install what provides it (the program's own installer, or the runtime it names)";
}

bool InSystemFolder(const std::optional<std::wstring>& path, const Subject& subject) {
    if (!path) return false;
    const std::wstring folder = path->substr(0, path->find_last_of(L'\\'));
    const std::wstring windows = folder.substr(0, folder.find_last_of(L'\\'));
    const std::wstring name = filenames::NameOf(folder);
    return filenames::SameFileName(folder, subject.systemFolder) ||
           (filenames::SameFileName(windows,
                                    subject.systemFolder.substr(0, subject.systemFolder.find_last_of(L'\\'))) &&
            (filenames::SameFileName(name, L"System32") || filenames::SameFileName(name, L"SysWOW64")));
}

std::wstring IdentityText(const modManifest::AssemblyIdentity& identity) {
    return identity.name + L" " + identity.version +
           (identity.processorArchitecture.empty() ? L"" : L" (" + identity.processorArchitecture + L")");
}

// The file a problem is of, as a sentence begins with it.
std::wstring Named(const Dependency& dependency) {
    if (dependency.neededBy.empty()) return L"This file";
    return dependency.name + (dependency.path ? L" (" + *dependency.path + L")" : L"");
}

}  // namespace

std::wstring DependencyHint(const Dependency& d, const Subject& subject) {
    const std::wstring needs = L", which " + d.neededBy + L" needs,";
    std::wstring hint;
    switch (d.problem) {
    case Problem::None: break;
    case Problem::Missing: hint = d.name + needs + L" is not found: " + MissingStep(d, subject); break;
    case Problem::OtherProcessor:
        // Never a file of a system folder to replace: what provides it installs both builds.
        hint = d.name + needs + L" is built for the other processor (" + d.path.value_or(L"") + L"): " +
               (InSystemFolder(d.path, subject) ? L"install the " + subject.bits + L"-bit build of what provides it"
                                                : L"put its " + subject.bits + L"-bit build in its place");
        break;
    case Problem::MissingExport:
        hint = Named(d) + L" does not export " + d.exportName + L", which " + d.neededBy + L" needs: " +
               (InSystemFolder(d.path, subject)
                    ? d.neededBy + L" needs a later Windows, or an update of this one"
                    : L"it is another build than " + d.neededBy +
                          L" was made for; install the one it needs (the program's own installer)");
        break;
    case Problem::MissingAssembly: {
        const auto provider = d.assembly ? modSideBySide::Provider(*d.assembly, subject.bits == L"64") : std::wstring();
        hint = L"The side-by-side assembly " + (d.assembly ? IdentityText(*d.assembly) : d.name) + needs +
               L" is not installed: install " +
               (provider.empty() ? L"what provides it (the program's own installer)" : provider);
        break;
    }
    case Problem::Unreadable:
        hint = Named(d) + L" could not be read (error 0x" +
               platform::text::Hex(static_cast<std::uint32_t>(d.error.value_or(0)), 8) +
               L"): close what holds it, or let this account read it, then run Velmora again";
        break;
    case Problem::Damaged:
        hint =
            Named(d) + L" is damaged (" + d.damage + L"): put an intact copy in its place (reinstall what provides it)";
        break;
    }
    return hint + (d.delayLoaded ? L"; only the parts of the control that use it fail until then"
                                 : L"; until then the control does not load");
}

std::wstring DependencyCause(const Dependency& d) {
    const std::wstring name = d.neededBy.empty() ? L"it" : d.name;
    switch (d.problem) {
    case Problem::None: break;
    case Problem::Missing: return name + L" is not found";
    case Problem::OtherProcessor: return name + L" is built for the other processor";
    case Problem::MissingExport: return name + L" does not export " + d.exportName;
    case Problem::MissingAssembly:
        return L"the side-by-side assembly " + (d.assembly ? IdentityText(*d.assembly) : d.name) + L" is not installed";
    case Problem::Unreadable: return name + L" could not be read";
    case Problem::Damaged: return name + L" is damaged";
    }
    return {};
}

namespace {

const Dependency* Blocking(const Diagnosis& found) {
    return found.dependencies ? modDependencies::FirstProblem(*found.dependencies, true) : nullptr;
}

std::optional<std::wstring> Hint(const Diagnosis& found) {
    const auto& registration = found.registration;
    const std::wstring command = Command(found.subject);
    if (registration.typeLibrary) {
        if (const auto removals = PerUserRemovals(found); !removals.empty()) {
            const std::wstring account = found.account.empty() ? L"this account" : found.account;
            return L"Entries of this account's own win over the machine's, and regsvr32 does not change them: as " +
                   account + L", run " + removals + L", then run Velmora again; if it is still not registered, " +
                   command;
        }
    }
    // The first cause that keeps it from loading: its registration, a dependency; then
    // what keeps a part of it from working, or an Office from loading it.
    if (RegistrationJudged(found)) {
        if (const auto* blocking = Blocking(found)) return DependencyHint(*blocking, found.subject);
    }
    const auto* partial = found.dependencies ? modDependencies::FirstProblem(*found.dependencies, false) : nullptr;
    switch (registration.state) {
    case State::Registered:
        if (partial) return DependencyHint(*partial, found.subject);
        if (!found.officeOfOtherBitness.empty())
            return OfficeWarning(found.officeOfOtherBitness.front(), found.subject);
        return std::nullopt;
    case State::NotRegistered: return L"To register it, " + command;
    case State::PartlyRegistered: return L"To register it whole, " + command;
    case State::RegisteredElsewhere: {
        const Entry& other = modRegistration::Elsewhere(registration);
        const std::wstring instead = other.exists
                                         ? L"Programs load " + other.loads + L" instead; "
                                         : L"Programs look for " + other.loads + L" instead, which is not there; ";
        return instead + L"to register this file, " + command;
    }
    case State::NoTypeLibrary:
        if (found.subject.pinned) {
            return L"This file holds no type library (" + registration.reason.value_or(L"") +
                   L"), so it is no build of the control: put build " + modControlFile::RequiredVersion +
                   L" in its place, then " + command;
        }
        if (partial) return DependencyHint(*partial, found.subject);
        return L"This file holds no type library Velmora reads (" + registration.reason.value_or(L"") +
               L"), so whether its classes are registered is not known: if a program still cannot create it, " +
               command;
    case State::NotReadInTime: break;
    }
    return std::nullopt;
}

// Whether it loads, and the hint, from what is known so far.
void Conclude(Diagnosis& found) {
    const bool unknown = found.dependenciesPending || !found.dependencies || found.dependenciesReason.has_value();
    found.loads = NotLoadingCause(found).empty() ? (unknown ? std::nullopt : std::optional<bool>(true))
                                                 : std::optional<bool>(false);
    found.hint = Hint(found);
}

}  // namespace

Diagnosis ReadRegistry(const modTypeLibrary::Reading& reading, const Subject& subject,
                       const modProgramView::ProgramView& view) {
    Diagnosis found;
    found.subject = subject;
    found.account = platform::account::ProcessAccount();
    found.windows64 = view.windows64;
    found.registration = modRegistration::CheckRegistration(reading, subject.controlPath, view);
    found.office = modOffice::FindOffice(view.windows64);
    std::copy_if(found.office.begin(), found.office.end(), std::back_inserter(found.officeOfOtherBitness),
                 [&subject](const modOffice::Installation& office) { return !OfficeLoads(office, subject); });
    if (reading.library) found.officeCache = modOfficeCache::FindCaches(reading.library->name, subject.controlPath);
    found.dependenciesPending = true;
    Conclude(found);
    return found;
}

void AddDependencies(Diagnosis& found, modDependencies::Dependencies dependencies) {
    found.dependencies = std::move(dependencies.list);
    found.dependenciesReason = dependencies.cut;
    found.dependenciesPending = false;
    Conclude(found);
}

Diagnosis NotReadInTime(std::uint32_t seconds) {
    Diagnosis found;
    found.registration.state = State::NotReadInTime;
    found.registration.reason = L"reading it did not finish within " + std::to_wstring(seconds) + L" seconds";
    found.hint =
        L"The verdict above stands. A class registered at a path on a server that is not there, or an "
        L"offline network folder, can stall the reading: run Velmora again where the network is there.";
    return found;
}

void DependenciesNotReadInTime(Diagnosis& found, std::uint32_t seconds) {
    found.dependencies.reset();
    found.dependenciesReason = L"reading them did not finish within " + std::to_wstring(seconds) + L" seconds";
    found.dependenciesPending = false;
    Conclude(found);
}

std::wstring RemovalCommand(platform::registry::Hive hive, const std::wstring& key, const std::wstring& viewSwitch) {
    const wchar_t* root = hive == platform::registry::Hive::CurrentUser ? L"HKCU" : L"HKLM";
    return L"reg delete \"" + std::wstring(root) + L"\\Software\\Classes\\" + key + L"\" /f" + viewSwitch;
}

std::wstring ClassViewSwitch(bool windows64, const std::wstring& bits) { return windows64 ? L" /reg:" + bits : L""; }

bool OfficeLoads(const modOffice::Installation& office, const Subject& subject) {
    return modOffice::Bits(office) == subject.bits;
}

std::wstring OfficeWarning(const modOffice::Installation& office, const Subject& subject) {
    return modOffice::Bits(office) + L"-bit Office " + office.version + L" cannot load this " + subject.bits +
           L"-bit control: forms that use it need " + subject.bits + L"-bit Office.";
}

std::wstring NotLoadingCause(const Diagnosis& found) {
    const auto state = found.registration.state;
    if (state == State::NotReadInTime) return {};
    if (!RegistrationJudged(found)) {
        return state == State::NoTypeLibrary ? L"it holds no type library"
                                             : L"it is " + modRegistration::StateText(state);
    }
    if (const auto* dependency = Blocking(found)) return DependencyCause(*dependency);
    return {};
}

}  // namespace modDiagnosis
