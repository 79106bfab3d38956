#include "filecheck/modPeExports.h"

#include <algorithm>
#include <cstring>

#include "platform/LittleEndian.h"

namespace modPeExports {

Exports::Exports(std::uint32_t base, std::uint32_t functionCount, std::vector<std::string> names,
                 std::vector<std::uint16_t> nameOrdinals, bool whole)
    : base_(base),
      functionCount_(functionCount),
      names_(std::move(names)),
      nameOrdinals_(std::move(nameOrdinals)),
      whole_(whole) {}

Found Exports::Index(std::size_t nameIndex) const {
    return nameOrdinals_[nameIndex] < functionCount_ ? Found::Yes : Found::No;
}

Found Exports::Name(const std::string& name, std::uint16_t hint) const {
    if (hint < names_.size() && names_[hint] == name) return Index(hint);
    // The loader's binary search, whatever the table's order: a table out of order
    // hides from it a name it holds.
    std::ptrdiff_t start = 0, end = static_cast<std::ptrdiff_t>(names_.size()) - 1;
    while (end >= start) {
        const std::ptrdiff_t next = (start + end) / 2;
        const int order = std::strcmp(name.c_str(), names_[static_cast<std::size_t>(next)].c_str());
        if (order == 0) return Index(static_cast<std::size_t>(next));
        if (order < 0) {
            end = next - 1;
        } else {
            start = next + 1;
        }
    }
    return whole_ ? Found::No : Found::Unknown;
}

Found Exports::Ordinal(std::uint32_t ordinal) const {
    if (!whole_ && functionCount_ == 0) return Found::Unknown;
    return ordinal >= base_ && ordinal - base_ < functionCount_ ? Found::Yes : Found::No;
}

namespace {

constexpr std::uint64_t DirectorySize = 40;

}  // namespace

ExportTable ReadExports(const modPeFile::Image& image) {
    ExportTable table;
    const auto damaged = [&image, &table](std::uint32_t base, std::uint32_t count, std::vector<std::string> names,
                                          std::vector<std::uint16_t> ordinals) {
        table.damage = image.ReadFailed() ? modPeFile::Damage::ReadFailed : modPeFile::Damage::ExportsDamaged;
        table.exports = Exports(base, count, std::move(names), std::move(ordinals), false);
        return table;
    };
    if (image.HeaderDamage() != modPeFile::Damage::None) return damaged(0, 0, {}, {});
    const auto directory = image.Directory(modPeFile::DirectoryIndex::Exports).rva;
    if (directory == 0) return table;  // it exports nothing
    std::uint8_t head[DirectorySize];
    if (!image.Read(directory, head, sizeof head)) return damaged(0, 0, {}, {});
    const auto field = [&head](std::size_t at) { return platform::ReadLittleEndian<std::uint32_t>(head + at); };
    const std::uint32_t base = field(16), functionCount = field(20), nameCount = field(24);
    const std::uint32_t namesAt = field(32), ordinalsAt = field(36);

    const std::size_t count = std::min<std::size_t>(nameCount, MaxNames);
    std::vector<std::uint8_t> pointers(4 * count), ordinalBytes(2 * count);
    if (!image.Read(namesAt, pointers.data(), pointers.size()) ||
        !image.Read(ordinalsAt, ordinalBytes.data(), ordinalBytes.size())) {
        return damaged(base, functionCount, {}, {});
    }
    std::vector<std::string> names;
    std::vector<std::uint16_t> ordinals;
    names.reserve(count);
    ordinals.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        auto name = image.Text(platform::ReadLittleEndian<std::uint32_t>(&pointers[4 * i]), MaxNameLength);
        if (!name) return damaged(base, functionCount, std::move(names), std::move(ordinals));
        names.push_back(std::move(*name));
        ordinals.push_back(platform::ReadLittleEndian<std::uint16_t>(&ordinalBytes[2 * i]));
    }
    table.exports = Exports(base, functionCount, std::move(names), std::move(ordinals), count == nameCount);
    return table;
}

}  // namespace modPeExports
