/* A control for bench/quiet-run.sh: the stand-ins' type library and version (through
 * tests/controlfiles/ControlDll.rc) and ten DLLs it needs, one function of each, as
 * a real control needs Windows' own. Built without the C runtime. */
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

BOOL WINAPI ControlDllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

/* Never called: each reference makes an import. */
__attribute__((dllexport)) void WINAPI VelmoraBenchNeeds(void) {
    DWORD handle = 0;
    (void)GetTickCount();
    (void)GetDC(NULL);
    (void)GetStockObject(WHITE_BRUSH);
    (void)RegCloseKey(NULL);
    (void)CoInitialize(NULL);
    SysFreeString(NULL);
    (void)SHGetFolderPathW(NULL, 0, NULL, 0, NULL);
    InitCommonControls();
    (void)GetOpenFileNameW(NULL);
    (void)GetFileVersionInfoSizeW(L"", &handle);
}
