#pragma once
#include <windows.h>

namespace platform::win32 {

// A DLL from the system folder by full path, loaded once and kept for the run, so a
// copy planted beside the program is never used. Null when it cannot be loaded.
HMODULE SystemLibrary(const wchar_t* fileName);

// An export of a system DLL as the function type the caller names; null when absent.
template <class Function>
Function SystemFunction(const wchar_t* fileName, const char* name) {
    HMODULE module = SystemLibrary(fileName);
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace platform::win32
