// A program that imports what Windows XP lacks and a DLL the program must not import:
// CheckImports.cmake must report exactly these. Built, never run.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <wchar.h>
#include <winver.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    SRWLOCK lock;
    InitializeSRWLock(&lock);
    const ULONGLONG ticks = GetTickCount64();
    const BOOLEAN linked = CreateSymbolicLinkW(L"probe-link", L"probe-target", 0);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(L"probe.dll", &handle);
    wchar_t text[8] = {};
    wcscpy_s(text, 8, L"probe");
    return static_cast<int>(ticks + linked + size + text[0]);
}
