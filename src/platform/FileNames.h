#pragma once
// File names as Windows treats them: environment references, long forms, whether a
// name is a file, when two names are one, a file's times and a folder's entries.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Text.h"

namespace platform::filenames {

// %NAME% references replaced from this process's environment; the text as it is
// when it cannot be expanded.
std::wstring ExpandEnvironment(const std::wstring& text);

// The long form of an existing file's path (GetLongPathNameW); nothing when the
// path names nothing.
std::optional<std::wstring> LongForm(const std::wstring& path);

// The full path Win32 makes of a path (GetFullPathNameW): relative to the current
// folder, "/" as "\", "." and ".." resolved, trailing dots and spaces of its last
// name dropped. A "\\?\" path is given without its prefix. The path as it is when
// Windows makes none of it.
std::wstring FullPath(const std::wstring& path);

// The path names an existing file, not a folder.
bool IsFile(const std::wstring& path);

// The path names an existing folder.
bool IsFolder(const std::wstring& path);
// The path lies on a network: a \\server\share path, or a drive Windows maps to one.
bool OnNetwork(const std::wstring& path);
// The two file names are one to Windows: equal but for case.
inline bool SameFileName(const std::wstring& a, const std::wstring& b) { return text::SameIgnoringCase(a, b); }

// The file name a path ends in: what follows its last "\" or "/".
inline std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

// The folder a path names its file in: what comes before its last "\"; empty when
// it has none.
inline std::wstring FolderOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}
// "C:\..." or "\\server\...": a path from a drive's root or a server's.
inline bool IsFullPath(const std::wstring& path) {
    return (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') || path.rfind(L"\\\\", 0) == 0;
}
// The path with a "\" after it, added only when it has none.
inline std::wstring AddBackslash(const std::wstring& path) {
    return !path.empty() && path.back() == L'\\' ? path : path + L'\\';
}

// A file's times as Windows keeps them: 100-nanosecond intervals since 1601-01-01 UTC.
struct FileTimes {
    std::uint64_t created = 0;
    std::uint64_t lastWritten = 0;
    // When its contents or its entry last changed: the file system sets it on every
    // write and rename, which no copy sets back. 0 where it is not read.
    std::uint64_t changed = 0;
};
// The three times, the change time from FILE_BASIC_INFO (GetFileInformationByHandleEx,
// or NtQueryInformationFile where Windows lacks it, as XP does); nothing when the
// path names nothing.
std::optional<FileTimes> TimesOf(const std::wstring& path);

// The folder for temporary files, as GetTempPathW finds it (%TMP%, then %TEMP%, ...).
std::wstring TemporaryFolder();

struct FolderEntry {
    std::wstring name;
    bool folder = false;
    FileTimes times;
};
// At most this many entries of a folder are listed: a folder may hold any number.
constexpr std::size_t MaxFolderEntries = 4096;

// The names of the files (not folders) in `folder`, for many look-ups of names in it.
struct FileListing {
    std::vector<std::wstring> names;
    bool whole = true;  // false past MaxListedFiles: look a name up file by file then
};
constexpr std::size_t MaxListedFiles = 1u << 16;
// None when the folder cannot be listed (it is not there, or a network folder does not answer).
FileListing ListFiles(const std::wstring& folder);
// The entries of `folder` whose names match `pattern` (FindFirstFileW's wildcards),
// "." and ".." left out; none when it cannot be listed.
std::vector<FolderEntry> ListFolder(const std::wstring& folder, const std::wstring& pattern);

}  // namespace platform::filenames
