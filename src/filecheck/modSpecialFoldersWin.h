#pragma once
#include <cstdint>
#include <string>

namespace modSpecialFoldersWin {

constexpr std::size_t MAX_PATH = 260;
constexpr std::uint32_t SHGFP_TYPE_DEFAULT = 1;
constexpr std::int32_t CSIDL_WINDOWS = 36;

// The path with a "\" appended, unless it already ends in one.
std::wstring AddBackslash(const std::wstring& path);
// The folder's default path, empty when the shell reports none.
std::wstring GetSpecialFolder(std::int32_t csidl);

}  // namespace modSpecialFoldersWin
