#pragma once
// The file version a file's version resource records, as text a.b.c.d. It is read
// from the file's bytes by our own bounded reader (the version resource's root block
// and its fixed file information), never by a system parser: a damaged file reads as
// one without a version.
#include <cstdint>
#include <string>

#include "filecheck/modPeFile.h"

namespace modFileVersion {

constexpr std::size_t FixedFileInfoSize = 52;  // VS_FIXEDFILEINFO

// The empty text when the file has no version information or it cannot be read.
std::wstring GetFileVersion(const std::wstring& path);
// The same over a file's image.
std::wstring ReadFileVersion(const modPeFile::Image& image);
std::wstring FormatFileVersion(std::uint16_t major, std::uint16_t minor, std::uint16_t build, std::uint16_t revision);

}  // namespace modFileVersion
