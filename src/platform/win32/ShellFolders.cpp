#include "platform/ShellFolders.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/RunError.h"
#include "platform/win32/RealPaths.h"
#include "platform/win32/WinText.h"

namespace platform::shell {

static_assert(MaxPath == MAX_PATH && FolderTypeDefault == SHGFP_TYPE_DEFAULT && CsidlWindows == CSIDL_WINDOWS,
              "the shell's numbers");

namespace {

DWORD AttributesOf(const std::wstring& path) {
    const std::wstring extended = win32::ExtendedPath(path);
    const win32::RealFileSystem real;
    return GetFileAttributesW(extended.c_str());
}

}  // namespace

// The shell's answers, read from the file's attributes through the wide call: shlwapi's
// tests take a name only as the ANSI code page spells it, and none past MAX_PATH.
int PathExists(const std::wstring& path) { return AttributesOf(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0; }

std::uint32_t PathIsFolder(const std::wstring& path) {
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES ? (attributes & FILE_ATTRIBUTE_DIRECTORY) : 0;
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
