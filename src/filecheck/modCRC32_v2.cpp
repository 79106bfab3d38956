#include "filecheck/modCRC32_v2.h"

#include <vector>

#include "filecheck/Crc32Kernels.h"
#include "platform/FileReading.h"
#include "platform/Text.h"

namespace modCRC32_v2 {

namespace {
std::uint32_t Bits(std::int32_t value) { return static_cast<std::uint32_t>(value); }
std::int32_t Signed(std::uint32_t bits) { return static_cast<std::int32_t>(bits); }
}  // namespace

std::int32_t UpdateCRC32(std::int32_t crc, const std::uint8_t* bytes, std::size_t count) {
    return Signed(crc32table::ByteStep(Bits(crc), bytes, count));
}

FileCRC32 ReadFileCRC32(const std::wstring& path) {
    FileCRC32 read;
    std::int32_t crc = -1;
    const platform::file::UniqueFile file = platform::file::Open(path);
    if (!file) read.failure = ReadFailure{platform::file::LastFailure(), 0, false};
    // An empty file is not read; a size that cannot be had is read to find its end.
    if (file && platform::file::WholeSize(file.get()).value_or(1) != 0) {
        std::vector<std::uint8_t> buffer(ReadChunkSize);
        std::uint64_t total = 0;
        std::uint32_t delivered = 0;
        do {
            delivered = 0;
            if (platform::file::Read(file.get(), buffer.data(), ReadChunkSize, delivered)) {
                // The same register steps as UpdateCRC32, several bytes at a time.
                crc = Signed(crc32kernels::Update(Bits(crc), buffer.data(), delivered));
                total += delivered;
            } else {
                read.failure = ReadFailure{platform::file::LastFailure(), total, true};
            }
        } while (delivered == ReadChunkSize);
    }
    read.crc = ~crc;
    return read;
}

std::int32_t GetFileCRC32(const std::wstring& path) { return ReadFileCRC32(path).crc; }

std::wstring FormatCRC32Hex(std::int32_t crc) { return platform::text::Hex(Bits(crc), 8); }

std::wstring GetFileCRC32Hex(const std::wstring& path) { return FormatCRC32Hex(GetFileCRC32(path)); }

}  // namespace modCRC32_v2
