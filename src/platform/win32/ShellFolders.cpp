#include "platform/ShellFolders.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/RunError.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/WinText.h"

namespace platform::shell {

namespace {

// shlwapi.dll is no KnownDLL on Windows XP, so an import of it would be looked for
// beside the program first. It is loaded from the system folder by full path instead.
using PathTestFn = BOOL(WINAPI*)(LPCSTR);

PathTestFn PathTest(const char* name) {
    const auto function = win32::SystemFunction<PathTestFn>(L"shlwapi.dll", name);
    if (!function) {
        Fail(static_cast<std::int32_t>(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)),
             L"Loading shlwapi.dll from the system folder");
    }
    return function;
}

}  // namespace

static_assert(MaxPath == MAX_PATH && FolderTypeDefault == SHGFP_TYPE_DEFAULT && CsidlWindows == CSIDL_WINDOWS,
              "the shell's numbers");

int PathExists(const std::wstring& path) {
    static const auto pathFileExists = PathTest("PathFileExistsA");
    return pathFileExists(win32::ToAnsi(path).c_str());
}

std::uint32_t PathIsFolder(const std::wstring& path) {
    static const auto pathIsDirectory = PathTest("PathIsDirectoryA");
    return static_cast<std::uint32_t>(pathIsDirectory(win32::ToAnsi(path).c_str()));
}

std::wstring GetFolderPath(WindowHandle owner, std::int32_t csidl, std::uint32_t flags, const std::wstring& buffer) {
    std::string bytes = win32::ToAnsi(buffer);
    bytes.resize(MAX_PATH > bytes.size() ? MAX_PATH : bytes.size(), ' ');
    // The service leaves an empty path when it has none; make sure of that even
    // where a failing call leaves the buffer as it was.
    if (FAILED(SHGetFolderPathA(reinterpret_cast<HWND>(owner.value), csidl, nullptr, flags, bytes.data()))) {
        bytes[0] = '\0';
    }
    return win32::FromAnsi(bytes);
}

WindowHandle CreateHiddenWindow(const std::wstring& caption, int iconId) {
    static constexpr wchar_t ClassName[] = L"VelmoraHiddenForm";
    HINSTANCE self = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = self;
    windowClass.hIcon = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(iconId), IMAGE_ICON, 48, 48, 0));
    windowClass.lpszClassName = ClassName;
    RegisterClassExW(&windowClass);
    // Message-only: never shown, and no broadcast to the top-level windows waits on
    // this thread, which pumps no messages.
    HWND window = CreateWindowExW(0, ClassName, caption.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, self, nullptr);
    return WindowHandle{reinterpret_cast<std::intptr_t>(window)};
}

}  // namespace platform::shell
