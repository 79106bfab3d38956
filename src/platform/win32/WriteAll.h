#pragma once
// Writing all of a run of bytes to a file or pipe handle.
#include <windows.h>

#include <string>

namespace platform::win32 {

// False when a write fails or writes nothing (a pipe whose reader is gone).
inline bool WriteAll(HANDLE handle, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace platform::win32
