// The registry's 32-bit view and file names, for the registration check.
#include <algorithm>

#include "FakePlatform.h"
#include "platform/Account.h"
#include "platform/FileNames.h"
#include "platform/Registry.h"

using fake::S;

namespace {

bool Same(const std::wstring& a, const std::wstring& b) { return fake::Folded(a) == fake::Folded(b); }

}  // namespace

void fake::RegistryState::Set(platform::registry::Hive hive, const std::wstring& key,
                              platform::registry::ValueKind kind, const std::wstring& text) {
    values[hive][key][L""] = {kind, text};
}

namespace platform::registry {

Value Read(Hive hive, const std::wstring& key, const std::wstring& name, View view) {
    S().registry.reads.push_back(key);
    if (S().registry.duringRead) S().registry.duringRead();
    auto& keys = (view == View::Bits64 ? S().registry.values64 : S().registry.values)[hive];
    const auto found = keys.find(key);
    if (found == keys.end()) return {};
    const auto value = found->second.find(name);
    return value == found->second.end() ? Value{} : value->second;
}

std::vector<std::wstring> ValueTexts(Hive hive, const std::wstring& key, View view) {
    S().registry.reads.push_back(key);
    std::vector<std::wstring> texts;
    auto& keys = (view == View::Bits64 ? S().registry.values64 : S().registry.values)[hive];
    if (const auto found = keys.find(key); found != keys.end()) {
        for (const auto& [name, value] : found->second) {
            if (value.kind == ValueKind::Text) texts.push_back(value.text);
        }
    }
    return texts;
}

std::vector<std::wstring> SubkeyNames(Hive hive, const std::wstring& key, View view) {
    S().registry.reads.push_back(key);
    const std::wstring parent = fake::Folded(key) + L"\\";
    std::vector<std::wstring> names;
    for (const auto& [path, values] : (view == View::Bits64 ? S().registry.values64 : S().registry.values)[hive]) {
        if (fake::Folded(path).compare(0, parent.size(), parent) != 0) continue;
        const auto rest = path.substr(parent.size());
        const auto name = rest.substr(0, rest.find(L'\\'));
        const bool known = std::any_of(names.begin(), names.end(), [&name](const auto& n) { return Same(n, name); });
        if (!known) names.push_back(name);
    }
    return names;
}

}  // namespace platform::registry

namespace platform::filenames {

std::wstring ExpandEnvironment(const std::wstring& text) {
    std::wstring expanded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto end = text[i] == L'%' ? text.find(L'%', i + 1) : std::wstring::npos;
        const auto value =
            end == std::wstring::npos ? S().environment.end() : S().environment.find(text.substr(i + 1, end - i - 1));
        if (value == S().environment.end()) {
            expanded += text[i];  // an unknown name stays as it is, as on Windows
        } else {
            expanded += value->second;
            i = end;
        }
    }
    return expanded;
}

std::optional<std::wstring> LongForm(const std::wstring& path) {
    S().longFormProbes.push_back(path);
    const auto known = S().longForms.find(path);
    if (known != S().longForms.end()) return known->second;
    if (IsFile(path)) return path;
    return std::nullopt;
}

std::wstring FullPath(const std::wstring& path) {
    std::wstring full = path;
    std::replace(full.begin(), full.end(), L'/', L'\\');
    if (full.rfind(L"\\\\?\\", 0) == 0) full = full.substr(4);
    const bool rooted = (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') || full.rfind(L"\\\\", 0) == 0;
    if (!rooted) full = AddBackslash(S().currentFolder) + full;
    while (!full.empty() && (full.back() == L'.' || full.back() == L' ')) full.pop_back();
    return full;
}

FileListing ListFiles(const std::wstring& folder) {
    S().folderListings.push_back(folder);
    if (S().duringListing) S().duringListing();
    FileListing listing;
    const bool unlistable = std::any_of(S().unlistableFolders.begin(), S().unlistableFolders.end(),
                                        [&folder](const std::wstring& f) { return Same(f, folder); });
    if (unlistable) return listing;
    const std::wstring prefix = fake::Folded(AddBackslash(folder));
    for (const auto& [path, file] : S().files) {
        const std::wstring folded = fake::Folded(path);
        if (folded.compare(0, prefix.size(), prefix) == 0 && folded.find(L'\\', prefix.size()) == std::wstring::npos &&
            IsFile(path)) {
            listing.names.push_back(path.substr(prefix.size()));
        }
    }
    return listing;
}

bool IsFile(const std::wstring& path) {
    // A short name names what its long form names.
    const auto known = S().longForms.find(path);
    const std::wstring& name = known != S().longForms.end() ? known->second : path;
    const bool folder = std::any_of(S().folderPaths.begin(), S().folderPaths.end(),
                                    [&name](const std::wstring& f) { return Same(f, name); });
    return !folder && S().files.count(name) > 0;
}

bool IsFolder(const std::wstring& path) {
    const std::wstring prefix = fake::Folded(AddBackslash(path));
    return std::any_of(S().folderPaths.begin(), S().folderPaths.end(),
                       [&path](const std::wstring& f) { return Same(f, path); }) ||
           std::any_of(S().files.begin(), S().files.end(),
                       [&prefix](const auto& file) { return fake::Folded(file.first).rfind(prefix, 0) == 0; });
}

bool OnNetwork(const std::wstring& path) {
    return (path.rfind(L"\\\\", 0) == 0 && path.rfind(L"\\\\?\\", 0) != 0) ||
           (path.size() > 1 && path[1] == L':' && S().networkDrives.find(path[0]) != std::wstring::npos);
}

std::wstring TemporaryFolder() {
    const auto found = S().environment.find(L"TEMP");  // with a backslash after it, as Windows gives it
    return found == S().environment.end() ? std::wstring() : found->second + L"\\";
}

std::optional<FileTimes> TimesOf(const std::wstring& path) {
    const auto found = S().fileTimes.find(path);
    if (found == S().fileTimes.end()) return std::nullopt;
    return found->second;
}

namespace {
// FindFirstFileW's wildcard: "*" any run of characters, case aside.
bool Matches(const std::wstring& name, const std::wstring& pattern) {
    const auto star = pattern.find(L'*');
    if (star == std::wstring::npos) return Same(name, pattern);
    if (name.size() < star || !Same(name.substr(0, star), pattern.substr(0, star))) return false;
    for (std::size_t from = star; from <= name.size(); ++from) {
        if (Matches(name.substr(from), pattern.substr(star + 1))) return true;
    }
    return false;
}
}  // namespace

std::vector<FolderEntry> ListFolder(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<FolderEntry> entries;
    // A folder's name is the same with a backslash after it.
    const bool slash = !folder.empty() && folder.back() == L'\\';
    const auto found = S().listings.find(slash ? folder.substr(0, folder.size() - 1) : folder);
    if (found == S().listings.end()) return entries;
    for (const auto& entry : found->second) {
        if (Matches(entry.name, pattern)) entries.push_back(entry);
    }
    return entries;
}

}  // namespace platform::filenames

namespace platform::text {

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) { return Same(a, b); }

std::wstring Folded(const std::wstring& text) { return fake::Folded(text); }

// The fakes' ANSI code page is Latin-1.
std::wstring FromAnsi(const std::string& bytes) {
    std::wstring text;
    for (const char byte : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(byte));
    return text;
}

}  // namespace platform::text

namespace platform::account {

std::wstring ProcessAccount() { return S().account; }

}  // namespace platform::account
