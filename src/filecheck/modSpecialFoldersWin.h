#pragma once
#include <cstdint>
#include <string>

#include "platform/FileNames.h"

namespace modSpecialFoldersWin {

// The path with a "\" appended, unless it already ends in one.
using platform::filenames::AddBackslash;
// The folder's default path, empty when the shell reports none; `csidl` is a shell
// folder number such as platform::shell::CsidlWindows.
std::wstring GetSpecialFolder(std::int32_t csidl);
// The Windows folder; a run fails without it: every path below it would be relative
// to the current drive.
std::wstring WindowsFolder();

}  // namespace modSpecialFoldersWin
