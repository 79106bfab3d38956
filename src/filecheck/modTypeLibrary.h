#pragma once
// The control file's own type library, read from its bytes by our own bounded code:
// the PE resource TYPELIB (its first name, its first language), found by the shared
// walk of modPeFile, then the MSFT type library in it. Every offset, count and size
// is checked against the bytes before it is read, and the work is bounded by what a
// real control's library can hold.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "filecheck/modPeFile.h"

namespace modTypeLibrary {

// The platform a library is built for (SYSKIND), which names its registry key.
enum class SysKind : std::uint16_t { Win16 = 0, Win32 = 1, Mac = 2, Win64 = 3 };

struct TypeLibrary {
    std::wstring id;  // the LIBID, "{...}" in upper case
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    SysKind sysKind = SysKind::Win32;
    std::wstring name;  // the library's name, as its name table spells it
    // The CLSIDs of the coclasses it declares creatable, in its own order.
    std::vector<std::wstring> creatableClasses;
};

// The library, or why the file holds none that this check reads: which structure
// is damaged, or that the format is another.
struct Reading {
    std::optional<TypeLibrary> library;
    std::wstring reason;        // empty when there is a library
    bool readFailed = false;    // the file's bytes could not be read: it was not looked at
    std::uint16_t machine = 0;  // the processor the file is built for, where its headers were read
    bool olderFormat = false;   // a plain SLTG library: a type library, in the format this reading leaves aside
};

// The registry key of a library of this platform under TypeLib\{LIBID}\<version>\<lcid>:
// "win32", "win64", "win16", "mac".
const wchar_t* PlatformKey(SysKind sysKind);

// A type library larger than this is no control's.
constexpr std::uint32_t MaxLibrarySize = 64u << 20;

// Resource `resourceId` of type TYPELIB; 0: the first.
Reading ReadTypeLibrary(const modPeFile::Image& image, std::uint16_t resourceId = 0);
// A file that is a type library itself (a .tlb), not a program file holding one.
Reading ReadPlainTypeLibrary(const modPeFile::File& file);
// Over a whole file held in memory.
Reading ReadTypeLibrary(const std::vector<std::uint8_t>& file);
// The file at `path`, through the platform's byte reads.
Reading ReadFileTypeLibrary(const std::wstring& path);

}  // namespace modTypeLibrary
