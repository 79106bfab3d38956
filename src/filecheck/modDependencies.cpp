#include "filecheck/modDependencies.h"

#include <algorithm>

#include "filecheck/modPeFile.h"
#include "platform/FileNames.h"
#include "platform/Registry.h"

namespace modDependencies {

namespace {

namespace filenames = platform::filenames;
using filenames::AddBackslash;

const wchar_t KnownDllsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs";

bool IsApiSet(const std::wstring& name) {
    const std::wstring start = name.substr(0, 7);
    return filenames::SameFileName(start, L"api-ms-") || filenames::SameFileName(start, L"ext-ms-");
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::vector<std::wstring> PathFolders() {
    std::vector<std::wstring> folders;
    const std::wstring path = filenames::ExpandEnvironment(L"%PATH%");
    if (path == L"%PATH%") return folders;
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto end = std::min(path.find(L';', start), path.size());
        std::wstring folder = path.substr(start, end - start);
        if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"')
            folder = folder.substr(1, folder.size() - 2);
        if (!folder.empty()) folders.push_back(folder);
        start = end + 1;
    }
    return folders;
}

// The walk over the control's dependencies and theirs.
struct Walk {
    const SearchOrder& order;
    std::uint16_t machine;
    std::vector<std::wstring> read;  // the files read
    std::vector<Dependency> found;

    bool Listed(const std::wstring& name) const {
        return std::any_of(found.begin(), found.end(),
                           [&name](const Dependency& d) { return filenames::SameFileName(d.name, name); });
    }

    bool ReadBefore(const std::wstring& path) const {
        return std::any_of(read.begin(), read.end(),
                           [&path](const auto& r) { return filenames::SameFileName(r, path); });
    }

    // What the file `name` (read as `imports`) needs, and, for each DLL found outside
    // the system folder, what that needs in turn.
    void Visit(const modPeFile::Imports& imports, const std::wstring& name, bool delayLoaded, std::size_t depth) {
        for (const auto& dll : imports.dlls) {
            if (IsApiSet(dll.name) || Listed(dll.name)) continue;
            found.push_back({dll.name, Resolve(dll.name, order), name, delayLoaded || dll.delayLoaded, Problem::None});
            const Dependency dependency = found.back();
            if (!dependency.path) {
                found.back().problem = Problem::Missing;
                continue;
            }
            // Its headers tell its processor; its imports, what it needs.
            const auto imported = ImportsOf(*dependency.path);
            if (imported.machine != machine) {
                found.back().problem = Problem::OtherProcessor;
                continue;
            }
            // Windows' own DLLs are Windows' to mend; another is read in turn.
            if (!filenames::SameFileName(FolderOf(*dependency.path), order.systemFolder) && depth < MaxDepth &&
                read.size() < MaxFiles && !ReadBefore(*dependency.path)) {
                read.push_back(*dependency.path);
                Visit(imported, dependency.name, dependency.delayLoaded, depth + 1);
            }
        }
    }

    // The file's imports and machine; none when it cannot be opened.
    static modPeFile::Imports ImportsOf(const std::wstring& path) {
        const modPeFile::DiskFile file(path);
        return file.Opened() ? modPeFile::ReadImports(file.File()) : modPeFile::Imports{};
    }
};

}  // namespace

SearchOrder SearchOrderFor(const std::wstring& controlPath, const std::wstring& systemFolder,
                           const std::wstring& windowsFolder) {
    SearchOrder order;
    order.knownDlls = platform::registry::ValueTexts(platform::registry::Hive::LocalMachine, KnownDllsKey);
    order.knownDlls.emplace_back(L"ntdll.dll");  // loaded into every process, listed or not
    order.controlFolder = FolderOf(controlPath);
    order.systemFolder = systemFolder;
    order.windowsFolder = windowsFolder;
    order.pathFolders = PathFolders();
    return order;
}

std::optional<std::wstring> Resolve(const std::wstring& name, const SearchOrder& order) {
    if (IsApiSet(name)) return std::wstring();
    const bool known = std::any_of(order.knownDlls.begin(), order.knownDlls.end(),
                                   [&](const std::wstring& dll) { return filenames::SameFileName(dll, name); });
    if (known) return AddBackslash(order.systemFolder) + name;
    std::vector<std::wstring> folders = {order.controlFolder, order.systemFolder, order.windowsFolder};
    folders.insert(folders.end(), order.pathFolders.begin(), order.pathFolders.end());
    for (const auto& folder : folders) {
        const std::wstring candidate = AddBackslash(folder) + name;
        if (filenames::IsFile(candidate)) return candidate;
    }
    return std::nullopt;
}

std::vector<Dependency> FindDependencies(const std::wstring& controlPath, std::uint16_t machine,
                                         const std::wstring& systemFolder, const std::wstring& windowsFolder) {
    const SearchOrder order = SearchOrderFor(controlPath, systemFolder, windowsFolder);
    Walk walk{order, machine, {controlPath}, {}};
    walk.Visit(Walk::ImportsOf(controlPath), filenames::NameOf(controlPath), false, 0);
    return walk.found;
}

std::wstring ProblemText(Problem problem) {
    switch (problem) {
    case Problem::None: break;
    case Problem::Missing: return L"missing";
    case Problem::OtherProcessor: return L"other processor";
    }
    return {};
}

}  // namespace modDependencies
