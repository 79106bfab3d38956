#pragma once
// The DLLs a control needs, as Windows' loader finds and judges them when COM loads
// the control from its full path in a program of the control's bitness: each found
// by the search order (or in a side-by-side assembly, or as an API set), read for
// its processor, and asked for every function its importer imports. A control whose
// import of a load-time DLL fails does not load: the "... or one of its
// dependencies" of the message its users see. Every file is read once, headers,
// imports, exports and manifest together; Windows' own DLLs only for their exports.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "filecheck/modManifest.h"
#include "filecheck/modPeFile.h"
#include "loadcheck/modDllSearch.h"
#include "loadcheck/modProgramView.h"

namespace modDependencies {

enum class Problem { None, Missing, OtherProcessor, MissingExport, MissingAssembly, Unreadable, Damaged };

struct Dependency {
    std::wstring name;                 // as the import table writes it; an assembly's name
    std::optional<std::wstring> path;  // where it was found; nothing when it was not
    std::wstring neededBy;     // the file that needs it (a load-time one where there is one); empty: the control itself
    bool delayLoaded = false;  // needed only when first used: by no load-time importer
    Problem problem = Problem::None;
    std::wstring exportName;                                // a missing export: its name, or "#" and its ordinal
    std::optional<modManifest::AssemblyIdentity> assembly;  // the side-by-side assembly it comes (or is missing) from
    std::optional<std::int32_t> error;                      // unreadable: why, as an HRESULT
    std::wstring errorDescription;                          // ... and the system's words for it
    std::wstring damage;                                    // damaged: what is
};

struct Dependencies {
    std::vector<Dependency> list;  // each DLL once, in the order the walk met them, and each failed import
    // A bound stopped the walk before the whole graph was read: what was not read is
    // not judged, and the control may or may not load.
    std::optional<std::wstring> cut;
};

// The walk reads at most this many files: far more than a control's graph holds.
constexpr std::size_t MaxFiles = 512;         // read whole: the control's own DLLs
constexpr std::size_t MaxSystemFiles = 4096;  // read for their exports: Windows' own

// What the walks of many controls share (a scan of the machine): each file read
// once, each folder listed once, and the machine's part of the search order read once
// for each processor.
class SharedReads {
public:
    SharedReads();
    SharedReads(const SharedReads&) = delete;
    SharedReads& operator=(const SharedReads&) = delete;
    SharedReads(SharedReads&&) = delete;
    SharedReads& operator=(SharedReads&&) = delete;
    ~SharedReads();
    struct Held;
    Held& Get() { return *held_; }
    modDllSearch::Folders& Folders();

private:
    std::unique_ptr<Held> held_;
};

// Every DLL the control at `controlPath`, whose image is `control`, needs, and theirs;
// with `shared`, what other walks read already is not read again.
Dependencies FindDependencies(const std::wstring& controlPath, const modPeFile::Image& control,
                              const modProgramView::ProgramView& view, SharedReads* shared = nullptr);

// It keeps the control from loading: a problem of a DLL needed at load time.
bool Blocks(const Dependency& dependency);
// The first that does, or (`blocking` false) the first that keeps only a part of it
// from working; nothing when there is none.
const Dependency* FirstProblem(const std::vector<Dependency>& dependencies, bool blocking);

// "missing", "other processor", "missing export", "missing assembly", "unreadable",
// "damaged"; empty for none.
std::wstring ProblemText(Problem problem);

}  // namespace modDependencies
