#include "platform/FileNames.h"

#include <windows.h>

#include "platform/UniqueAny.h"

namespace platform::filenames {

namespace {

// Longer than any path Windows opens: such a text is taken as it is.
constexpr DWORD MaxCharacters = 32768;

}  // namespace

std::wstring ExpandEnvironment(const std::wstring& text) {
    const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0 || needed > MaxCharacters) return text;
    std::wstring expanded(needed, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed);
    if (written == 0 || written > needed) return text;
    expanded.resize(written - 1);  // the count includes the NUL
    return expanded;
}

std::optional<std::wstring> LongForm(const std::wstring& path) {
    const DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0 || needed > MaxCharacters) return std::nullopt;
    std::wstring longForm(needed, L'\0');
    const DWORD written = GetLongPathNameW(path.c_str(), longForm.data(), needed);
    if (written == 0 || written >= needed) return std::nullopt;
    longForm.resize(written);
    return longForm;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

namespace {

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A search handle, closed with FindClose.
struct FindTraits {
    using Value = HANDLE;
    static Value Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Value handle) noexcept { return handle != INVALID_HANDLE_VALUE; }
    static void Close(Value handle) noexcept { FindClose(handle); }
};

}  // namespace

std::optional<FileTimes> TimesOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return FileTimes{Ticks(data.ftCreationTime), Ticks(data.ftLastWriteTime)};
}

std::vector<FolderEntry> ListFolder(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found = {};
    const std::wstring search = folder + (folder.empty() || folder.back() == L'\\' ? L"" : L"\\") + pattern;
    const UniqueAny<FindTraits> find(FindFirstFileW(search.c_str(), &found));
    if (!find) return entries;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({name,
                           (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           {Ticks(found.ftCreationTime), Ticks(found.ftLastWriteTime)}});
    } while (entries.size() < MaxFolderEntries && FindNextFileW(find.get(), &found));
    return entries;
}

}  // namespace platform::filenames
