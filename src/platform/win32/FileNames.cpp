#include "platform/FileNames.h"

#include <windows.h>

#include "platform/UniqueAny.h"
#include "platform/win32/Ownership.h"
#include "platform/win32/RealPaths.h"

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
    const std::wstring extended = win32::ExtendedPath(path);
    const win32::RealFileSystem real;
    const DWORD needed = GetLongPathNameW(extended.c_str(), nullptr, 0);
    if (needed == 0 || needed > MaxCharacters) return std::nullopt;
    std::wstring longForm(needed, L'\0');
    const DWORD written = GetLongPathNameW(extended.c_str(), longForm.data(), needed);
    if (written == 0 || written >= needed) return std::nullopt;
    longForm.resize(written);
    // Given as it was asked: without the "\\?\" that reached it.
    if (extended != path) return FullPath(longForm);
    return longForm;
}

std::wstring FullPath(const std::wstring& path) {
    std::wstring given = path;
    if (given.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        given = L"\\\\" + given.substr(8);
    } else if (given.rfind(L"\\\\?\\", 0) == 0) {
        given = given.substr(4);
    }
    const DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (needed == 0 || needed > MaxCharacters) return given;
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(given.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) return given;
    full.resize(written);
    return full;
}

bool IsFile(const std::wstring& path) {
    const std::wstring extended = win32::ExtendedPath(path);
    const win32::RealFileSystem real;
    const DWORD attributes = GetFileAttributesW(extended.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::wstring& path) {
    const std::wstring extended = win32::ExtendedPath(path);
    const win32::RealFileSystem real;
    const DWORD attributes = GetFileAttributesW(extended.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool OnNetwork(const std::wstring& path) {
    if (path.rfind(L"\\\\", 0) == 0) return path.rfind(L"\\\\?\\", 0) != 0 || path.rfind(L"\\\\?\\UNC\\", 0) == 0;
    if (path.size() < 3 || path[1] != L':') return false;
    const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
    return GetDriveTypeW(root) == DRIVE_REMOTE;
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

// FILE_BASIC_INFO, as both calls below fill it; declared here, since the headers
// for Windows XP leave it out.
struct BasicInfo {
    LARGE_INTEGER creation, lastAccess, lastWrite, change;
    DWORD attributes;
};

std::uint64_t ChangeTimeOf(const std::wstring& path) {
    const win32::RealFileSystem real;
    const win32::UniqueKernelHandle file(CreateFileW(win32::ExtendedPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return 0;
    BasicInfo info = {};
    using ByHandleFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
    constexpr int FileBasicInfo = 0;  // FILE_INFO_BY_HANDLE_CLASS
    if (const auto byHandle = reinterpret_cast<ByHandleFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFileInformationByHandleEx")))) {
        return byHandle(file.get(), FileBasicInfo, &info, sizeof info)
                   ? static_cast<std::uint64_t>(info.change.QuadPart)
                   : 0;
    }
    // Windows XP: the native call the one above is made of.
    struct IoStatus {
        ULONG_PTR status;
        ULONG_PTR information;
    } io = {};
    using QueryFn = LONG(NTAPI*)(HANDLE, IoStatus*, PVOID, ULONG, int);
    constexpr int FileBasicInformation = 4;  // FILE_INFORMATION_CLASS
    const auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    if (!query || query(file.get(), &io, &info, sizeof info, FileBasicInformation) < 0) return 0;
    return static_cast<std::uint64_t>(info.change.QuadPart);
}

}  // namespace

std::optional<FileTimes> TimesOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    {
        const win32::RealFileSystem real;
        if (!GetFileAttributesExW(win32::ExtendedPath(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    }
    return FileTimes{Ticks(data.ftCreationTime), Ticks(data.ftLastWriteTime), ChangeTimeOf(path)};
}

std::wstring TemporaryFolder() {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

namespace {

// The first entry of a folder that matches `pattern`, the search open on it.
UniqueAny<FindTraits> FindFirst(const std::wstring& folder, const std::wstring& pattern, WIN32_FIND_DATAW& found) {
    const std::wstring search = AddBackslash(folder) + pattern;
    const win32::RealFileSystem real;
    return UniqueAny<FindTraits>(FindFirstFileW(win32::ExtendedPath(search).c_str(), &found));
}

}  // namespace

std::vector<FolderEntry> ListFolder(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found = {};
    const auto find = FindFirst(folder, pattern, found);
    if (!find) return entries;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({name,
                           (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           {Ticks(found.ftCreationTime), Ticks(found.ftLastWriteTime), 0}});
    } while (entries.size() < MaxFolderEntries && FindNextFileW(find.get(), &found));
    return entries;
}

FileListing ListFiles(const std::wstring& folder) {
    FileListing listing;
    WIN32_FIND_DATAW found = {};
    const auto find = FindFirst(folder, L"*", found);
    if (!find) return listing;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        if (listing.names.size() == MaxListedFiles) {
            listing.whole = false;
            break;
        }
        listing.names.emplace_back(found.cFileName);
    } while (FindNextFileW(find.get(), &found));
    return listing;
}

}  // namespace platform::filenames
