/* The code of the stand-in control files: an entry point that accepts every
 * notification and one export that does nothing.  Built without the C runtime,
 * so the image is small and holds nothing but this and the resources. */
#include <windows.h>

BOOL WINAPI ControlDllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

__attribute__((dllexport)) void WINAPI VelmoraControlNoOp(void) {}
