#pragma once
#include <cstdint>
#include <string>

namespace modSpecialFoldersWin {

// The path with a "\" appended, unless it already ends in one.
std::wstring AddBackslash(const std::wstring& path);
// The folder's default path, empty when the shell reports none; `csidl` is a shell
// folder number such as platform::shell::CsidlWindows.
std::wstring GetSpecialFolder(std::int32_t csidl);

}  // namespace modSpecialFoldersWin
