#include "loadcheck/modDllSearch.h"

#include <algorithm>
#include <mutex>

#include "platform/FileNames.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace modDllSearch {

namespace {

namespace filenames = platform::filenames;
using filenames::AddBackslash;
using filenames::FolderOf;
using filenames::IsFullPath;

const wchar_t KnownDllsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs";

// PATH's folders as the loader takes them: split at ";", nothing stripped.
std::vector<std::wstring> PathFolders() {
    std::vector<std::wstring> folders;
    const std::wstring path = filenames::ExpandEnvironment(L"%PATH%");
    if (path == L"%PATH%") return folders;
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto end = std::min(path.find(L';', start), path.size());
        folders.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return folders;
}

}  // namespace

bool Folders::HoldsFile(const std::wstring& folder, const std::wstring& name) {
    const std::wstring key = platform::text::Folded(folder);
    const std::lock_guard<platform::threads::Lock> held(lock_);
    auto listed = listed_.find(key);
    if (listed == listed_.end()) {
        auto listing = filenames::ListFiles(folder);
        Listed made;
        made.whole = listing.whole;
        for (const auto& file : listing.names) made.names.insert(platform::text::Folded(file));
        listed = listed_.emplace(key, std::move(made)).first;
    }
    if (listed->second.names.count(platform::text::Folded(name)) > 0) return true;
    return !listed->second.whole && filenames::IsFile(AddBackslash(folder) + name);
}

SearchOrder MachineOrder(const modProgramView::ProgramView& view) {
    SearchOrder order;
    for (const auto& name : platform::registry::ValueTexts(platform::registry::Hive::LocalMachine, KnownDllsKey)) {
        order.knownDlls.insert(platform::text::Folded(LoaderName(name)));
    }
    order.knownDlls.insert(platform::text::Folded(L"ntdll.dll"));  // in every process, listed or not
    order.systemFolder = view.systemFolder;
    order.folders = {view.systemFolder, AddBackslash(view.windowsFolder) + L"System", view.windowsFolder};
    for (const auto& folder : PathFolders()) {
        // An entry relative to the host's current folder names no folder a check can know.
        if (IsFullPath(folder)) order.folders.push_back(modProgramView::Map(view, folder));
    }
    return order;
}

SearchOrder ForControl(const SearchOrder& machine, const std::wstring& controlPath) {
    SearchOrder order = machine;
    std::vector<std::wstring> folders = {FolderOf(controlPath)};
    folders.insert(folders.end(), machine.folders.begin(), machine.folders.end());
    order.folders.clear();
    std::set<std::wstring> seen;
    for (auto& folder : folders) {
        while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
        if (!folder.empty() && seen.insert(platform::text::Folded(folder)).second) order.folders.push_back(folder);
    }
    return order;
}

SearchOrder SearchOrderFor(const std::wstring& controlPath, const modProgramView::ProgramView& view) {
    return ForControl(MachineOrder(view), controlPath);
}

std::wstring LoaderName(const std::wstring& imported) {
    std::wstring name = imported;
    std::replace(name.begin(), name.end(), L'/', L'\\');
    const auto last = name.find_last_of(L'\\');
    const std::wstring file = last == std::wstring::npos ? name : name.substr(last + 1);
    if (!file.empty() && file.back() == L'.') {
        name.pop_back();  // "x." is the file "x", without an extension
    } else if (file.find(L'.') == std::wstring::npos) {
        name += L".dll";
    }
    return name;
}

bool NamesPath(const std::wstring& name) {
    return name.find(L'\\') != std::wstring::npos || name.find(L':') != std::wstring::npos;
}

Search::Search(SearchOrder order, const modProgramView::ProgramView& view, Folders* folders)
    : order_(std::move(order)), view_(view), folders_(folders ? *folders : ownFolders_) {}

std::optional<std::wstring> Search::KnownDll(const std::wstring& name) const {
    if (NamesPath(name) || order_.knownDlls.count(platform::text::Folded(name)) == 0) return std::nullopt;
    return AddBackslash(order_.systemFolder) + name;
}

bool Search::Exists(const std::wstring& path) {
    const auto slash = path.find_last_of(L'\\');
    return slash != std::wstring::npos && folders_.HoldsFile(path.substr(0, slash), path.substr(slash + 1));
}

std::vector<std::wstring> Search::Candidates(const std::wstring& name) {
    std::vector<std::wstring> paths;
    if (IsFullPath(name) || name.rfind(L'\\', 0) == 0 || (name.size() >= 2 && name[1] == L':')) {
        // A path from a root: on this Windows' drive; from a drive: from its root.
        std::wstring path = name;
        if (name.rfind(L'\\', 0) == 0 && !IsFullPath(name)) path = view_.windowsFolder.substr(0, 2) + name;
        if (name.size() >= 2 && name[1] == L':' && !IsFullPath(name)) path = name.substr(0, 2) + L"\\" + name.substr(2);
        path = modProgramView::Map(view_, filenames::FullPath(path));
        if (Exists(path)) paths.push_back(path);
        return paths;
    }
    for (const auto& folder : order_.folders) {
        // A name with folders is below each folder of the order (".." resolved).
        const std::wstring below = AddBackslash(folder) + name;
        const std::wstring path = modProgramView::Map(view_, NamesPath(name) ? filenames::FullPath(below) : below);
        if (Exists(path)) paths.push_back(path);
    }
    return paths;
}

}  // namespace modDllSearch
