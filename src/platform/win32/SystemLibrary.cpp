#include "platform/win32/SystemLibrary.h"

#include <map>
#include <string>

namespace platform::win32 {

namespace {

// The libraries loaded so far, reached by the run's thread, the watchdog's and a
// crash's report, one at a time, and only for a lookup: loading happens outside the
// lock, so no thread ever waits on another inside the loader.
std::map<std::wstring, HMODULE> loaded;
volatile LONG owner = 0;  // the thread that holds the cache; 0: none

// Holds the cache for one thread: a spin, since a lookup takes no time and XP has no
// lock that needs no making. It knows its owner: a crash inside a lookup reports on
// the same thread, which then goes without the cache instead of waiting for itself.
class CacheLock {
public:
    CacheLock() : self_(static_cast<LONG>(GetCurrentThreadId())) {
        for (;;) {
            const LONG holder = InterlockedCompareExchange(&owner, self_, 0);
            if (holder == 0) break;
            if (holder == self_) return;  // this thread's own lookup, interrupted: not held
            Sleep(0);
        }
        held_ = true;
    }
    ~CacheLock() {
        if (held_) InterlockedExchange(&owner, 0);
    }
    bool Held() const { return held_; }
    CacheLock(const CacheLock&) = delete;
    CacheLock& operator=(const CacheLock&) = delete;
    CacheLock(CacheLock&&) = delete;
    CacheLock& operator=(CacheLock&&) = delete;

private:
    LONG self_;
    bool held_ = false;
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
    {
        const CacheLock lock;
        if (!lock.Held()) return nullptr;
        const auto known = loaded.find(fileName);
        if (known != loaded.end()) return known->second;
    }
    HMODULE module = LoadFromSystemFolder(fileName);
    const CacheLock lock;
    if (!lock.Held()) return module;
    // Another thread may have loaded it meanwhile: the first one found is kept, the
    // second load only counted once more.
    return loaded.emplace(fileName, module).first->second;
}

}  // namespace platform::win32
