#include "filecheck/modFileDirExists_v2.h"

#include "platform/ShellFolders.h"

namespace modFileDirExists_v2 {

bool FileExists(const std::wstring& path) {
    // Only an answer of exactly 1 means "exists"; the folder test runs only then.
    if (platform::shell::PathExists(path) != 1) return false;
    return platform::shell::PathIsFolder(path) == 0;
}

}  // namespace modFileDirExists_v2
