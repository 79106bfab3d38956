#include "filecheck/modTypeLibrary.h"

#include <algorithm>
#include <array>

#include "platform/FileReading.h"
#include "platform/LittleEndian.h"
#include "platform/Text.h"

namespace modTypeLibrary {

namespace {

// Why a reading ends without a library. Raised inside this module only and caught
// at its top: a damaged file is an answer here, not an error of the run.
struct Damaged {
    const wchar_t* reason;
};

[[noreturn]] void Refuse(const wchar_t* reason) { throw Damaged{reason}; }
void Need(bool holds, const wchar_t* reason) {
    if (!holds) Refuse(reason);
}

const wchar_t NotPe[] = L"the file is not a Windows program file";
const wchar_t PeDamaged[] = L"its program headers are damaged";
const wchar_t NoResource[] = L"it has no type library resource";
const wchar_t DirectoryDamaged[] = L"its resource directory is damaged";
const wchar_t OutsideFile[] = L"its type library resource does not lie inside the file";
const wchar_t TooLarge[] = L"its type library resource is larger than any control's";
const wchar_t SltgFormat[] = L"its type library is in the SLTG format, which this check does not read";
const wchar_t UnknownFormat[] = L"its type library resource holds no type library in a format this check reads";
const wchar_t HeaderDamaged[] = L"its type library's header is damaged";
const wchar_t OffsetsDamaged[] = L"its type library's type-info offsets are damaged";
const wchar_t SegmentsDamaged[] = L"its type library's segment directory is damaged";
const wchar_t GuidsDamaged[] = L"its type library's GUID table is damaged";
const wchar_t NamesDamaged[] = L"its type library's name table is damaged";
const wchar_t TypeInfosDamaged[] = L"its type library's type-info records are damaged";

// Bytes held in memory, read only inside their bounds.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::uint64_t size) : data_(data), size_(size) {}
    explicit Bytes(const std::vector<std::uint8_t>& bytes) : Bytes(bytes.data(), bytes.size()) {}

    bool Has(std::uint64_t at, std::uint64_t count) const { return at <= size_ && count <= size_ - at; }
    std::uint16_t U16(std::uint64_t at, const wchar_t* damaged) const { return Field<std::uint16_t>(at, damaged); }
    std::uint32_t U32(std::uint64_t at, const wchar_t* damaged) const { return Field<std::uint32_t>(at, damaged); }
    std::int32_t I32(std::uint64_t at, const wchar_t* damaged) const { return Field<std::int32_t>(at, damaged); }
    const std::uint8_t* Data(std::uint64_t at) const { return data_ + at; }

private:
    template <class T>
    T Field(std::uint64_t at, const wchar_t* damaged) const {
        Need(Has(at, sizeof(T)), damaged);
        return platform::ReadLittleEndian<T>(data_ + at);
    }

    const std::uint8_t* data_;
    std::uint64_t size_;
};

// --- The PE resource directory --------------------------------------------------------

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;
};

// The file: its size, and how its bytes are read.
struct File {
    std::uint64_t size;
    const ReadAt& read;
};

// A block of the file, which must lie inside it.
std::vector<std::uint8_t> BlockOf(const File& file, std::uint64_t offset, std::uint64_t count, const wchar_t* damaged) {
    Need(offset <= file.size && count <= file.size - offset, damaged);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    Need(count == 0 || file.read(offset, bytes.data(), bytes.size()), damaged);
    return bytes;
}

constexpr std::uint16_t Pe32 = 0x10B, Pe32Plus = 0x20B;
constexpr std::uint64_t ResourceDirectoryIndex = 2;
constexpr std::uint64_t DataDirectorySize = 8;
constexpr std::uint16_t MaxSections = 96;  // the most a PE file may have
constexpr std::uint32_t Subdirectory = 0x80000000u;

// The sections and where the resource directory begins, as an RVA.
struct Image {
    std::vector<Section> sections;
    std::uint32_t resourceRva = 0;
};

Image ReadImage(const File& file) {
    const auto dos = BlockOf(file, 0, 64, NotPe);
    Need(dos[0] == 'M' && dos[1] == 'Z', NotPe);
    const auto peAt = platform::ReadLittleEndian<std::uint32_t>(dos.data() + 0x3C);
    const auto coff = BlockOf(file, peAt, 24, NotPe);
    Need(std::equal(coff.begin(), coff.begin() + 4, "PE\0\0"), NotPe);
    const auto sectionCount = platform::ReadLittleEndian<std::uint16_t>(coff.data() + 6);
    const auto optionalSize = platform::ReadLittleEndian<std::uint16_t>(coff.data() + 20);
    Need(sectionCount <= MaxSections, PeDamaged);

    const auto optionalHeader = BlockOf(file, std::uint64_t{peAt} + 24, optionalSize, PeDamaged);
    const Bytes header{optionalHeader};
    const auto magic = header.U16(0, PeDamaged);
    Need(magic == Pe32 || magic == Pe32Plus, PeDamaged);
    const std::uint64_t directoriesAt = magic == Pe32 ? 96 : 112;
    Need(header.U32(directoriesAt - 4, PeDamaged) > ResourceDirectoryIndex, NoResource);  // the directories' count
    const auto resourceRva = header.U32(directoriesAt + DataDirectorySize * ResourceDirectoryIndex, PeDamaged);
    Need(resourceRva != 0, NoResource);
    Image image{{}, resourceRva};

    const auto table =
        BlockOf(file, std::uint64_t{peAt} + 24 + optionalSize, std::uint64_t{40} * sectionCount, PeDamaged);
    for (std::size_t at = 0; at < table.size(); at += 40) {
        image.sections.push_back({platform::ReadLittleEndian<std::uint32_t>(table.data() + at + 12),
                                  platform::ReadLittleEndian<std::uint32_t>(table.data() + at + 16),
                                  platform::ReadLittleEndian<std::uint32_t>(table.data() + at + 20)});
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

// One directory of the resource tree: its entries, named ones first.
class ResourceTree {
public:
    ResourceTree(const File& file, const Placed& root) : file_(file), root_(root) {}

    std::vector<DirectoryEntry> Entries(std::uint32_t at) const {
        const auto head = Block(at, 16);
        const std::uint32_t count = platform::ReadLittleEndian<std::uint16_t>(head.data() + 12) +
                                    platform::ReadLittleEndian<std::uint16_t>(head.data() + 14);
        const auto list = Block(std::uint64_t{at} + 16, 8ull * count);
        std::vector<DirectoryEntry> entries;
        for (std::size_t i = 0; i < list.size(); i += 8) {
            entries.push_back({platform::ReadLittleEndian<std::uint32_t>(list.data() + i),
                               platform::ReadLittleEndian<std::uint32_t>(list.data() + i + 4)});
        }
        return entries;
    }

    bool NameIs(const DirectoryEntry& entry, const std::wstring& wanted) const {
        if (!(entry.name & Subdirectory)) return false;  // an ID, not a name
        const std::uint32_t at = entry.name & ~Subdirectory;
        const auto length = platform::ReadLittleEndian<std::uint16_t>(Block(at, 2).data());
        if (length != wanted.size()) return false;
        const auto text = Block(std::uint64_t{at} + 2, 2ull * length);
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const auto unit = platform::ReadLittleEndian<std::uint16_t>(text.data() + 2 * i);
            const auto upper = unit >= 'a' && unit <= 'z' ? unit - ('a' - 'A') : unit;  // as Windows finds names
            if (upper != wanted[i]) return false;
        }
        return true;
    }

    std::vector<std::uint8_t> Block(std::uint64_t at, std::uint64_t count) const {
        Need(at <= root_.available && count <= root_.available - at, DirectoryDamaged);
        return BlockOf(file_, root_.offset + at, count, DirectoryDamaged);
    }

private:
    const File& file_;
    Placed root_;
};

// The first entry of a directory below the root, which must lead further down
// (`subdirectory`) or to the data.
DirectoryEntry FirstEntry(const ResourceTree& tree, std::uint32_t at, bool subdirectory) {
    const auto entries = tree.Entries(at);
    Need(!entries.empty(), NoResource);
    Need(((entries.front().target & Subdirectory) != 0) == subdirectory, DirectoryDamaged);
    return entries.front();
}

// Type TYPELIB, its first name, its first language: exactly three levels, so a
// directory that points back at itself is never followed round.
std::vector<std::uint8_t> TypeLibraryResource(const File& file) {
    const Image image = ReadImage(file);
    const auto root = Place(image, image.resourceRva);
    Need(root.has_value(), DirectoryDamaged);
    const ResourceTree tree(file, *root);

    const auto types = tree.Entries(0);
    const auto type = std::find_if(types.begin(), types.end(),
                                   [&tree](const DirectoryEntry& entry) { return tree.NameIs(entry, L"TYPELIB"); });
    Need(type != types.end(), NoResource);
    Need((type->target & Subdirectory) != 0, DirectoryDamaged);
    const auto name = FirstEntry(tree, type->target & ~Subdirectory, true);
    const auto language = FirstEntry(tree, name.target & ~Subdirectory, false);

    const auto data = tree.Block(language.target, 16);
    const auto rva = platform::ReadLittleEndian<std::uint32_t>(data.data());
    const auto size = platform::ReadLittleEndian<std::uint32_t>(data.data() + 4);
    const auto placed = Place(image, rva);
    Need(placed && size <= placed->available, OutsideFile);
    Need(size <= MaxLibrarySize, TooLarge);
    return BlockOf(file, placed->offset, size, OutsideFile);
}

// --- The MSFT type library --------------------------------------------------------------

constexpr std::uint32_t MsftMagic = 0x5446534D;  // "MSFT"
constexpr std::uint32_t SltgMagic = 0x47544C53;  // "SLTG"
constexpr std::uint64_t HeaderSize = 0x54;
constexpr std::uint32_t HelpDllFlag = 0x100;
constexpr std::uint64_t SegmentCount = 15, SegmentSize = 16;
constexpr std::uint64_t TypeInfoSize = 100;
constexpr std::uint64_t GuidSize = 16, NameIntroSize = 12;
constexpr std::uint32_t KindCoclass = 5, KindCount = 8;  // TKIND_COCLASS, TKIND_MAX
constexpr std::uint32_t CanCreate = 0x2;                 // TYPEFLAG_FCANCREATE
constexpr std::int32_t Absent = -1;
enum SegmentIndex { TypeInfos = 0, Guids = 5, Names = 7 };

// A table of the library: where it lies in the library's bytes.
struct Segment {
    std::int32_t offset = Absent;
    std::int32_t length = 0;
};

// `count` bytes at `at` inside the segment, as an offset into the library.
std::optional<std::uint64_t> Within(const Segment& segment, std::int64_t at, std::uint64_t count) {
    const auto length = static_cast<std::uint64_t>(segment.length);
    if (segment.offset == Absent || at < 0 || static_cast<std::uint64_t>(at) > length ||
        count > length - static_cast<std::uint64_t>(at)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(segment.offset) + static_cast<std::uint64_t>(at);
}

std::array<Segment, SegmentCount> ReadSegments(const Bytes& library, std::uint64_t at) {
    Need(library.Has(at, SegmentCount * SegmentSize), SegmentsDamaged);
    // The first two tables' fourth field is always 0x0F: a check that this is the directory.
    for (const std::uint64_t marker : {at + 12, at + SegmentSize + 12}) {
        Need(library.U32(marker, SegmentsDamaged) == 0x0F, SegmentsDamaged);
    }
    std::array<Segment, SegmentCount> segments;
    std::uint64_t entry = at;
    for (auto& segment : segments) {
        segment.offset = library.I32(entry, SegmentsDamaged);
        segment.length = library.I32(entry + 4, SegmentsDamaged);
        entry += SegmentSize;
        if (segment.offset == Absent) continue;
        Need(segment.offset >= 0 && segment.length >= 0 &&
                 library.Has(static_cast<std::uint64_t>(segment.offset), static_cast<std::uint64_t>(segment.length)),
             SegmentsDamaged);
    }
    return segments;
}

std::wstring GuidText(const Bytes& library, const Segment& guids, std::int32_t at) {
    const auto placed = Within(guids, at, GuidSize);
    Need(placed.has_value(), GuidsDamaged);
    const std::uint8_t* guid = library.Data(*placed);
    const auto hex = [](std::uint32_t value, std::size_t digits) { return platform::text::Hex(value, digits); };
    std::wstring text = L"{" + hex(platform::ReadLittleEndian<std::uint32_t>(guid), 8) + L"-" +
                        hex(platform::ReadLittleEndian<std::uint16_t>(guid + 4), 4) + L"-" +
                        hex(platform::ReadLittleEndian<std::uint16_t>(guid + 6), 4) + L"-";
    for (int i = 8; i < 16; ++i) text += hex(guid[i], 2) + (i == 9 ? L"-" : L"");
    return text + L"}";
}

std::wstring NameText(const Bytes& library, const Segment& names, std::int32_t at) {
    if (at == Absent) return {};
    const auto intro = Within(names, at, NameIntroSize);
    Need(intro.has_value(), NamesDamaged);
    const auto length = library.U32(*intro + 8, NamesDamaged) & 0xFFu;
    const auto text = Within(names, std::int64_t{at} + static_cast<std::int64_t>(NameIntroSize), length);
    Need(text.has_value(), NamesDamaged);
    // Names are single bytes; the controls' are ASCII, and other bytes are read as Latin-1.
    return std::wstring(library.Data(*text), library.Data(*text) + length);
}

TypeLibrary ReadMsft(const Bytes& library) {
    const auto magic = library.U32(0, HeaderDamaged);
    Need(magic != SltgMagic, SltgFormat);
    Need(magic == MsftMagic, UnknownFormat);
    Need(library.Has(0, HeaderSize), HeaderDamaged);
    const auto count = library.I32(0x20, HeaderDamaged);
    Need(count >= 0, OffsetsDamaged);
    const std::uint64_t offsetsAt = HeaderSize + ((library.U32(0x14, HeaderDamaged) & HelpDllFlag) ? 4 : 0);
    Need(library.Has(offsetsAt, 4ull * static_cast<std::uint64_t>(count)), OffsetsDamaged);
    const auto segments = ReadSegments(library, offsetsAt + 4ull * static_cast<std::uint64_t>(count));

    TypeLibrary found;
    found.id = GuidText(library, segments[Guids], library.I32(0x08, HeaderDamaged));
    const auto version = library.U32(0x18, HeaderDamaged);
    found.major = static_cast<std::uint16_t>(version & 0xFFFFu);
    found.minor = static_cast<std::uint16_t>(version >> 16);
    found.name = NameText(library, segments[Names], library.I32(0x38, HeaderDamaged));

    for (std::int32_t i = 0; i < count; ++i) {
        const auto offset = library.I32(offsetsAt + 4ull * static_cast<std::uint64_t>(i), OffsetsDamaged);
        const auto record = Within(segments[TypeInfos], offset, TypeInfoSize);
        Need(record.has_value(), TypeInfosDamaged);
        const auto kind = library.U32(*record, TypeInfosDamaged) & 0xFu;
        Need(kind < KindCount, TypeInfosDamaged);
        const auto guidAt = library.I32(*record + 0x2C, TypeInfosDamaged);
        const auto flags = library.U32(*record + 0x30, TypeInfosDamaged);
        const bool creatable = kind == KindCoclass && (flags & CanCreate) != 0;
        if (guidAt == Absent && !creatable) continue;  // a type without a GUID of its own
        auto guid = GuidText(library, segments[Guids], guidAt);
        if (creatable) found.creatableClasses.push_back(std::move(guid));
    }
    return found;
}

}  // namespace

Reading ReadTypeLibrary(std::uint64_t fileSize, const ReadAt& read) {
    try {
        const auto bytes = TypeLibraryResource(File{fileSize, read});
        return {ReadMsft(Bytes(bytes)), {}};
    } catch (const Damaged& damaged) {
        return {std::nullopt, damaged.reason};
    }
}

Reading ReadTypeLibrary(const std::vector<std::uint8_t>& file) {
    return ReadTypeLibrary(file.size(), [&file](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
        if (offset > file.size() || count > file.size() - offset) return false;
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(offset), count, into);
        return true;
    });
}

Reading ReadFileTypeLibrary(const std::wstring& path) {
    const auto file = platform::file::Open(path);
    const auto size = file ? platform::file::WholeSize(file.get()) : std::nullopt;
    if (!size) return {std::nullopt, L"the file could not be read"};
    return ReadTypeLibrary(*size, [&file](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
        return count <= UINT32_MAX &&
               platform::file::ReadAt(file.get(), offset, into, static_cast<std::uint32_t>(count));
    });
}

}  // namespace modTypeLibrary
