#pragma once
// The DLLs a control needs, found the way Windows finds them when COM loads the
// control from its full path in a process of the control's bitness. A control whose
// imported DLL is missing, or is built for the other processor, does not load: the
// "... or one of its dependencies" of the message its users see.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace modDependencies {

enum class Problem { None, Missing, OtherProcessor };

struct Dependency {
    std::wstring name;                 // as the import table writes it
    std::optional<std::wstring> path;  // where it was found; nothing when it was not
    std::wstring neededBy;             // the file that imports it: the control's name, or a dependency's
    bool delayLoaded = false;          // loaded only when first used (or needed by such a DLL)
    Problem problem = Problem::None;
};

// Where a DLL is looked for, in this order: the KnownDLLs list (in the system folder),
// the control's own folder, the system folder of its bitness, the Windows folder,
// then the folders on PATH.
struct SearchOrder {
    std::vector<std::wstring> knownDlls;
    std::wstring controlFolder;
    std::wstring systemFolder;
    std::wstring windowsFolder;
    std::vector<std::wstring> pathFolders;
};

// This Windows' search order for the control at `controlPath`, whose bitness's system
// folder is `systemFolder`.
SearchOrder SearchOrderFor(const std::wstring& controlPath, const std::wstring& systemFolder,
                           const std::wstring& windowsFolder);

// Where a DLL of this name is found; nothing when in no folder of the order. An
// API-set name (api-ms-*, ext-ms-*) is Windows' own: the empty path.
std::optional<std::wstring> Resolve(const std::wstring& name, const SearchOrder& order);

// A dependency found outside the system folders is read in turn, to this depth and
// this many files in all, each file once.
constexpr std::size_t MaxDepth = 6, MaxFiles = 64;

// Every DLL the control, built for `machine`, needs, the API sets aside, with what is
// wrong with each. Each file is read once.
std::vector<Dependency> FindDependencies(const std::wstring& controlPath, std::uint16_t machine,
                                         const std::wstring& systemFolder, const std::wstring& windowsFolder);

// "missing", "other processor"; empty for none.
std::wstring ProblemText(Problem problem);

}  // namespace modDependencies
