#include "platform/AppInfo.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/RunError.h"
#include "platform/win32/Ownership.h"
#include "platform/win32/SystemLibrary.h"

namespace platform {

namespace {

// VerQueryValueW of version.dll, reached from the system folder at run time rather
// than imported. Only the program's own resource, which is trusted, is queried.
BOOL QueryValue(const std::vector<std::uint8_t>& block, const wchar_t* path, void** value, UINT* length) {
    using VerQueryValueWFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    static const auto query = win32::SystemFunction<VerQueryValueWFn>(L"version.dll", "VerQueryValueW");
    if (!query) {
        Fail(static_cast<std::int32_t>(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)),
             L"Loading version.dll from the system folder");
    }
    return query(block.data(), path, value, length);
}

// The program's own version resource, copied out so that it may be queried.
std::vector<std::uint8_t> OwnVersionBlock() {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16 /* RT_VERSION */));
    if (!found) win32::FailWithLastError(L"Finding the program's version resource");
    HGLOBAL loaded = LoadResource(self, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) win32::FailWithLastError(L"Loading the program's version resource");
    const DWORD size = SizeofResource(self, found);
    // Twice the size: the query may convert texts in a room behind the resource.
    std::vector<std::uint8_t> block(std::size_t{size} * 2, 0);
    std::memcpy(block.data(), data, size);
    return block;
}

std::wstring StringValue(const std::vector<std::uint8_t>& block, const std::wstring& table, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = L"\\StringFileInfo\\" + table + L"\\" + name;
    if (!QueryValue(block, path.c_str(), &value, &length) || !value) return {};
    return std::wstring(static_cast<const wchar_t*>(value));
}

std::wstring FirstStringTable(const std::vector<std::uint8_t>& block) {
    void* value = nullptr;
    UINT length = 0;
    if (QueryValue(block, L"\\VarFileInfo\\Translation", &value, &length) && value && length >= 4) {
        const auto* pair = static_cast<const WORD*>(value);
        wchar_t table[9] = {};
        wsprintfW(table, L"%04x%04x", pair[0], pair[1]);
        return table;
    }
    return L"040904b0";
}

AppInfo ReadAppInfo() {
    auto block = OwnVersionBlock();
    void* root = nullptr;
    UINT length = 0;
    if (!QueryValue(block, L"\\", &root, &length) || !root || length < sizeof(VS_FIXEDFILEINFO)) {
        Fail(static_cast<std::int32_t>(HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND)),
             L"Reading the program's version numbers");
    }
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, root, sizeof fixed);

    const auto table = FirstStringTable(block);
    AppInfo info;
    info.Title = StringValue(block, table, L"ProductName");
    info.CompanyName = StringValue(block, table, L"CompanyName");
    info.Major = static_cast<std::int16_t>(HIWORD(fixed.dwFileVersionMS));
    info.Minor = static_cast<std::int16_t>(LOWORD(fixed.dwFileVersionMS));
    info.Revision = static_cast<std::int16_t>(LOWORD(fixed.dwFileVersionLS));
    return info;
}

}  // namespace

const AppInfo& App() {
    static const AppInfo info = ReadAppInfo();
    return info;
}

}  // namespace platform
