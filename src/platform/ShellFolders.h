#pragma once
// Shell path tests, the special-folder service and the hidden owner window it is given.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/UniqueAny.h"

namespace platform::shell {

struct WindowKind;
using WindowHandle = platform::Handle<WindowKind>;

// The shell's own numbers (Windows names them MAX_PATH, SHGFP_TYPE_DEFAULT and
// CSIDL_WINDOWS; those names are macros there, so they are spelt differently here).
constexpr std::size_t MaxPath = 260;
constexpr std::uint32_t FolderTypeDefault = 1;
constexpr std::int32_t CsidlWindows = 0x24;

int PathExists(const std::wstring& path);              // as PathFileExists: 1 when it is there
std::uint32_t PathIsFolder(const std::wstring& path);  // as PathIsDirectory: FILE_ATTRIBUTE_DIRECTORY or 0

// SHGetFolderPathA into a buffer that starts as `buffer` (converted to bytes);
// returns the buffer converted back to characters, whatever the service left there.
std::wstring GetFolderPath(WindowHandle owner, std::int32_t csidl, std::uint32_t flags, const std::wstring& buffer);

// A message-only window of our own, never shown: the given caption and the icon of
// the program's resource `iconId`. It lives until the process ends.
WindowHandle CreateHiddenWindow(const std::wstring& caption, int iconId);

}  // namespace platform::shell
