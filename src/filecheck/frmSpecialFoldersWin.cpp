#include "filecheck/frmSpecialFoldersWin.h"

#include "res/resource.h"

frmSpecialFoldersWin& frmSpecialFoldersWin::Instance() {
    static frmSpecialFoldersWin form;
    return form;
}

platform::shell::WindowHandle frmSpecialFoldersWin::hWnd() {
    if (!loaded_) {
        window_ = platform::shell::CreateHiddenWindow(Caption, IDI_VELMORA);  // it carries the program's icon
        loaded_ = true;
    }
    return window_;
}
