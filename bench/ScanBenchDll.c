/* A registered file for bench/scan.sh: a DLL that needs five of Windows' own DLLs,
 * one function of each, as an in-process server does. Built without the C runtime. */
#include <windows.h>
#include <objbase.h>

BOOL WINAPI ScanBenchEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

/* Never called: each reference makes an import. */
__attribute__((dllexport)) void WINAPI VelmoraScanBenchNeeds(void) {
    (void)GetTickCount();
    (void)GetDC(NULL);
    (void)GetStockObject(WHITE_BRUSH);
    (void)RegCloseKey(NULL);
    (void)CoInitialize(NULL);
}
