#pragma once
// File reading port: open for sequential reading, size, chunked reads, close.
#include <cstdint>
#include <string>
#include <utility>

namespace platform::file {

using Handle = std::intptr_t;
constexpr Handle InvalidHandle = -1;

// CreateFileA(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING); InvalidHandle when it fails.
Handle Open(const std::wstring& path);
std::uint32_t Size(Handle file);  // low 32 bits of the size
// ReadFile: true on success, `delivered` set to the bytes read (0 when it fails).
bool Read(Handle file, std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& delivered);
void Close(Handle file);

// Owns an open file and closes it on every path.
class UniqueHandle {
public:
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, InvalidHandle)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, InvalidHandle);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != InvalidHandle; }
    void reset() noexcept {
        if (handle_ != InvalidHandle) Close(std::exchange(handle_, InvalidHandle));
    }

private:
    Handle handle_;
};

}  // namespace platform::file
