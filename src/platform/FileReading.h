#pragma once
// File reading port: open for reading, size, chunked reads in order or at an offset, close.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/UniqueAny.h"

namespace platform::file {

struct FileKind;
using Handle = platform::Handle<FileKind>;
constexpr Handle InvalidHandle{-1};

void Close(Handle file);  // CloseHandle; UniqueFile calls it

struct FileTraits {
    using Value = Handle;
    static Value Invalid() noexcept { return InvalidHandle; }
    static bool IsValid(Value file) noexcept { return file != InvalidHandle; }
    static void Close(Value file) noexcept { file::Close(file); }
};
// An open file, closed when its owner goes.
using UniqueFile = UniqueAny<FileTraits>;

// CreateFileW(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING) of the file where it
// really is (see FileNames.h); empty when it fails.
UniqueFile Open(const std::wstring& path);
// Why the last Open, Read or ReadAt of this thread failed, as an HRESULT; asked at once.
std::int32_t LastFailure();
// ReadFile: true on success, `delivered` set to the bytes read (0 when it fails).
bool Read(Handle file, std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& delivered);

// GetFileSizeEx: the whole size, past 4 GiB too; nothing when it cannot be had.
std::optional<std::uint64_t> WholeSize(Handle file);
// ReadFile at `offset`: true only when all `count` bytes were read.
bool ReadAt(Handle file, std::uint64_t offset, std::uint8_t* buffer, std::uint32_t count);

}  // namespace platform::file
