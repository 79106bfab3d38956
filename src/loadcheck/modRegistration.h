#pragma once
// Whether the registry sends a program that needs the control to this file: the
// control file's own type library names what must be registered (its LIBID and
// version, under its platform's key, and its creatable classes), and the registry, in
// the view of a program of the control's bitness (per user first, then per machine,
// as Windows merges them), tells where each of those entries points.
#include <optional>
#include <string>
#include <vector>

#include "filecheck/modTypeLibrary.h"
#include "loadcheck/modProgramView.h"

namespace modRegistration {

enum class State { Registered, NotRegistered, RegisteredElsewhere, PartlyRegistered, NoTypeLibrary, NotReadInTime };
enum class Scope { User, Machine };

// One registry entry of the control: a type library version or a class.
struct Entry {
    std::wstring id;                   // the LIBID or the CLSID, as the type library names it
    std::wstring version;              // type library entries: the version key, as the registry names it
    std::optional<std::wstring> path;  // the value as written, when it is text
    std::optional<Scope> scope;        // where that text was found
    std::wstring loads;                // the file the program would load for it, where it really is; empty: none
    bool here = false;                 // it names this file
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
};

// The registration of the control at `controlPath`, whose type library reads as
// `reading`, as the program `view` sees the registry and the files. Without a type
// library nothing is read.
Registration CheckRegistration(const modTypeLibrary::Reading& reading, const std::wstring& controlPath,
                               const modProgramView::ProgramView& view);

// What programs load in place of this file: a class's file first, as creating a
// control loads it, else the type library's.
const Entry& Elsewhere(const Registration& found);

// "registered", "not registered", "registered elsewhere", "partly registered", "no type
// library", "not read in time".
std::wstring StateText(State state);
// "user", "machine".
std::wstring ScopeText(Scope scope);

}  // namespace modRegistration
