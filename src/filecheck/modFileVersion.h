#pragma once
// The file version a file's version resource records, as text a.b.c.d.
#include <cstdint>
#include <string>
#include <vector>

namespace modFileVersion {

constexpr std::size_t FixedFileInfoSize = 52;  // VS_FIXEDFILEINFO

// The empty text when the file has no version information or it cannot be read.
std::wstring GetFileVersion(const std::wstring& path);
std::wstring FormatFileVersion(std::uint16_t major, std::uint16_t minor, std::uint16_t build, std::uint16_t revision);
// The file version from the fixed file information at `offset` in `block`, which the
// root query reported `length` bytes long; empty when that record is not wholly inside.
std::wstring FileVersionFromBlock(const std::vector<std::uint8_t>& block, std::ptrdiff_t offset, std::uint32_t length);

}  // namespace modFileVersion
