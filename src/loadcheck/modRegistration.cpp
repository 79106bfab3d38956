#include "loadcheck/modRegistration.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <utility>

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
struct Reading {
    const modProgramView::ProgramView& view;
    std::wstring controlLongForm;
    std::map<std::wstring, Probe> probes;
};

// A path in one form for comparing: full, backslashes, no "\\?\", as the program
// finds it, long where the file is there.
std::wstring Canonical(const std::wstring& path, const modProgramView::ProgramView& view) {
    const std::wstring full = modProgramView::Map(view, filenames::FullPath(path));
    return filenames::LongForm(full).value_or(full);
}

// A value as Windows merges the user's classes over the machine's: the user's
// wherever it has one.
std::pair<registry::Value, Scope> ReadClassesValue(const std::wstring& key, registry::View view) {
    const std::wstring path = L"Software\\Classes\\" + key;
    auto value = registry::Read(registry::Hive::CurrentUser, path, {}, view);
    if (value.kind != registry::ValueKind::Missing) return {std::move(value), Scope::User};
    return {registry::Read(registry::Hive::LocalMachine, path, {}, view), Scope::Machine};
}

// The file a registry text names, as the program would open it: expanded (its own
// Program Files) when `expandable`, surrounding quotes dropped, a bare name in the
// system folder, then where the file really is. Empty when it names nothing.
std::wstring LoadedPath(const std::wstring& value, bool expandable, const modProgramView::ProgramView& view) {
    std::wstring path = expandable ? modProgramView::Expand(view, value) : value;
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') path = path.substr(1, path.size() - 2);
    if (path.empty()) return path;
    // A bare name is looked for in the system folder (after the program's own folder,
    // which no check can know).
    if (path.find_first_of(L"\\/:") == std::wstring::npos) path = AddBackslash(view.systemFolder) + path;
    return modProgramView::Map(view, path);
}

const Probe& ProbeOf(const std::wstring& path, Reading& reading) {
    auto known = reading.probes.find(path);
    if (known == reading.probes.end()) {
        known = reading.probes.emplace(path, Probe{filenames::IsFile(path), Canonical(path, reading.view)}).first;
    }
    return known->second;
}

Entry Look(const std::wstring& id, const std::wstring& version, const std::wstring& key, Reading& reading) {
    Entry entry;
    entry.id = id;
    entry.version = version;
    auto [value, scope] = ReadClassesValue(key, reading.view.registryView);
    const bool expandable = value.kind == registry::ValueKind::ExpandableText;
    if (value.kind != registry::ValueKind::Text && !expandable) return entry;  // not registered
    if (value.text.size() > MaxPathCharacters) return entry;                   // no path: not text that names a file
    entry.path = value.text;
    entry.scope = scope;
    entry.loads = LoadedPath(value.text, expandable, reading.view);
    if (entry.Registered()) {
        const Probe& probe = ProbeOf(entry.loads, reading);
        entry.exists = probe.exists;
        entry.here = filenames::SameFileName(probe.longForm, reading.controlLongForm);
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

}  // namespace

Registration CheckRegistration(const modTypeLibrary::Reading& reading, const std::wstring& controlPath,
                               const modProgramView::ProgramView& view) {
    Registration found;
    const auto& library = reading.library;
    if (!library) {
        found.reason = reading.reason;
        return found;
    }
    Reading registry{view, Canonical(controlPath, view), {}};
    const std::wstring libraryKey = L"TypeLib\\" + library->id;
    auto versions = VersionKeys(libraryKey, view.registryView);
    // Its own version under whatever spelling the registry has for it.
    const auto own = std::find_if(versions.begin(), versions.end(), [&](const std::wstring& key) {
        return VersionNumbers(key) == std::pair<unsigned long, unsigned long>{library->major, library->minor};
    });
    const std::wstring ownKey =
        own != versions.end() ? *own : VersionKeyNumber(library->major) + L"." + VersionKeyNumber(library->minor);
    if (own != versions.end()) versions.erase(own);

    // A library is registered under the key of the platform it is built for.
    const auto platformKey = [&](const std::wstring& version) {
        return libraryKey + L"\\" + version + L"\\0\\" + modTypeLibrary::PlatformKey(library->sysKind);
    };
    found.typeLibrary = Look(library->id, ownKey, platformKey(ownKey), registry);
    for (const auto& classId : library->creatableClasses) {
        found.classes.push_back(Look(classId, {}, L"CLSID\\" + classId + L"\\InprocServer32", registry));
    }
    for (const auto& version : versions) {
        found.otherVersions.push_back(Look(library->id, version, platformKey(version), registry));
    }
    found.state = StateOf(found);
    return found;
}

const Entry& Elsewhere(const Registration& found) {
    const auto other = std::find_if(found.classes.begin(), found.classes.end(),
                                    [](const Entry& entry) { return entry.Registered() && !entry.here; });
    return other != found.classes.end() ? *other : *found.typeLibrary;
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
