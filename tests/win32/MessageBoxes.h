#pragma once
// The message boxes the program shows, as a test finds them: the dialog window
// (class #32770) of a process, its title, its text, and its OK button. The Windows
// tests and the end-to-end harness both read them through here.
#include <windows.h>

#include <string>

namespace velmora_test {

inline std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    const int length = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

inline std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

struct BoxSearch {
    DWORD process;
    const wchar_t* title;
    HWND found;
};

inline BOOL CALLBACK KeepMessageBox(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<BoxSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.process || ClassOf(window) != L"#32770" || !IsWindowVisible(window)) return TRUE;
    if (search.title && WindowText(window) != search.title) return TRUE;
    search.found = window;
    return FALSE;
}

// The visible message box of `process` (titled `title`, when given); null when none.
inline HWND FindMessageBox(DWORD process, const wchar_t* title = nullptr) {
    BoxSearch search{process, title, nullptr};
    EnumWindows(KeepMessageBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline BOOL CALLBACK CollectStaticText(HWND child, LPARAM data) {
    auto& collected = *reinterpret_cast<std::wstring*>(data);
    if (lstrcmpiW(ClassOf(child).c_str(), L"Static") == 0) {
        const auto text = WindowText(child);
        if (!text.empty()) collected += (collected.empty() ? L"" : L"\n") + text;
    }
    return TRUE;
}

// The box's message: the text of its static controls (the icon's has none).
inline std::wstring MessageBoxText(HWND box) {
    std::wstring text;
    EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&text));
    return text;
}

inline void PressOk(HWND box) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
}

}  // namespace velmora_test
