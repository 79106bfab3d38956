#include "platform/win32/SystemLibrary.h"

#include <map>
#include <string>

namespace platform::win32 {

namespace {

// The libraries loaded so far. Made before the program's first thread starts, and
// reached by the run's thread and the watchdog's, one at a time.
std::map<std::wstring, HMODULE> loaded;
volatile LONG busy = 0;

// Holds the cache for one thread: a spin, since a lookup takes no time and XP has
// no lock that needs no making.
class CacheLock {
public:
    CacheLock() {
        while (InterlockedCompareExchange(&busy, 1, 0) != 0) Sleep(0);
    }
    ~CacheLock() { InterlockedExchange(&busy, 0); }
    CacheLock(const CacheLock&) = delete;
    CacheLock& operator=(const CacheLock&) = delete;
    CacheLock(CacheLock&&) = delete;
    CacheLock& operator=(CacheLock&&) = delete;
};

HMODULE LoadFromSystemFolder(const wchar_t* fileName) {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\" + fileName;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

HMODULE SystemLibrary(const wchar_t* fileName) {
    // Loaded libraries stay for the run; the process end releases them.
    const CacheLock lock;
    const auto known = loaded.find(fileName);
    if (known != loaded.end()) return known->second;
    HMODULE module = LoadFromSystemFolder(fileName);
    loaded.emplace(fileName, module);
    return module;
}

}  // namespace platform::win32
