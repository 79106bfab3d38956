#pragma once
// CRC-32/ISO-HDLC of a whole file (reflected polynomial 0xEDB88320).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "filecheck/Crc32Table.h"

namespace modCRC32_v2 {

constexpr std::uint32_t ReadChunkSize = 512000;  // 500 x 1024 bytes per read

// The lookup table: 256 constants, fixed when the program is built.
inline constexpr const std::array<std::uint32_t, 256>& CRC32Table = crc32table::Table;

// The byte step over a run of bytes: one table lookup, a logical shift, two XORs.
std::int32_t UpdateCRC32(std::int32_t crc, const std::uint8_t* bytes, std::size_t count);
// 0 for an empty file and for one that cannot be opened.
std::int32_t GetFileCRC32(const std::wstring& path);

// Why a file was not read whole: the error number (an HRESULT) and where it stopped.
struct ReadFailure {
    std::int32_t number = 0;
    std::uint64_t bytesRead = 0;
    bool opened = false;  // false: it could not be opened at all
};
// The CRC as GetFileCRC32 gives it, and what stopped the read, if anything did.
struct FileCRC32 {
    std::int32_t crc = 0;
    std::optional<ReadFailure> failure;
};
FileCRC32 ReadFileCRC32(const std::wstring& path);
// Eight upper-case hexadecimal digits.
std::wstring GetFileCRC32Hex(const std::wstring& path);
std::wstring FormatCRC32Hex(std::int32_t crc);

}  // namespace modCRC32_v2
