#include "filecheck/modPeExports.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/LittleEndian.h"

namespace modPeExports {

Exports::Exports(std::uint32_t base, std::uint32_t functionCount, std::vector<std::uint32_t> names,
                 std::vector<std::string> texts, std::vector<std::uint16_t> nameOrdinals, bool whole)
    : base_(base),
      functionCount_(functionCount),
      names_(std::move(names)),
      texts_(std::move(texts)),
      nameOrdinals_(std::move(nameOrdinals)),
      whole_(whole) {}

Found Exports::Index(std::size_t nameIndex) const {
    return nameOrdinals_[nameIndex] < functionCount_ ? Found::Yes : Found::No;
}

Found Exports::Name(const std::string& name, std::uint16_t hint) const {
    if (hint < names_.size() && NameAt(hint) == name) return Index(hint);
    // The loader's binary search, whatever the table's order: a table out of order
    // hides from it a name it holds.
    std::ptrdiff_t start = 0, end = static_cast<std::ptrdiff_t>(names_.size()) - 1;
    while (end >= start) {
        const std::ptrdiff_t next = (start + end) / 2;
        const int order = std::strcmp(name.c_str(), NameAt(static_cast<std::size_t>(next)).c_str());
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
    std::vector<std::uint32_t> names;
    std::vector<std::string> texts;
    std::vector<std::uint16_t> ordinals;
    std::uint32_t base = 0, functionCount = 0;
    const auto damaged = [&] {
        table.damage = image.ReadFailed() ? modPeFile::Damage::ReadFailed : modPeFile::Damage::ExportsDamaged;
        table.exports = Exports(base, functionCount, std::move(names), std::move(texts), std::move(ordinals), false);
        return table;
    };
    if (image.HeaderDamage() != modPeFile::Damage::None) return damaged();
    const auto directory = image.Directory(modPeFile::DirectoryIndex::Exports).rva;
    if (directory == 0) return table;  // it exports nothing
    std::uint8_t head[DirectorySize];
    if (!image.Read(directory, head, sizeof head)) return damaged();
    const auto field = [&head](std::size_t at) { return platform::ReadLittleEndian<std::uint32_t>(head + at); };
    base = field(16);
    functionCount = field(20);
    const std::uint32_t nameCount = field(24), namesAt = field(32), ordinalsAt = field(36);

    const std::size_t count = std::min<std::size_t>(nameCount, MaxNames);
    std::vector<std::uint8_t> pointers(4 * count), ordinalBytes(2 * count);
    if (!image.Read(namesAt, pointers.data(), pointers.size()) ||
        !image.Read(ordinalsAt, ordinalBytes.data(), ordinalBytes.size())) {
        return damaged();
    }
    // Each name once, however many entries point at it; so many bytes of them at most.
    std::map<std::uint32_t, std::uint32_t> read;
    std::size_t bytes = 0;
    names.reserve(count);
    ordinals.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto at = platform::ReadLittleEndian<std::uint32_t>(&pointers[4 * i]);
        auto known = read.find(at);
        if (known == read.end()) {
            auto name = image.Text(at, MaxNameLength);
            if (!name) return damaged();
            bytes += name->size() + 1;
            if (bytes > MaxNameBytes) break;
            known = read.emplace(at, static_cast<std::uint32_t>(texts.size())).first;
            texts.push_back(std::move(*name));
        }
        names.push_back(known->second);
        ordinals.push_back(platform::ReadLittleEndian<std::uint16_t>(&ordinalBytes[2 * i]));
    }
    const bool whole = names.size() == nameCount;
    table.exports = Exports(base, functionCount, std::move(names), std::move(texts), std::move(ordinals), whole);
    return table;
}

}  // namespace modPeExports
