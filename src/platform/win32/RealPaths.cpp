#include "platform/win32/RealPaths.h"

#include "platform/FileNames.h"

namespace platform::win32 {

namespace {

// A path from here on needs "\\?\": CreateDirectoryW's bound, the lowest of the file functions'.
constexpr std::size_t LongPath = MAX_PATH - 12;

using DisableFn = BOOL(WINAPI*)(PVOID*);
using RevertFn = BOOL(WINAPI*)(PVOID);

// The redirector's switch, where there is a redirector: a 32-bit program on 64-bit
// Windows. Windows XP x64 and later have both functions; 32-bit Windows has neither.
struct Redirector {
    DisableFn disable = nullptr;
    RevertFn revert = nullptr;

    Redirector() {
        BOOL wow64 = FALSE;
        if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) return;
        const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        disable = reinterpret_cast<DisableFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")));
        revert = reinterpret_cast<RevertFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")));
        if (!disable || !revert) {
            disable = nullptr;
            revert = nullptr;
        }
    }
};

const Redirector& TheRedirector() {
    static const Redirector redirector;
    return redirector;
}

}  // namespace

std::wstring ExtendedPath(const std::wstring& path) {
    if (path.size() < LongPath || path.rfind(L"\\\\?\\", 0) == 0) return path;
    // "\\?\" takes the path as it stands: it is made full first.
    const std::wstring full = filenames::FullPath(path);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

RealFileSystem::RealFileSystem() {
    const auto& redirector = TheRedirector();
    off_ = redirector.disable && redirector.disable(&old_);
}

RealFileSystem::~RealFileSystem() {
    if (!off_) return;
    const DWORD error = GetLastError();
    TheRedirector().revert(old_);
    SetLastError(error);
}

}  // namespace platform::win32
