#include "platform/Console.h"

#include <windows.h>

#include "platform/win32/WinText.h"

namespace platform::console {

namespace {
HANDLE AsHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle.value); }
}  // namespace

void Open() { AllocConsole(); }

void LetGo() { FreeConsole(); }

void SetTitle(const std::wstring& title) {
    // The console reads an ANSI-function title in its own code page (Windows: the input
    // one, Wine: the output one; they are the same unless a program changes one).
    SetConsoleTitleA(win32::ToCodePage(title, GetConsoleCP()).c_str());
}

Handle GetStd(StdHandle which) {
    const DWORD id = which == StdHandle::Input    ? STD_INPUT_HANDLE
                     : which == StdHandle::Output ? STD_OUTPUT_HANDLE
                                                  : STD_ERROR_HANDLE;
    return Handle{reinterpret_cast<std::intptr_t>(GetStdHandle(id))};
}

void Write(Handle output, const std::wstring& text) {
    // The console shows bytes in its output code page, not the ANSI one.
    const std::string bytes = win32::ToCodePage(text, GetConsoleOutputCP());
    DWORD written = 0;
    WriteConsoleA(AsHandle(output), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring ReadBuffer(Handle input, std::size_t byteCount) {
    std::string buffer(byteCount, '\0');
    DWORD read = 0;
    ReadConsoleA(AsHandle(input), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr);
    return win32::FromCodePage(buffer, GetConsoleCP());
}

}  // namespace platform::console
