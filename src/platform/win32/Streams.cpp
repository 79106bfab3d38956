#include "platform/Streams.h"

#include <windows.h>

#include "platform/win32/WinText.h"
#include "platform/win32/WriteAll.h"

namespace platform::streams {

namespace {

// A standard handle the caller gave: one that names a file, a pipe or a console.
HANDLE CallerHandle(DWORD id) {
    HANDLE handle = GetStdHandle(id);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    return GetFileType(handle) == FILE_TYPE_UNKNOWN ? nullptr : handle;
}

struct CallerStreams {
    HANDLE output;
    HANDLE error;
};

const CallerStreams& Caller() {
    static const CallerStreams streams = {CallerHandle(STD_OUTPUT_HANDLE), CallerHandle(STD_ERROR_HANDLE)};
    return streams;
}

HANDLE HandleOf(Stream which) { return which == Stream::Output ? Caller().output : Caller().error; }

}  // namespace

bool Given(Stream which) { return HandleOf(which) != nullptr; }

void Write(Stream which, const std::wstring& text) {
    HANDLE handle = HandleOf(which);
    if (!handle) return;
    DWORD mode = 0;
    if (GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode)) {
        DWORD written = 0;  // a console of the caller's shows the text as it is
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    // A closed pipe only means that the caller stopped listening.
    win32::WriteAll(handle, win32::ToCodePage(text, CP_UTF8));
}

void WriteFixed(Stream which, const char* line) noexcept {
    HANDLE handle = HandleOf(which);
    if (!handle) return;
    DWORD written = 0;
    WriteFile(handle, line, lstrlenA(line), &written, nullptr);
}

}  // namespace platform::streams
