#include "filecheck/frmSpecialFoldersWin.h"

frmSpecialFoldersWin& frmSpecialFoldersWin::Instance() {
    static frmSpecialFoldersWin form;
    return form;
}

platform::shell::WindowHandle frmSpecialFoldersWin::hWnd() {
    if (!loaded_) {
        window_ = platform::shell::CreateHiddenWindow(Caption);
        loaded_ = true;
    }
    return window_;
}
