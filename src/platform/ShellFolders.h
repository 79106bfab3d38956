#pragma once
// Shell path tests, the special-folder service and the hidden owner window it is given.
#include <cstdint>
#include <string>

namespace platform::shell {

using WindowHandle = std::intptr_t;

int PathExists(const std::wstring& path);              // PathFileExistsA
std::uint32_t PathIsFolder(const std::wstring& path);  // PathIsDirectoryA

// SHGetFolderPathA into a buffer that starts as `buffer` (converted to bytes);
// returns the buffer converted back to characters, whatever the service left there.
std::wstring GetFolderPath(WindowHandle owner, std::int32_t csidl, std::uint32_t flags, const std::wstring& buffer);

// A window of our own that is never shown: the given caption, the program's icon.
// It lives until the process ends.
WindowHandle CreateHiddenWindow(const std::wstring& caption);

}  // namespace platform::shell
