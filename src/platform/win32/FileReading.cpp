#include "platform/FileReading.h"

#include <windows.h>

#include "platform/win32/RealPaths.h"

namespace platform::file {

namespace {
HANDLE AsHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle.value); }
}  // namespace

UniqueFile Open(const std::wstring& path) {
    // The wide call: a name the ANSI code page lacks, or one past MAX_PATH, is still a name.
    const std::wstring extended = win32::ExtendedPath(path);
    const win32::RealFileSystem real;
    HANDLE file = CreateFileW(extended.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    return UniqueFile(Handle{reinterpret_cast<std::intptr_t>(file)});
}

bool Read(Handle file, std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& delivered) {
    DWORD count = 0;
    const BOOL ok = ReadFile(AsHandle(file), buffer, capacity, &count, nullptr);
    delivered = ok ? count : 0;
    return ok != FALSE;
}

std::optional<std::uint64_t> WholeSize(Handle file) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(AsHandle(file), &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool ReadAt(Handle file, std::uint64_t offset, std::uint8_t* buffer, std::uint32_t count) {
    while (count > 0) {
        // A position in OVERLAPPED reads a synchronous handle there, on every Windows.
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD delivered = 0;
        if (!ReadFile(AsHandle(file), buffer, count, &delivered, &at) || delivered == 0) return false;
        offset += delivered;
        buffer += delivered;
        count -= delivered;
    }
    return true;
}

std::int32_t LastFailure() { return static_cast<std::int32_t>(HRESULT_FROM_WIN32(GetLastError())); }

void Close(Handle file) { CloseHandle(AsHandle(file)); }

}  // namespace platform::file
