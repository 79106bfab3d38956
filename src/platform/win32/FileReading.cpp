#include "platform/FileReading.h"

#include <windows.h>

#include "platform/win32/WinText.h"

namespace platform::file {

namespace {
HANDLE AsHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle.value); }
}  // namespace

UniqueFile Open(const std::wstring& path) {
    HANDLE file =
        CreateFileA(win32::ToAnsi(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    return UniqueFile(Handle{reinterpret_cast<std::intptr_t>(file)});
}

std::uint32_t Size(Handle file) {
    DWORD high = 0;
    return GetFileSize(AsHandle(file), &high);
}

bool Read(Handle file, std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& delivered) {
    DWORD count = 0;
    const BOOL ok = ReadFile(AsHandle(file), buffer, capacity, &count, nullptr);
    delivered = ok ? count : 0;
    return ok != FALSE;
}

void Close(Handle file) { CloseHandle(AsHandle(file)); }

}  // namespace platform::file
