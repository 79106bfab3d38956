#include "platform/ErrorReport.h"

#include <windows.h>

#include <cwchar>

#include "platform/win32/SystemLibrary.h"

namespace platform {

namespace {

// The system's words for an error number; WMI's own numbers are described by wmiutils.dll.
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
    std::wstring description = length ? std::wstring(text, length) : L"The system has no description of this error.";
    LocalFree(text);
    while (!description.empty() && (description.back() == L'\n' || description.back() == L'\r')) description.pop_back();
    return description;
}

}  // namespace

void ReportRunError(const RunError& error) {
    wchar_t number[16] = {};
    std::swprintf(number, 16, L"0x%08lX", static_cast<unsigned long>(static_cast<std::uint32_t>(error.Number())));
    const std::wstring message = L"The check could not be finished.\n\nWhat failed: " + error.Description() +
                                 L"\nError " + number + L": " + SystemDescription(error.Number());
    MessageBoxW(nullptr, message.c_str(), L"Velmora", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void ShowMessage(const std::wstring& text, bool isError) {
    MessageBoxW(nullptr, text.c_str(), L"Velmora",
                MB_OK | MB_SETFOREGROUND | (isError ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace platform
