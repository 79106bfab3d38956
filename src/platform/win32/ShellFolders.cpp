#include "platform/ShellFolders.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "platform/win32/WinText.h"
#include "res/resource.h"

namespace platform::shell {

int PathExists(const std::wstring& path) { return PathFileExistsA(win32::ToAnsi(path).c_str()); }

std::uint32_t PathIsFolder(const std::wstring& path) {
    return static_cast<std::uint32_t>(PathIsDirectoryA(win32::ToAnsi(path).c_str()));
}

std::wstring GetFolderPath(WindowHandle owner, std::int32_t csidl, std::uint32_t flags, const std::wstring& buffer) {
    std::string bytes = win32::ToAnsi(buffer);
    bytes.resize(MAX_PATH > bytes.size() ? MAX_PATH : bytes.size(), ' ');
    // The service leaves an empty path when it has none; make sure of that even
    // where a failing call leaves the buffer as it was.
    if (FAILED(SHGetFolderPathA(reinterpret_cast<HWND>(owner), csidl, nullptr, flags, bytes.data()))) bytes[0] = '\0';
    return win32::FromAnsi(bytes);
}

WindowHandle CreateHiddenWindow(const std::wstring& caption) {
    static constexpr wchar_t ClassName[] = L"VelmoraHiddenForm";
    HINSTANCE self = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = self;
    windowClass.hIcon = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(IDI_VELMORA), IMAGE_ICON, 48, 48, 0));
    windowClass.lpszClassName = ClassName;
    RegisterClassExW(&windowClass);
    // Made, never shown: WS_VISIBLE is not among the styles.
    HWND window = CreateWindowExW(0, ClassName, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, self, nullptr);
    return reinterpret_cast<WindowHandle>(window);
}

}  // namespace platform::shell
