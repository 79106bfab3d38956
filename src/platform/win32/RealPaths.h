#pragma once
// Paths as the wide file functions take them: "\\?\" before a full path past
// MAX_PATH, and the real file system whatever the program's own bitness.
#include <windows.h>

#include <string>

namespace platform::win32 {

// The path a wide file function opens whatever its length.
std::wstring ExtendedPath(const std::wstring& path);

// The file-system redirector off on this thread while this object lives (a 32-bit
// program on 64-bit Windows would see SysWOW64 where a path names System32): the
// logic names files where they really are. It keeps the last error across its end.
// No DLL may be loaded while it lives: the loader would look in the wrong folder.
class RealFileSystem {
public:
    RealFileSystem();
    ~RealFileSystem();
    RealFileSystem(const RealFileSystem&) = delete;
    RealFileSystem& operator=(const RealFileSystem&) = delete;
    RealFileSystem(RealFileSystem&&) = delete;
    RealFileSystem& operator=(RealFileSystem&&) = delete;

private:
    void* old_ = nullptr;
    bool off_ = false;
};

}  // namespace platform::win32
