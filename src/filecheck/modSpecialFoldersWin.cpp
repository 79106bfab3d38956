#include "filecheck/modSpecialFoldersWin.h"

#include "filecheck/frmSpecialFoldersWin.h"
#include "platform/ShellFolders.h"

namespace modSpecialFoldersWin {

std::wstring AddBackslash(const std::wstring& path) {
    if (!path.empty() && path.back() == L'\\') return path;
    return path + L'\\';
}

std::wstring GetSpecialFolder(std::int32_t csidl) {
    const std::wstring buffer(MAX_PATH, L' ');
    const auto owner = frmSpecialFoldersWin::Instance().hWnd();
    const auto answer = platform::shell::GetFolderPath(owner, csidl, SHGFP_TYPE_DEFAULT, buffer);
    // The service writes a NUL-terminated path, or an empty one on failure.
    return answer.substr(0, answer.find(L'\0'));
}

}  // namespace modSpecialFoldersWin
