#include "filecheck/modSpecialFoldersWin.h"

#include "filecheck/frmSpecialFoldersWin.h"
#include "platform/RunError.h"

namespace modSpecialFoldersWin {

namespace shell = platform::shell;

std::wstring GetSpecialFolder(std::int32_t csidl) {
    const std::wstring buffer(shell::MaxPath, L' ');
    const auto owner = frmSpecialFoldersWin::Instance().hWnd();
    const auto answer = shell::GetFolderPath(owner, csidl, shell::FolderTypeDefault, buffer);
    // The service writes a NUL-terminated path, or an empty one on failure.
    return answer.substr(0, answer.find(L'\0'));
}

std::wstring WindowsFolder() {
    auto folder = GetSpecialFolder(shell::CsidlWindows);
    if (folder.empty()) platform::Fail(platform::errors::PathNotFound, L"Finding the Windows folder");
    return folder;
}

}  // namespace modSpecialFoldersWin
