#include "filecheck/modPeFile.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/LittleEndian.h"
#include "platform/Text.h"

namespace modPeFile {

namespace {

// Ends a walk inside this module; FindResource turns it into its answer.
struct Stop {
    Damage damage;
};

void Need(bool holds, Damage damage) {
    if (!holds) throw Stop{damage};
}

template <class T>
T Field(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return platform::ReadLittleEndian<T>(bytes.data() + at);
}

// A block of the file, which must lie inside it.
std::vector<std::uint8_t> BlockOf(const File& file, std::uint64_t offset, std::uint64_t count, Damage damage) {
    Need(offset <= file.size && count <= file.size - offset, damage);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    Need(count == 0 || file.read(offset, bytes.data(), bytes.size()), Damage::ReadFailed);
    return bytes;
}

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;
};

constexpr std::uint16_t Pe32 = 0x10B, Pe32Plus = 0x20B;
constexpr std::uint32_t ImportDirectoryIndex = 1, ResourceDirectoryIndex = 2, DelayImportDirectoryIndex = 13;
constexpr std::uint32_t MaxDirectories = 16;
constexpr std::uint64_t DataDirectorySize = 8, SectionSize = 40;
constexpr std::uint16_t MaxSections = 96;  // the most a PE file may have
constexpr std::uint32_t Subdirectory = 0x80000000u;

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

// The sections, the data directories (where the resources and the imports begin, as
// RVAs) and what the file is built for.
struct Image {
    std::vector<Section> sections;
    std::vector<DataDirectory> directories;
    std::uint16_t machine = 0;
    std::uint64_t imageBase = 0;

    DataDirectory Directory(std::uint32_t index) const {
        return index < directories.size() ? directories[index] : DataDirectory{};
    }
};

Image ReadImage(const File& file) {
    const auto dos = BlockOf(file, 0, 64, Damage::NotPe);
    Need(dos[0] == 'M' && dos[1] == 'Z', Damage::NotPe);
    const auto peAt = Field<std::uint32_t>(dos, 0x3C);
    const auto coff = BlockOf(file, peAt, 24, Damage::NotPe);
    Need(std::equal(coff.begin(), coff.begin() + 4, "PE\0\0"), Damage::NotPe);
    const auto sectionCount = Field<std::uint16_t>(coff, 6);
    const auto optionalSize = Field<std::uint16_t>(coff, 20);
    Need(sectionCount <= MaxSections, Damage::HeadersDamaged);

    const auto header = BlockOf(file, std::uint64_t{peAt} + 24, optionalSize, Damage::HeadersDamaged);
    Need(header.size() >= 2, Damage::HeadersDamaged);
    const auto magic = Field<std::uint16_t>(header, 0);
    Need(magic == Pe32 || magic == Pe32Plus, Damage::HeadersDamaged);
    const std::size_t directoriesAt = magic == Pe32 ? 96 : 112;
    Need(header.size() >= directoriesAt, Damage::HeadersDamaged);
    Image image;
    image.machine = Field<std::uint16_t>(coff, 4);
    image.imageBase = magic == Pe32
                          ? Field<std::uint32_t>(header, 28)
                          : Field<std::uint32_t>(header, 24) | std::uint64_t{Field<std::uint32_t>(header, 28)} << 32;
    const std::uint32_t count =
        std::min<std::uint32_t>(Field<std::uint32_t>(header, directoriesAt - 4), MaxDirectories);
    for (std::size_t at = directoriesAt; image.directories.size() < count; at += DataDirectorySize) {
        Need(header.size() >= at + DataDirectorySize, Damage::HeadersDamaged);
        image.directories.push_back({Field<std::uint32_t>(header, at), Field<std::uint32_t>(header, at + 4)});
    }

    const auto table =
        BlockOf(file, std::uint64_t{peAt} + 24 + optionalSize, SectionSize * sectionCount, Damage::HeadersDamaged);
    for (std::size_t at = 0; at < table.size(); at += SectionSize) {
        image.sections.push_back({Field<std::uint32_t>(table, at + 12), Field<std::uint32_t>(table, at + 16),
                                  Field<std::uint32_t>(table, at + 20)});
    }
    return image;
}

// The file's bytes at an RVA, as far as its section holds them in the file: the
// offset, and how many bytes from there on belong to the section.
struct Placed {
    std::uint64_t offset;
    std::uint64_t available;
};

std::optional<Placed> Place(const Image& image, std::uint32_t rva) {
    const auto section = std::find_if(image.sections.begin(), image.sections.end(), [rva](const Section& s) {
        return rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize;
    });
    if (section == image.sections.end()) return std::nullopt;
    const std::uint32_t into = rva - section->virtualAddress;
    return Placed{std::uint64_t{section->rawOffset} + into, std::uint64_t{section->rawSize} - into};
}

struct DirectoryEntry {
    std::uint32_t name;
    std::uint32_t target;
};

// The resource tree, read only inside the section that holds its root.
class ResourceTree {
public:
    ResourceTree(const File& file, const Placed& root) : file_(file), root_(root) {}

    std::vector<DirectoryEntry> Entries(std::uint32_t at) const {
        const auto head = Block(at, 16);
        const std::uint32_t count = Field<std::uint16_t>(head, 12) + Field<std::uint16_t>(head, 14);
        const auto list = Block(std::uint64_t{at} + 16, 8ull * count);
        std::vector<DirectoryEntry> entries;
        for (std::size_t i = 0; i < list.size(); i += 8) {
            entries.push_back({Field<std::uint32_t>(list, i), Field<std::uint32_t>(list, i + 4)});
        }
        return entries;
    }

    // The entry names the type `key` asks for.
    bool IsType(const DirectoryEntry& entry, const ResourceKey& key) const {
        if (!key.typeName) return entry.name == key.typeId;
        if (!(entry.name & Subdirectory)) return false;  // an ID, not a name
        const std::wstring wanted = key.typeName;
        const std::uint32_t at = entry.name & ~Subdirectory;
        const auto length = Field<std::uint16_t>(Block(at, 2), 0);
        if (length != wanted.size()) return false;
        const auto text = Block(std::uint64_t{at} + 2, 2ull * length);
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const auto unit = Field<std::uint16_t>(text, 2 * i);
            const auto upper = unit >= 'a' && unit <= 'z' ? unit - ('a' - 'A') : unit;  // as Windows finds names
            if (upper != wanted[i]) return false;
        }
        return true;
    }

    std::vector<std::uint8_t> Block(std::uint64_t at, std::uint64_t count) const {
        Need(at <= root_.available && count <= root_.available - at, Damage::DirectoryDamaged);
        return BlockOf(file_, root_.offset + at, count, Damage::DirectoryDamaged);
    }

private:
    const File& file_;
    Placed root_;
};

// The entry of a directory below the root that `matches`, which must lead further
// down (`subdirectory`) or to the data.
template <class Matches>
DirectoryEntry EntryOf(const ResourceTree& tree, std::uint32_t at, bool subdirectory, Matches matches) {
    const auto entries = tree.Entries(at);
    const auto entry = std::find_if(entries.begin(), entries.end(), matches);
    Need(entry != entries.end(), Damage::NoResource);
    Need(((entry->target & Subdirectory) != 0) == subdirectory, Damage::DirectoryDamaged);
    return *entry;
}

// Type, name, language: exactly three levels, so a directory that points back at
// itself is never followed round.
Located Find(const File& file, const ResourceKey& key, std::uint32_t maxSize) {
    const Image image = ReadImage(file);
    const auto resources = image.Directory(ResourceDirectoryIndex);
    Need(resources.rva != 0, Damage::NoResource);
    const auto root = Place(image, resources.rva);
    Need(root.has_value(), Damage::DirectoryDamaged);
    const ResourceTree tree(file, *root);

    const auto type = EntryOf(tree, 0, true, [&](const DirectoryEntry& e) { return tree.IsType(e, key); });
    const auto name = EntryOf(tree, type.target & ~Subdirectory, true,
                              [&key](const DirectoryEntry& e) { return key.nameId == 0 || e.name == key.nameId; });
    const auto language = EntryOf(tree, name.target & ~Subdirectory, false, [](const DirectoryEntry&) { return true; });

    const auto data = tree.Block(language.target, 16);
    const auto rva = Field<std::uint32_t>(data, 0);
    const auto size = Field<std::uint32_t>(data, 4);
    const auto placed = Place(image, rva);
    Need(placed && size <= placed->available && size <= file.size - std::min(file.size, placed->offset),
         Damage::OutsideFile);
    Need(size <= maxSize, Damage::TooLarge);
    return {Damage::None, placed->offset, size, image.machine};
}

constexpr std::uint64_t ImportDescriptorSize = 20, DelayDescriptorSize = 32;
constexpr std::uint64_t MaxNameLength = 256;
constexpr std::uint32_t RvaBased = 1;  // a delay descriptor's attribute: its addresses are RVAs, not VAs

// Where an import table's RVA lies, which must be in a section.
Placed PlaceImport(const Image& image, std::uint64_t rva) {
    Need(rva <= UINT32_MAX, Damage::ImportsDamaged);
    const auto placed = Place(image, static_cast<std::uint32_t>(rva));
    Need(placed.has_value(), Damage::ImportsDamaged);
    return *placed;
}

// `count` bytes at an RVA, which must lie inside its section and the file.
std::vector<std::uint8_t> BytesAt(const File& file, const Image& image, std::uint64_t rva, std::uint64_t count) {
    const auto placed = PlaceImport(image, rva);
    Need(count <= placed.available, Damage::ImportsDamaged);
    return BlockOf(file, placed.offset, count, Damage::ImportsDamaged);
}

// A DLL's name at an RVA: printable ASCII up to its NUL, within the section.
std::wstring NameAt(const File& file, const Image& image, std::uint64_t rva) {
    const auto placed = PlaceImport(image, rva);
    const auto available = std::min({placed.available, MaxNameLength, file.size - std::min(file.size, placed.offset)});
    const auto bytes = BlockOf(file, placed.offset, available, Damage::ImportsDamaged);
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    Need(end != bytes.end() && end != bytes.begin(), Damage::ImportsDamaged);
    Need(std::all_of(bytes.begin(), end, [](std::uint8_t ch) { return ch > 0x20 && ch < 0x7F; }),
         Damage::ImportsDamaged);
    return std::wstring(bytes.begin(), end);
}

void AddOnce(std::vector<ImportedDll>& dlls, std::wstring name, bool delayLoaded) {
    const bool listed = std::any_of(dlls.begin(), dlls.end(), [&name](const ImportedDll& dll) {
        return platform::text::SameIgnoringCase(dll.name, name);
    });
    if (!listed) dlls.push_back({std::move(name), delayLoaded});
}

// The descriptors of one table, each `size` bytes, until `each` finds the last.
template <class EachDescriptor>
void WalkTable(const File& file, const Image& image, DataDirectory table, std::uint64_t size, EachDescriptor each) {
    if (table.rva == 0) return;
    for (std::uint64_t i = 0;; ++i) {
        Need(i < MaxImportedDlls, Damage::ImportsDamaged);
        if (!each(BytesAt(file, image, table.rva + i * size, size))) return;
    }
}

void Walk(const File& file, Imports& found) {
    const Image image = ReadImage(file);
    found.machine = image.machine;
    WalkTable(file, image, image.Directory(ImportDirectoryIndex), ImportDescriptorSize,
              [&](const std::vector<std::uint8_t>& descriptor) {
                  const auto name = Field<std::uint32_t>(descriptor, 12);
                  if (name != 0) AddOnce(found.dlls, NameAt(file, image, name), false);
                  return name != 0;
              });
    WalkTable(file, image, image.Directory(DelayImportDirectoryIndex), DelayDescriptorSize,
              [&](const std::vector<std::uint8_t>& descriptor) {
                  const std::uint64_t name = Field<std::uint32_t>(descriptor, 4);
                  if (name == 0) return false;
                  // Old linkers wrote addresses there, not RVAs.
                  const bool rvas = (Field<std::uint32_t>(descriptor, 0) & RvaBased) != 0;
                  Need(rvas || name >= image.imageBase, Damage::ImportsDamaged);
                  AddOnce(found.dlls, NameAt(file, image, rvas ? name : name - image.imageBase), true);
                  return true;
              });
}

}  // namespace

Imports ReadImports(const File& file) {
    Imports found;
    try {
        Walk(file, found);
    } catch (const Stop& stop) {
        found.damage = stop.damage;  // the machine stays, where the headers were read
        found.dlls.clear();
    }
    return found;
}

Located FindResource(const File& file, const ResourceKey& key, std::uint32_t maxSize) {
    try {
        return Find(file, key, maxSize);
    } catch (const Stop& stop) {
        return {stop.damage, 0, 0, 0};
    }
}

File InMemory(const std::uint8_t* bytes, std::size_t size) {
    return {size, [bytes, size](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
                if (offset > size || count > size - offset) return false;
                std::copy_n(bytes + offset, count, into);
                return true;
            }};
}

DiskFile::DiskFile(const std::wstring& path) : handle_(platform::file::Open(path)), file_{0, {}} {
    const auto size = handle_ ? platform::file::WholeSize(handle_.get()) : std::nullopt;
    if (!size) return;
    opened_ = true;
    const auto handle = handle_.get();
    file_ = {*size, [handle](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
                 return count <= UINT32_MAX &&
                        platform::file::ReadAt(handle, offset, into, static_cast<std::uint32_t>(count));
             }};
}

}  // namespace modPeFile
