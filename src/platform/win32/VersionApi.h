#pragma once
// version.dll, reached at run time from the system folder rather than imported.
#include <windows.h>

namespace platform::win32::version {

using GetFileVersionInfoSizeAFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
using GetFileVersionInfoAFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
using VerQueryValueAFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
using VerQueryValueWFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

struct Api {
    GetFileVersionInfoSizeAFn GetFileVersionInfoSizeA = nullptr;
    GetFileVersionInfoAFn GetFileVersionInfoA = nullptr;
    VerQueryValueAFn VerQueryValueA = nullptr;
    VerQueryValueWFn VerQueryValueW = nullptr;
};

// Raises a RunError when version.dll or one of its functions cannot be found.
const Api& Functions();

}  // namespace platform::win32::version
