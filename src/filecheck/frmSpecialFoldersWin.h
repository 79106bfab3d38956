#pragma once
// A window that is never shown; it owns the shell's special-folder requests.
#include "platform/ShellFolders.h"

class frmSpecialFoldersWin {
public:
    static frmSpecialFoldersWin& Instance();  // made on first use

    // Reading the handle loads the form: its window is made the first time.
    platform::shell::WindowHandle hWnd();

    static constexpr wchar_t Caption[] = L"Form1";

private:
    frmSpecialFoldersWin() = default;
    bool loaded_ = false;
    platform::shell::WindowHandle window_{};
};
