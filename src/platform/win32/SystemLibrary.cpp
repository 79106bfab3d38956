#include "platform/win32/SystemLibrary.h"

#include <map>
#include <string>

namespace platform::win32 {

HMODULE SystemLibrary(const wchar_t* fileName) {
    // Loaded libraries stay for the run; the process end releases them.
    static std::map<std::wstring, HMODULE> loaded;
    const auto known = loaded.find(fileName);
    if (known != loaded.end()) return known->second;

    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    HMODULE module = nullptr;
    if (length > 0 && length < MAX_PATH) {
        const std::wstring path = std::wstring(folder, length) + L"\\" + fileName;
        module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    loaded.emplace(fileName, module);
    return module;
}

}  // namespace platform::win32
