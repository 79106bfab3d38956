#pragma once
// What a DLL exports, read from its export table once and then looked up as the
// loader looks up what an importer asks for: a name at its hint first, else by a
// binary search of the table's names; an ordinal by its place in the address table.
// A forwarder counts as exported, as it does to the loader at this step.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "filecheck/modPeFile.h"

namespace modPeExports {

enum class Found { Yes, No, Unknown };  // Unknown: the table could not be read that far

class Exports {
public:
    Exports() = default;
    Exports(std::uint32_t base, std::uint32_t functionCount, std::vector<std::uint32_t> names,
            std::vector<std::string> texts, std::vector<std::uint16_t> nameOrdinals, bool whole);

    Found Name(const std::string& name, std::uint16_t hint) const;
    Found Ordinal(std::uint32_t ordinal) const;

private:
    Found Index(std::size_t nameIndex) const;
    const std::string& NameAt(std::size_t nameIndex) const { return texts_[names_[nameIndex]]; }

    std::uint32_t base_ = 0;
    std::uint32_t functionCount_ = 0;
    std::vector<std::uint32_t> names_;         // in the table's order: each an index into texts_
    std::vector<std::string> texts_;           // each name read once, however many entries point at it
    std::vector<std::uint16_t> nameOrdinals_;  // each name's place in the address table
    bool whole_ = true;                        // every name of the table was read
};

struct ExportTable {
    modPeFile::Damage damage = modPeFile::Damage::None;  // ExportsDamaged, or ReadFailed
    Exports exports;
};

// More names, and more of their bytes, than any DLL exports; the loader has no bound
// of its own: past them the table is not read whole.
constexpr std::size_t MaxNames = 1u << 16;
constexpr std::size_t MaxNameLength = 32767;
constexpr std::size_t MaxNameBytes = 16u << 20;

ExportTable ReadExports(const modPeFile::Image& image);

}  // namespace modPeExports
