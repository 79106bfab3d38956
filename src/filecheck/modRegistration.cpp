#include "filecheck/modRegistration.h"

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <map>
#include <utility>

#include "filecheck/modControlFile.h"
#include "platform/Account.h"
#include "platform/FileNames.h"
#include "platform/Registry.h"

namespace modRegistration {

namespace {

namespace filenames = platform::filenames;
namespace text = platform::text;
namespace registry = platform::registry;
using platform::filenames::AddBackslash;

// No path Windows opens is longer.
constexpr std::size_t MaxPathCharacters = 32767;

// What the file system says of a path an entry names.
struct Probe {
    bool exists = false;
    std::wstring longForm;
};

// What every entry is held against, and what was probed of the paths they name:
// each distinct path is probed once, for one that stalls (a server that is gone)
// stalls each probe.
struct Machine {
    std::wstring controlPath;
    std::wstring controlLongForm;
    std::wstring systemFolder;  // the system files of a program of the control's bitness
    std::wstring windowsFolder;
    bool redirected;      // a 32-bit control on 64-bit Windows: System32 is SysWOW64 to it
    registry::View view;  // the registry view of a program of the control's bitness
    std::map<std::wstring, Probe> probes;
};

std::wstring LongFormOf(const std::wstring& path) { return filenames::LongForm(path).value_or(path); }

// A value as Windows merges the user's classes over the machine's: the user's
// wherever it has one.
std::pair<registry::Value, Scope> ReadClassesValue(const std::wstring& key, registry::View view) {
    const std::wstring path = L"Software\\Classes\\" + key;
    auto value = registry::Read(registry::Hive::CurrentUser, path, {}, view);
    if (value.kind != registry::ValueKind::Missing) return {std::move(value), Scope::User};
    return {registry::Read(registry::Hive::LocalMachine, path, {}, view), Scope::Machine};
}

// The file a registry text names, as a 32-bit program would open it: expanded when
// `expandable`, surrounding quotes dropped, a bare name in the system folder, and on a
// 64-bit Windows System32 taken as SysWOW64. Empty when it names nothing.
std::wstring LoadedPath(const std::wstring& text, bool expandable, const Machine& machine) {
    std::wstring path = expandable ? filenames::ExpandEnvironment(text) : text;
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') path = path.substr(1, path.size() - 2);
    if (path.empty()) return path;
    // A bare name is looked for in the system folder (after the program's own folder,
    // which no check can know).
    if (path.find_first_of(L"\\/:") == std::wstring::npos) path = AddBackslash(machine.systemFolder) + path;
    if (machine.redirected) {
        // The file-system redirector: to a 32-bit program, System32 is SysWOW64.
        const std::wstring system32 = AddBackslash(machine.windowsFolder) + L"System32\\";
        if (path.size() > system32.size() && filenames::SameFileName(path.substr(0, system32.size()), system32)) {
            path = AddBackslash(machine.windowsFolder) + L"SysWOW64\\" + path.substr(system32.size());
        }
    }
    return path;
}

const Probe& ProbeOf(const std::wstring& path, Machine& machine) {
    auto known = machine.probes.find(path);
    if (known == machine.probes.end()) {
        known = machine.probes.emplace(path, Probe{filenames::IsFile(path), LongFormOf(path)}).first;
    }
    return known->second;
}

Entry Look(const std::wstring& id, const std::wstring& version, const std::wstring& key, Machine& machine) {
    Entry entry;
    entry.id = id;
    entry.version = version;
    auto [value, scope] = ReadClassesValue(key, machine.view);
    const bool expandable = value.kind == registry::ValueKind::ExpandableText;
    if (value.kind != registry::ValueKind::Text && !expandable) return entry;  // not registered
    if (value.text.size() > MaxPathCharacters) return entry;                   // no path: not text that names a file
    entry.path = value.text;
    entry.scope = scope;
    entry.loads = LoadedPath(value.text, expandable, machine);
    if (entry.Registered()) {
        const Probe& probe = ProbeOf(entry.loads, machine);
        entry.exists = probe.exists;
        entry.here = filenames::SameFileName(probe.longForm, machine.controlLongForm);
    }
    return entry;
}

// A number of a version key, in hexadecimal as the registry writes it.
std::wstring VersionKeyNumber(unsigned number) { return text::Hex(number, 1, text::Digits::Lower); }

// A version key's numbers, hexadecimal as the registry writes them; nothing when it
// is not "major.minor".
std::optional<std::pair<unsigned long, unsigned long>> VersionNumbers(const std::wstring& key) {
    const auto dot = key.find(L'.');
    const auto number = [](const std::wstring& part) -> std::optional<unsigned long> {
        if (part.empty() || part.size() > 4 || !std::all_of(part.begin(), part.end(), [](wchar_t ch) {
                return std::iswxdigit(static_cast<wint_t>(ch)) != 0;
            })) {
            return std::nullopt;
        }
        return std::stoul(part, nullptr, 16);
    };
    if (dot == std::wstring::npos) return std::nullopt;
    const auto major = number(key.substr(0, dot));
    const auto minor = number(key.substr(dot + 1));
    if (!major || !minor) return std::nullopt;
    return std::pair{*major, *minor};
}

// The version keys registered for a LIBID in either hive, each once, in version order.
std::vector<std::wstring> VersionKeys(const std::wstring& libraryKey, registry::View view) {
    std::vector<std::wstring> keys;
    for (const auto hive : {registry::Hive::CurrentUser, registry::Hive::LocalMachine}) {
        for (auto& name : registry::SubkeyNames(hive, L"Software\\Classes\\" + libraryKey, view)) {
            const bool known = std::any_of(keys.begin(), keys.end(),
                                           [&](const auto& k) { return registry::SameRegistryName(k, name); });
            if (!known) keys.push_back(std::move(name));
        }
    }
    std::stable_sort(keys.begin(), keys.end(), [](const std::wstring& a, const std::wstring& b) {
        const auto x = VersionNumbers(a), y = VersionNumbers(b);
        if (x && y) return *x < *y;
        return x.has_value() > y.has_value();  // keys that are no version last
    });
    return keys;
}

State StateOf(const Registration& found) {
    // How many of the type library and its classes are `so`.
    const auto count = [&found](auto so) {
        return (so(*found.typeLibrary) ? 1u : 0u) +
               static_cast<std::size_t>(std::count_if(found.classes.begin(), found.classes.end(), so));
    };
    const std::size_t here = count([](const Entry& entry) { return entry.here; });
    if (here == 1 + found.classes.size()) return State::Registered;
    if (count([](const Entry& entry) { return entry.Registered(); }) == 0) return State::NotRegistered;
    if (here == 0) return State::RegisteredElsewhere;
    return State::PartlyRegistered;
}

// What programs load in place of this file: a class's file first, as creating a
// control loads it, else the type library's.
const Entry& Elsewhere(const Registration& found) {
    const auto other = std::find_if(found.classes.begin(), found.classes.end(),
                                    [](const Entry& entry) { return entry.Registered() && !entry.here; });
    return other != found.classes.end() ? *other : *found.typeLibrary;
}

// The commands that remove this account's own entries that point elsewhere: they win
// over the machine's, and regsvr32, which an administrator runs, does not change them.
std::wstring PerUserRemovals(const Registration& found) {
    std::wstring commands;
    const auto remove = [&commands](const Entry& entry, const std::wstring& key) {
        if (entry.here || entry.scope != Scope::User) return;
        commands += (commands.empty() ? L"" : L" & ") + (L"reg delete \"HKCU\\Software\\Classes\\" + key + L"\" /f");
    };
    remove(*found.typeLibrary, L"TypeLib\\" + found.typeLibrary->id + L"\\" + found.typeLibrary->version);
    for (const auto& entry : found.classes) remove(entry, L"CLSID\\" + entry.id);
    return commands;
}

bool Blocks(const modDependencies::Dependency& dependency) {
    return dependency.problem != modDependencies::Problem::None && !dependency.delayLoaded;
}

// The first dependency with a problem: one that keeps the control from loading, or
// (`blocking` false) one that only a part of it needs.
const modDependencies::Dependency* FirstProblem(const std::vector<modDependencies::Dependency>& dependencies,
                                                bool blocking) {
    const auto first = std::find_if(dependencies.begin(), dependencies.end(), [blocking](const auto& dependency) {
        return dependency.problem != modDependencies::Problem::None && Blocks(dependency) == blocking;
    });
    return first == dependencies.end() ? nullptr : &*first;
}

std::wstring DependencyHint(const modDependencies::Dependency& dependency) {
    const std::wstring what = dependency.name + L", which " + dependency.neededBy + L" needs, ";
    const std::wstring problem =
        dependency.problem == modDependencies::Problem::Missing
            ? what + L"is not found: install what provides it (the program's own installer, or the runtime it names)"
            : what + L"is built for the other processor (" + dependency.path.value_or(L"") +
                  L"): put the build for this one in its place";
    return problem + (dependency.delayLoaded ? L"; only the parts of the control that use it fail until then"
                                             : L"; until then the control does not load");
}

std::optional<std::wstring> Hint(const Registration& found, const Machine& machine) {
    const std::wstring command = L"run as an administrator: \"" + AddBackslash(machine.systemFolder) +
                                 L"regsvr32.exe\" \"" + machine.controlPath + L"\"";
    if (found.typeLibrary) {
        if (const auto removals = PerUserRemovals(found); !removals.empty()) {
            return L"Entries of this account's own win over the machine's, and regsvr32 does not change them: as "
                   L"this user, not as an administrator, run " +
                   removals + L", then run Velmora again; if it is still not registered, " + command;
        }
    }
    // The first cause that keeps it from loading: its registration, a dependency, Office;
    // then what keeps a part of it from working.
    if (found.state == State::Registered) {
        if (const auto* blocking = FirstProblem(found.dependencies, true)) return DependencyHint(*blocking);
    }
    if (found.state == State::Registered && !found.officeOfOtherBitness.empty()) {
        const auto& office = found.officeOfOtherBitness.front();
        const std::wstring other = modOffice::Bits(office) == L"64" ? L"32" : L"64";
        return L"Only " + other + L"-bit Office loads " + filenames::NameOf(machine.controlPath) +
               L": programs in this " + modOffice::Bits(office) + L"-bit Office " + office.version +
               L" that need it fail to load it; use them in a " + other + L"-bit Office";
    }
    switch (found.state) {
    case State::Registered: {
        const auto* partial = FirstProblem(found.dependencies, false);
        return partial ? std::optional<std::wstring>(DependencyHint(*partial)) : std::nullopt;
    }
    case State::NotRegistered: return L"To register it, " + command;
    case State::PartlyRegistered: return L"To register it whole, " + command;
    case State::RegisteredElsewhere: {
        const Entry& other = Elsewhere(found);
        const std::wstring instead = other.exists
                                         ? L"Programs load " + other.loads + L" instead; "
                                         : L"Programs look for " + other.loads + L" instead, which is not there; ";
        return instead + L"to register this file, " + command;
    }
    case State::NoTypeLibrary:
        return L"This file holds no type library (" + found.reason.value_or(L"") +
               L"), so it is no build of the control: put build " + modControlFile::RequiredVersion +
               L" in its place, then " + command;
    case State::NotReadInTime: break;
    }
    return std::nullopt;
}

}  // namespace

Registration CheckRegistration(const modTypeLibrary::Reading& reading, const std::wstring& controlPath,
                               const std::wstring& windowsFolder, bool windows64) {
    // A control's bitness is its file's: a 64-bit one is registered, and finds its
    // system files, as a 64-bit program sees them.
    const bool control64 = reading.machine == modPeFile::MachineX64;
    const bool redirected = windows64 && !control64;
    Machine machine{controlPath,
                    LongFormOf(controlPath),
                    AddBackslash(windowsFolder) + (redirected ? L"SysWoW64" : L"System32"),  // as the check spells it
                    windowsFolder,
                    redirected,
                    control64 ? registry::View::Bits64 : registry::View::Bits32,
                    {}};
    Registration found;
    found.account = platform::account::ProcessAccount();
    const auto& library = reading.library;
    if (!library) {
        found.reason = reading.reason;
        found.loads = false;
        found.hint = Hint(found, machine);
        return found;
    }
    found.dependencies =
        modDependencies::FindDependencies(controlPath, reading.machine, machine.systemFolder, windowsFolder);
    found.office = modOffice::FindOffice(windows64);
    const std::wstring bitness = control64 ? L"x64" : L"x86";
    std::copy_if(found.office.begin(), found.office.end(), std::back_inserter(found.officeOfOtherBitness),
                 [&bitness](const modOffice::Installation& office) { return office.bitness != bitness; });
    const std::wstring libraryKey = L"TypeLib\\" + library->id;
    auto versions = VersionKeys(libraryKey, machine.view);
    // Its own version under whatever spelling the registry has for it.
    const auto own = std::find_if(versions.begin(), versions.end(), [&](const std::wstring& key) {
        return VersionNumbers(key) == std::pair<unsigned long, unsigned long>{library->major, library->minor};
    });
    const std::wstring ownKey =
        own != versions.end() ? *own : VersionKeyNumber(library->major) + L"." + VersionKeyNumber(library->minor);
    if (own != versions.end()) versions.erase(own);

    const auto win32Key = [&libraryKey](const std::wstring& version) {
        return libraryKey + L"\\" + version + L"\\0\\win32";
    };
    found.typeLibrary = Look(library->id, ownKey, win32Key(ownKey), machine);
    for (const auto& classId : library->creatableClasses) {
        found.classes.push_back(Look(classId, {}, L"CLSID\\" + classId + L"\\InprocServer32", machine));
    }
    for (const auto& version : versions)
        found.otherVersions.push_back(Look(library->id, version, win32Key(version), machine));
    found.state = StateOf(found);
    found.loads = NotLoadingCause(found).empty();
    found.hint = Hint(found, machine);
    found.officeCache = modOfficeCache::FindCaches(library->name, controlPath);
    return found;
}

Registration NotReadInTime(std::uint32_t seconds) {
    Registration found;
    found.state = State::NotReadInTime;
    found.reason = L"reading it did not finish within " + std::to_wstring(seconds) + L" seconds";
    found.hint =
        L"The verdict above stands. A class registered at a path on a server that is not there, or an "
        L"offline network folder, can stall the reading: run Velmora again where the network is there.";
    return found;
}

std::wstring NotLoadingCause(const Registration& found) {
    if (found.state != State::Registered) {
        return found.state == State::NoTypeLibrary ? L"it holds no type library" : L"it is " + StateText(found.state);
    }
    if (const auto* dependency = FirstProblem(found.dependencies, true)) {
        return dependency->name + (dependency->problem == modDependencies::Problem::Missing
                                       ? L" is not found"
                                       : L" is built for the other processor");
    }
    if (!found.officeOfOtherBitness.empty()) {
        const auto& office = found.officeOfOtherBitness.front();
        return L"Office " + office.version + L" is " + modOffice::Bits(office) + L"-bit";
    }
    return {};
}

std::wstring StateText(State state) {
    switch (state) {
    case State::Registered: return L"registered";
    case State::NotRegistered: return L"not registered";
    case State::RegisteredElsewhere: return L"registered elsewhere";
    case State::PartlyRegistered: return L"partly registered";
    case State::NoTypeLibrary: return L"no type library";
    case State::NotReadInTime: return L"not read in time";
    }
    return {};
}

std::wstring ScopeText(Scope scope) { return scope == Scope::User ? L"user" : L"machine"; }

}  // namespace modRegistration
