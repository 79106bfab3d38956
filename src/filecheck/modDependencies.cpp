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

    void Visit(const std::wstring& path, const std::wstring& name, bool delayLoaded, std::size_t depth) {
        if (depth > MaxDepth || read.size() >= MaxFiles || ReadBefore(path)) return;
        read.push_back(path);
        const modPeFile::DiskFile file(path);
        if (!file.Opened()) return;
        for (const auto& dll : modPeFile::ReadImports(file.File()).dlls) {
            if (IsApiSet(dll.name) || Listed(dll.name)) continue;
            Dependency dependency{dll.name, Resolve(dll.name, order), name, delayLoaded || dll.delayLoaded,
                                  Problem::None};
            found.push_back(dependency);
            if (!dependency.path) {
                found.back().problem = Problem::Missing;
                continue;
            }
            if (MachineOf(*dependency.path) != machine) {
                found.back().problem = Problem::OtherProcessor;
                continue;
            }
            // Windows' own DLLs are Windows' to mend; another is read in turn.
            if (!filenames::SameFileName(FolderOf(*dependency.path), order.systemFolder)) {
                Visit(*dependency.path, dependency.name, dependency.delayLoaded, depth + 1);
            }
        }
    }

    std::uint16_t MachineOf(const std::wstring& path) {
        const modPeFile::DiskFile file(path);
        return file.Opened() ? modPeFile::ReadImports(file.File()).machine : 0;
    }
};

}  // namespace

SearchOrder SearchOrderFor(const std::wstring& controlPath, std::uint16_t machine, const std::wstring& windowsFolder,
                           bool windows64) {
    SearchOrder order;
    order.knownDlls = platform::registry::ValueTexts(platform::registry::Hive::LocalMachine, KnownDllsKey);
    order.knownDlls.emplace_back(L"ntdll.dll");  // loaded into every process, listed or not
    order.controlFolder = FolderOf(controlPath);
    const bool wow64 = windows64 && machine != modPeFile::MachineX64;
    order.systemFolder = AddBackslash(windowsFolder) + (wow64 ? L"SysWOW64" : L"System32");
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
                                         const std::wstring& windowsFolder, bool windows64) {
    const SearchOrder order = SearchOrderFor(controlPath, machine, windowsFolder, windows64);
    Walk walk{order, machine, {}, {}};
    walk.Visit(controlPath, controlPath.substr(controlPath.find_last_of(L'\\') + 1), false, 0);
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
