#include "platform/FileWriting.h"

#include <windows.h>

#include "platform/RunError.h"
#include "platform/win32/Ownership.h"
#include "platform/win32/WinText.h"
#include "platform/win32/WriteAll.h"

namespace platform::files {

namespace {

// Replacing a result that another process holds for a moment (a second run, a virus
// scanner looking at a new file) is tried again for about this long.
constexpr DWORD ReplaceTriesFor = 1000;
constexpr DWORD ReplacePause = 50;

// The temporary name's most characters: "vel", two numbers of ten digits, ".tmp".
constexpr std::size_t TemporaryNameLength = 28;

// The path in the form that reaches any length: full, and where it or the temporary
// file beside it would pass MAX_PATH, with the "\\?\" prefix that lifts the limit.
std::wstring LongPathForm(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    if (full.size() + TemporaryNameLength < MAX_PATH || full.compare(0, 4, L"\\\\?\\") == 0) return full;
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// A temporary file of our own naming beside `target`, created new: no other run's.
win32::UniqueKernelHandle CreateTemporaryBeside(const std::wstring& target, std::wstring& temporary) {
    const std::wstring folder = target.substr(0, target.find_last_of(L'\\') + 1);
    const DWORD process = GetCurrentProcessId();
    for (DWORD attempt = 0;; ++attempt) {
        const DWORD stamp = GetTickCount() + attempt;
        temporary = folder + L"vel" + std::to_wstring(process) + L"-" + std::to_wstring(stamp) + L".tmp";
        // A plain file: the rename keeps its attributes, and the result is no temporary file.
        win32::UniqueKernelHandle file(
            CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file || GetLastError() != ERROR_FILE_EXISTS || attempt == 100) return file;
    }
}

bool HeldForAMoment(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Moves `temporary` over `target`, waiting out a holder that lets go within the bound.
bool Replace(const std::wstring& temporary, const std::wstring& target) {
    const DWORD started = GetTickCount();
    for (;;) {
        if (MoveFileExW(temporary.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD error = GetLastError();
        if (!HeldForAMoment(error) || GetTickCount() - started >= ReplaceTriesFor) {
            SetLastError(error);
            return false;
        }
        Sleep(ReplacePause);
    }
}

}  // namespace

void WriteWholeFile(const std::wstring& path, const std::wstring& text) {
    const std::wstring what = L"Writing the result to " + path;
    const std::wstring target = LongPathForm(path);
    std::wstring temporary;
    DWORD error = ERROR_SUCCESS;
    {
        const auto file = CreateTemporaryBeside(target, temporary);
        if (!file) win32::FailWithLastError(what);
        // Taken before the handle closes: closing it may set another.
        if (!win32::WriteAll(file.get(), win32::ToCodePage(text, CP_UTF8)) || !FlushFileBuffers(file.get())) {
            error = GetLastError();
        }
    }
    if (error == ERROR_SUCCESS && !Replace(temporary, target)) error = GetLastError();
    if (error != ERROR_SUCCESS) {
        DeleteFileW(temporary.c_str());
        Fail(static_cast<std::int32_t>(HRESULT_FROM_WIN32(error)), what);
    }
}

}  // namespace platform::files
