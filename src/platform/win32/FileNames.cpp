#include "platform/FileNames.h"

#include <windows.h>

#include "platform/UniqueAny.h"
#include "platform/win32/Ownership.h"

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

// FILE_BASIC_INFO, as both calls below fill it; declared here, since the headers
// for Windows XP leave it out.
struct BasicInfo {
    LARGE_INTEGER creation, lastAccess, lastWrite, change;
    DWORD attributes;
};

std::uint64_t ChangeTimeOf(const std::wstring& path) {
    const win32::UniqueKernelHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
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
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return FileTimes{Ticks(data.ftCreationTime), Ticks(data.ftLastWriteTime), ChangeTimeOf(path)};
}

std::wstring TemporaryFolder() {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(folder, length);
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
                           {Ticks(found.ftCreationTime), Ticks(found.ftLastWriteTime), 0}});
    } while (entries.size() < MaxFolderEntries && FindNextFileW(find.get(), &found));
    return entries;
}

}  // namespace platform::filenames
