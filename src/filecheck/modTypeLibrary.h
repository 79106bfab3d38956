#pragma once
// The control file's own type library, read from its bytes by our own bounded code:
// the PE resource TYPELIB (its first name, its first language), then the MSFT type
// library in it. A damaged file is what this program is run on, so every offset,
// count and size is checked against the bytes before it is read, the work is bounded
// by the file's size, and no byte of the file reaches a system parser.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace modTypeLibrary {

struct TypeLibrary {
    std::wstring id;  // the LIBID, "{...}" in upper case
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::wstring name;  // the library's name, as its name table spells it
    // The CLSIDs of the coclasses it declares creatable, in its own order.
    std::vector<std::wstring> creatableClasses;
};

// The library, or why the file holds none that this check reads: which structure
// is damaged, or that the format is another.
struct Reading {
    std::optional<TypeLibrary> library;
    std::wstring reason;  // empty when there is a library
};

// The file's bytes from `offset`: true when all `count` of them were read.
using ReadAt = std::function<bool(std::uint64_t offset, std::uint8_t* into, std::size_t count)>;

// A type library larger than this is no control's.
constexpr std::uint64_t MaxLibrarySize = 64u << 20;

Reading ReadTypeLibrary(std::uint64_t fileSize, const ReadAt& read);
// Over a whole file held in memory.
Reading ReadTypeLibrary(const std::vector<std::uint8_t>& file);
// The file at `path`, through the platform's byte reads.
Reading ReadFileTypeLibrary(const std::wstring& path);

}  // namespace modTypeLibrary
