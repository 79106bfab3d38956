/* Another control than MsComCtl.OCX, for /control: the stand-in's code and resources,
 * and one import of a DLL that no machine has, so that it does not load. */
#include <windows.h>

__declspec(dllimport) void VelmoraMissingHelper(void);

__attribute__((dllexport)) void WINAPI VelmoraGridUsesHelper(void) { VelmoraMissingHelper(); }
