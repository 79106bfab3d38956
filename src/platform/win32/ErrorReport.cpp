#include "platform/ErrorReport.h"

#include <windows.h>

#include "platform/win32/SystemLibrary.h"

namespace platform {

std::wstring SystemDescription(std::int32_t number) {
    const auto code = static_cast<DWORD>(number);
    wchar_t* text = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0) {
        if (HMODULE wmi = win32::SystemLibrary(L"wbem\\wmiutils.dll")) {
            length = FormatMessageW(
                FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, wmi, code,
                0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        }
    }
    std::wstring description = length ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    while (!description.empty() && (description.back() == L'\n' || description.back() == L'\r')) description.pop_back();
    return description;
}

void PrepareSystemDescriptions() { win32::SystemLibrary(L"wbem\\wmiutils.dll"); }

void ShowMessage(const std::wstring& title, const std::wstring& text, bool isError) {
    MessageBoxW(nullptr, text.c_str(), title.c_str(),
                MB_OK | MB_SETFOREGROUND | (isError ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace platform
