#include "filecheck/modPeResources.h"

#include <algorithm>
#include <string>

namespace modPeResources {

namespace {

using modPeFile::Damage;

struct Stop {
    Damage damage;
};

void Need(bool holds, Damage damage) {
    if (!holds) throw Stop{damage};
}

constexpr std::uint32_t Subdirectory = 0x80000000u;

struct DirectoryEntry {
    std::uint32_t name;
    std::uint32_t target;
};

// The directory's fields, read at offsets from its root.
class Tree {
public:
    Tree(const modPeFile::Image& image, std::uint32_t root) : image_(image), root_(root) {}

    template <class T>
    T Get(std::uint64_t at) const {
        const auto value = image_.template Get<T>(root_ + at);
        Need(value.has_value(), image_.ReadFailed() ? Damage::ReadFailed : Damage::DirectoryDamaged);
        return *value;
    }

    std::vector<DirectoryEntry> Entries(std::uint32_t at) const {
        const std::uint32_t count =
            Get<std::uint16_t>(std::uint64_t{at} + 12) + Get<std::uint16_t>(std::uint64_t{at} + 14);
        std::vector<DirectoryEntry> entries(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t entry = std::uint64_t{at} + 16 + 8ull * i;
            entries[i] = {Get<std::uint32_t>(entry), Get<std::uint32_t>(entry + 4)};
        }
        return entries;
    }

    // The entry names the type `key` asks for.
    bool IsType(const DirectoryEntry& entry, const ResourceKey& key) const {
        if (!key.typeName) return entry.name == key.typeId;
        if (!(entry.name & Subdirectory)) return false;  // an ID, not a name
        const std::wstring wanted = key.typeName;
        const std::uint64_t at = entry.name & ~Subdirectory;
        if (Get<std::uint16_t>(at) != wanted.size()) return false;
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const auto unit = Get<std::uint16_t>(at + 2 + 2 * i);
            const auto upper = unit >= 'a' && unit <= 'z' ? unit - ('a' - 'A') : unit;  // as Windows finds names
            if (upper != wanted[i]) return false;
        }
        return true;
    }

private:
    const modPeFile::Image& image_;
    std::uint64_t root_;
};

// The entry of a directory that `matches`, which must lead further down
// (`subdirectory`) or to the data.
template <class Matches>
DirectoryEntry EntryOf(const Tree& tree, std::uint32_t at, bool subdirectory, Matches matches) {
    const auto entries = tree.Entries(at);
    const auto entry = std::find_if(entries.begin(), entries.end(), matches);
    Need(entry != entries.end(), Damage::NoResource);
    Need(((entry->target & Subdirectory) != 0) == subdirectory, Damage::DirectoryDamaged);
    return *entry;
}

Resource FindIn(const modPeFile::Image& image, const ResourceKey& key, std::uint32_t maxSize) {
    Need(image.HeaderDamage() == Damage::None, image.HeaderDamage());
    const auto root = image.Directory(modPeFile::DirectoryIndex::Resources).rva;
    Need(root != 0, Damage::NoResource);
    const Tree tree(image, root);

    const auto type = EntryOf(tree, 0, true, [&](const DirectoryEntry& e) { return tree.IsType(e, key); });
    const auto name = EntryOf(tree, type.target & ~Subdirectory, true,
                              [&key](const DirectoryEntry& e) { return key.nameId == 0 || e.name == key.nameId; });
    const auto language = EntryOf(tree, name.target & ~Subdirectory, false, [](const DirectoryEntry&) { return true; });

    const auto rva = tree.Get<std::uint32_t>(language.target);
    const auto size = tree.Get<std::uint32_t>(std::uint64_t{language.target} + 4);
    // Resources are data of the file: none is made of a section's zeros.
    Need(size <= image.InFile(rva), Damage::OutsideFile);
    Need(size <= maxSize, Damage::TooLarge);
    Resource found;
    found.bytes.resize(size);
    Need(image.Read(rva, found.bytes.data(), size), image.ReadFailed() ? Damage::ReadFailed : Damage::OutsideFile);
    return found;
}

}  // namespace

Resource Find(const modPeFile::Image& image, const ResourceKey& key, std::uint32_t maxSize) {
    try {
        return FindIn(image, key, maxSize);
    } catch (const Stop& stop) {
        return {stop.damage, {}};
    }
}

}  // namespace modPeResources
