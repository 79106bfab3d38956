#pragma once
// Whether a program that needs the control will load this file: the control file's
// own type library names what must be registered, and the registry's 32-bit view
// (per user first, then per machine, as Windows merges them) tells where each of
// those entries points.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "filecheck/modDependencies.h"
#include "filecheck/modOffice.h"
#include "filecheck/modOfficeCache.h"
#include "filecheck/modTypeLibrary.h"

namespace modRegistration {

enum class State { Registered, NotRegistered, RegisteredElsewhere, PartlyRegistered, NoTypeLibrary, NotReadInTime };
enum class Scope { User, Machine };

// One registry entry of the control: a type library version or a class.
struct Entry {
    std::wstring id;                   // the LIBID or the CLSID, as the type library names it
    std::wstring version;              // type library entries: the version key, as the registry names it
    std::optional<std::wstring> path;  // the value as written, when it is text
    std::optional<Scope> scope;        // where that text was found
    std::wstring loads;                // the file a 32-bit program would load for it; empty: none
    bool here = false;                 // it names this file, as a 32-bit program would load it
    bool exists = false;               // the file it names exists

    // The text names a file at all.
    bool Registered() const { return !loads.empty(); }
};

struct Registration {
    State state = State::NoTypeLibrary;
    std::optional<Entry> typeLibrary;    // the file's own version
    std::vector<Entry> classes;          // its creatable classes, in its type library's order
    std::vector<Entry> otherVersions;    // every other version registered for its LIBID
    std::optional<std::wstring> reason;  // why there is no type library, or why it was not read
    std::optional<std::wstring> hint;    // one sentence, unless it is registered
    // Whose per-user entries and caches these are: the account the program ran as.
    std::wstring account;
    // Office's caches of the control; none when there is no type library to name them.
    std::optional<std::vector<modOfficeCache::CacheFile>> officeCache;
    // Each Office installed, and those of them whose bitness is not the control's:
    // they load it not at all.
    std::vector<modOffice::Installation> office;
    std::vector<modOffice::Installation> officeOfOtherBitness;
    // The DLLs it needs, and theirs, as Windows finds them for it.
    std::vector<modDependencies::Dependency> dependencies;
    // Whether a program that needs it will load it: registered here, no dependency
    // missing or for the other processor (one loaded only when used aside), and no
    // Office of the other bitness. Nothing where that could not be read.
    std::optional<bool> loads;
};

// The control file at `controlPath`, found on this Windows, whose type library reads
// as `library`: its folder is the 32-bit system folder, `windowsFolder` is the
// Windows folder and `windows64` whether the Windows is 64-bit (where System32 means
// SysWOW64 to a 32-bit program).
Registration CheckRegistration(const modTypeLibrary::Reading& library, const std::wstring& controlPath,
                               const std::wstring& windowsFolder, bool windows64);

// Why a program that needs the control will not load it: the first cause, in the
// order registration, dependency, Office ("it is not registered", "X.dll is not
// found", "Office 16.0 is 64-bit"); empty when it loads.
std::wstring NotLoadingCause(const Registration& found);

// What is known of a registration whose reading did not finish within `seconds`
// (a path on a server that is gone, an offline network folder): that alone.
Registration NotReadInTime(std::uint32_t seconds);

// "registered", "not registered", "registered elsewhere", "partly registered", "no type
// library", "not read in time".
std::wstring StateText(State state);
// "user", "machine".
std::wstring ScopeText(Scope scope);

}  // namespace modRegistration
