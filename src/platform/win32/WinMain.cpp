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

constexpr UINT ErrorExitCode = 3;  // the program's "an error ended the run"

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

// The file name of the module that holds `address`, in `path`: no heap work.
const wchar_t* ModuleOf(void* address, wchar_t (&path)[MAX_PATH]) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module) ||
        GetModuleFileNameW(module, path, MAX_PATH) == 0) {
        return L"an unknown module";
    }
    path[MAX_PATH - 1] = L'\0';
    const wchar_t* name = path;
    for (const wchar_t* ch = path; *ch; ++ch) {
        if (*ch == L'\\' || *ch == L'/') name = ch + 1;
    }
    return name;
}

// A crash on any thread: told once, by the first thread that crashed, and the process
// ends with the program's code for it, never the exception's. Nothing is allocated
// before the crash holds the end. A crash while telling one ends the process at once;
// a crash on another thread meanwhile waits, and so does one while another thread
// writes the result it claimed the end for.
LONG WINAPI TellCrash(EXCEPTION_POINTERS* crash) {
    static volatile LONG teller = 0;
    const auto self = static_cast<LONG>(GetCurrentThreadId());
    const LONG first = InterlockedCompareExchange(&teller, self, 0);
    if (first == self) TerminateProcess(GetCurrentProcess(), ErrorExitCode);
    if (first != 0) platform::process::WaitToBeEnded();
    const auto claim = platform::entry::ClaimCrash();
    using Action = platform::entry::CrashClaim::Action;
    if (claim.action == Action::Wait) {
        InterlockedExchange(&teller, 0);  // the claimant may yet crash itself, and tell it
        platform::process::WaitToBeEnded();
    }
    if (claim.action == Action::EndWith) TerminateProcess(GetCurrentProcess(), claim.exitCode);
    static wchar_t path[MAX_PATH];
    const auto* record = crash->ExceptionRecord;
    TerminateProcess(GetCurrentProcess(),
                     platform::entry::ReportCrash(record->ExceptionCode, ModuleOf(record->ExceptionAddress, path)));
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // No crash dialog and no critical-error box: a crash is told by the program itself.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(&TellCrash);
    KeepDllSearchToSystemFolders();
    platform::process::EndNow(RunAndReport());
}
