#include "platform/FileWriting.h"

#include <windows.h>

#include "platform/RunError.h"
#include "platform/win32/Ownership.h"
#include "platform/win32/WinText.h"
#include "platform/win32/WriteAll.h"

namespace platform::files {

namespace {

// The folder a path names its file in; "." for a bare file name.
std::wstring FolderOf(const std::wstring& path) {
    const auto separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return L".";
    return separator == 0 ? path.substr(0, 1) : path.substr(0, separator);
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    const win32::UniqueKernelHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && win32::WriteAll(file.get(), bytes) && FlushFileBuffers(file.get()) != FALSE;
}

}  // namespace

void WriteWholeFile(const std::wstring& path, const std::wstring& text) {
    const std::wstring what = L"Writing the result to " + path;
    wchar_t temporary[MAX_PATH] = {};
    if (!GetTempFileNameW(FolderOf(path).c_str(), L"vel", 0, temporary)) win32::FailWithLastError(what);
    if (!WriteFileBytes(temporary, win32::ToCodePage(text, CP_UTF8)) ||
        !MoveFileExW(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary);
        Fail(static_cast<std::int32_t>(HRESULT_FROM_WIN32(error)), what);
    }
}

}  // namespace platform::files
