#pragma once
#include <string>

namespace modFileDirExists_v2 {

// True when the path names an existing object that is no directory.
bool FileExists(const std::wstring& path);

}  // namespace modFileDirExists_v2
