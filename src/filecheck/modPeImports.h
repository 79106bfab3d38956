#pragma once
// The DLLs a program file imports, and what it asks of each: its import table, which
// the loader resolves when it loads the file, and its delay-import table, whose DLLs
// are loaded only when first used. Read as the loader reads them from the mapped
// image: an entry that cannot be read is damaged, and the entries beside it are still
// read; only the tables' own end, or a bound, stops the reading.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "filecheck/modPeFile.h"

namespace modPeImports {

// A function asked for by name (the hint is where the loader looks first) or by ordinal.
struct ImportedFunction {
    bool byOrdinal = false;
    std::uint16_t ordinal = 0;
    std::uint16_t hint = 0;
    std::string name;  // its bytes, compared with the exported names byte for byte
};

struct ImportedDll {
    std::wstring name;  // as the table writes it, its bytes taken in the ANSI code page, as the loader takes them
    bool delayLoaded = false;
    std::vector<ImportedFunction> functions;  // in the table's order
    // Its name or a function's could not be read from the image: the loader refuses it.
    bool damaged = false;
};

struct Imports {
    // Every entry, in the tables' order: the imports, then the delay-loaded.
    std::vector<ImportedDll> dlls;
    // The first table that runs out of the image, or whose bytes could not be read
    // (ReadFailed); its entries before that point are listed.
    modPeFile::Damage damage = modPeFile::Damage::None;
    bool cut = false;  // a bound stopped the reading: entries past it are not listed
};

// Far more than any program file has; the loader has none, so past them the reading
// is cut, not taken as damage.
constexpr std::size_t MaxDllEntries = 16384;
constexpr std::size_t MaxFunctions = 262144;     // in all, of one file
constexpr std::size_t MaxNameLength = 32767;     // a DLL's or a function's name
constexpr std::size_t MaxNameBytes = 16u << 20;  // of all its names

Imports ReadImports(const modPeFile::Image& image);

}  // namespace modPeImports
