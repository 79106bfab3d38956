// The program's entry: a window-subsystem process that opens its own console.
#include <windows.h>

#include <exception>
#include <new>

#include "app/modVelmora.h"
#include "platform/ErrorReport.h"
#include "platform/Process.h"

namespace {

// A program run from a Downloads folder must not pick up DLLs planted beside it.
void KeepDllSearchToSystemFolders() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryWFn = BOOL(WINAPI*)(LPCWSTR);
    constexpr DWORD SearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    if (auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))) {
        setDefault(SearchSystem32);
    }
    if (auto setDirectory =
            reinterpret_cast<SetDllDirectoryWFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")))) {
        setDirectory(L"");  // drops the current folder from the search
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    KeepDllSearchToSystemFolders();
    const auto error = static_cast<std::uint32_t>(modVelmora::ExitStatus::Error);
    try {
        modVelmora::Main();
    } catch (const platform::RunError& failure) {
        platform::ReportRunError(failure);
    } catch (const std::bad_alloc&) {
        platform::ReportRunError(platform::RunError(static_cast<std::int32_t>(E_OUTOFMEMORY), L"Allocating memory"));
    }
    platform::process::EndNow(error);
}
