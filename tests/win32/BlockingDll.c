/* A DLL whose loading never ends: its entry point waits forever, inside the loader. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) Sleep(INFINITE);
    return TRUE;
}
