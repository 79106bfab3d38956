// The program's entry: a window-subsystem process that opens its own console.
#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <new>
#include <string>
#include <vector>

#include "platform/Entry.h"
#include "platform/Process.h"
#include "platform/UniqueAny.h"
#include "platform/win32/WinText.h"

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

// CommandLineToArgvW's list, freed with LocalFree.
struct ArgumentListTraits {
    using Value = wchar_t**;
    static Value Invalid() noexcept { return nullptr; }
    static bool IsValid(Value list) noexcept { return list != nullptr; }
    static void Close(Value list) noexcept { LocalFree(list); }
};

// The arguments after the program's name, split as Windows splits them.
std::vector<std::wstring> Arguments() {
    int count = 0;
    const platform::UniqueAny<ArgumentListTraits> list(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::wstring> arguments;
    for (int i = 1; list && i < count; ++i) arguments.emplace_back(list.get()[i]);
    return arguments;
}

// Whatever escapes the run, told the way the program tells its own errors.
std::uint32_t RunAndReport() {
    using platform::entry::ReportRunFailure;
    try {
        platform::entry::RunProgram(Arguments());
    } catch (const platform::RunError& failure) {
        return ReportRunFailure(failure);
    } catch (const std::bad_alloc&) {
        return ReportRunFailure(platform::RunError(static_cast<std::int32_t>(E_OUTOFMEMORY), L"Allocating memory"));
    } catch (const std::exception& unexpected) {
        return ReportRunFailure(
            platform::RunError(static_cast<std::int32_t>(E_UNEXPECTED),
                               L"An unexpected error: " + platform::win32::FromAnsi(unexpected.what())));
    } catch (...) {
        return ReportRunFailure(platform::RunError(static_cast<std::int32_t>(E_UNEXPECTED), L"An unknown error"));
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    KeepDllSearchToSystemFolders();
    platform::process::EndNow(RunAndReport());
}
