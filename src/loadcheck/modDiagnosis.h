#pragma once
// Will a program that needs the control load this file? Every cause the machine
// shows, gathered: the registration, the DLLs the control needs, the Office
// installations and their caches of it; whether it loads, and the first cause when it
// does not; and the one next step that mends that cause. The registry is read first
// and the dependencies after, so that a stall among the files costs them alone.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "filecheck/modTypeLibrary.h"
#include "loadcheck/modDependencies.h"
#include "loadcheck/modOffice.h"
#include "loadcheck/modOfficeCache.h"
#include "loadcheck/modProgramView.h"
#include "loadcheck/modRegistration.h"

namespace modDiagnosis {

// The control a diagnosis is of, and what its next steps name.
struct Subject {
    std::wstring controlPath;
    std::wstring systemFolder;  // of its bitness: where its regsvr32 is
    std::wstring bits;          // "32" or "64"
    // Held to its one build (MsComCtl.OCX): a file without a type library is no build
    // of it. Another control is judged by its dependencies then.
    bool pinned = true;
};

struct Diagnosis {
    Subject subject;
    modRegistration::Registration registration;
    std::wstring account;    // whose per-user entries and caches these are: the account the program ran as
    bool windows64 = false;  // the registry has a view of each bitness
    // Office's caches of the control; none when there is no type library to name them.
    std::optional<std::vector<modOfficeCache::CacheFile>> officeCache;
    // Each Office installed, and those of them whose bitness is not the control's: their
    // VBA cannot load it, a fact beside whether it loads.
    std::vector<modOffice::Installation> office;
    std::vector<modOffice::Installation> officeOfOtherBitness;
    // The DLLs it needs, and theirs; nothing when they were not read (in time).
    std::optional<std::vector<modDependencies::Dependency>> dependencies;
    std::optional<std::wstring> dependenciesReason;  // why they are not there, or not whole
    bool dependenciesPending = false;                // their reading is under way
    // Whether a program that needs it will load it; nothing where that could not be
    // read whole.
    std::optional<bool> loads;
    std::optional<std::wstring> hint;  // one sentence, where there is something to do
};

// The registry's part, read first: the registration, the account, Office and Office's
// caches. The dependencies are pending.
Diagnosis ReadRegistry(const modTypeLibrary::Reading& reading, const Subject& subject,
                       const modProgramView::ProgramView& view);

// The dependencies as the walk found them; then whether it loads, and the hint.
void AddDependencies(Diagnosis& found, modDependencies::Dependencies dependencies);

// What is known of a diagnosis whose registration was not read within `seconds` (a
// path on a server that is gone, an offline network folder): that alone.
Diagnosis NotReadInTime(std::uint32_t seconds);
// A diagnosis whose registration was read, and whose dependencies were not within `seconds`.
void DependenciesNotReadInTime(Diagnosis& found, std::uint32_t seconds);

// Why a program of the control's bitness that needs it will not load it: the first
// cause, in the order registration, dependency ("it is not registered", "X.dll is not
// found"); empty when it loads, or when that is not known.
std::wstring NotLoadingCause(const Diagnosis& found);

// A dependency's problem as the cause it is ("X.dll is not found"), and the one step
// that mends it.
std::wstring DependencyCause(const modDependencies::Dependency& dependency);
std::wstring DependencyHint(const modDependencies::Dependency& dependency, const Subject& subject);

// The command that removes a key of a hive's classes ("CLSID\{...}"), in the registry
// view `viewSwitch` names (" /reg:32"; none for a key both views share).
std::wstring RemovalCommand(platform::registry::Hive hive, const std::wstring& key, const std::wstring& viewSwitch);
// The switch that reaches a class's key of a program of `bits` ("32", "64"): on 64-bit
// Windows each view has its own; on 32-bit Windows there is one, and no switch.
std::wstring ClassViewSwitch(bool windows64, const std::wstring& bits);

// Whether this Office's VBA loads the control: only an Office of its bitness does.
bool OfficeLoads(const modOffice::Installation& office, const Subject& subject);
// The warning for an Office that cannot: "64-bit Office 16.0 cannot load this 32-bit
// control: forms that use it need 32-bit Office."
std::wstring OfficeWarning(const modOffice::Installation& office, const Subject& subject);

}  // namespace modDiagnosis
