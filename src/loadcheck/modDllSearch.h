#pragma once
// Where the loader looks for a DLL that a control COM loads from its full path
// (LoadLibraryEx with LOAD_WITH_ALTERED_SEARCH_PATH) imports, in a program of the
// control's bitness: the KnownDLLs, then the control's own folder, the system folder,
// the 16-bit system folder, the Windows folder and the folders on PATH. The host's
// current folder comes before PATH too; no check can know it. Each folder is listed
// once, so that a folder on a network that does not answer costs its one listing.
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "loadcheck/modProgramView.h"
#include "platform/Threads.h"

namespace modDllSearch {

// The files of folders, each folder listed once: one that cannot be listed holds
// nothing for the rest of the run. Searches on other threads may share them.
class Folders {
public:
    bool HoldsFile(const std::wstring& folder, const std::wstring& name);

private:
    struct Listed {
        std::set<std::wstring> names;  // folded
        bool whole = true;
    };
    platform::threads::Lock lock_;
    std::map<std::wstring, Listed> listed_;  // by folded folder
};

struct SearchOrder {
    std::set<std::wstring> knownDlls;   // folded names
    std::wstring systemFolder;          // the program's, which the KnownDLLs come from
    std::vector<std::wstring> folders;  // in the loader's order, each once
};

// This Windows' order for the control at `controlPath`: the KnownDLLs from the
// registry, PATH's entries as the loader takes them (quotes and all; an entry that
// is not a full path aside), every folder as the program sees it.
SearchOrder SearchOrderFor(const std::wstring& controlPath, const modProgramView::ProgramView& view);
// The same in two steps, for many controls: the machine's part, read once; then that
// order for one control, whose folder comes first.
SearchOrder MachineOrder(const modProgramView::ProgramView& view);
SearchOrder ForControl(const SearchOrder& machine, const std::wstring& controlPath);

// The name an import writes as the loader takes it: "/" as "\\", ".dll" added to a
// name without an extension, a trailing "." dropped.
std::wstring LoaderName(const std::wstring& imported);

// The name names a path, not a file to be looked for.
bool NamesPath(const std::wstring& name);

class Search {
public:
    // `folders`, where given, are listings shared with other searches; else its own.
    Search(SearchOrder order, const modProgramView::ProgramView& view, Folders* folders = nullptr);
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;
    Search(Search&&) = delete;
    Search& operator=(Search&&) = delete;
    ~Search() = default;

    // The KnownDLL of this name: the system folder's file, which must be there.
    std::optional<std::wstring> KnownDll(const std::wstring& name) const;
    // Every file of this name the loader meets, in its order. A full path names its
    // file alone; a relative one with folders is looked for below each folder.
    std::vector<std::wstring> Candidates(const std::wstring& name);
    bool Exists(const std::wstring& path);

private:
    SearchOrder order_;
    const modProgramView::ProgramView& view_;
    Folders ownFolders_;
    Folders& folders_;
};

}  // namespace modDllSearch
