#include "filecheck/modTypeLibrary.h"

#include <algorithm>
#include <array>

#include <set>

#include "filecheck/modPeResources.h"
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

// Why the walk to the resource found none, as this reading tells it.
const wchar_t* ResourceReason(modPeFile::Damage damage) {
    switch (damage) {
    case modPeFile::Damage::None: break;
    case modPeFile::Damage::NotPe: return L"the file is not a Windows program file";
    case modPeFile::Damage::HeadersDamaged: return L"its program headers are damaged";
    case modPeFile::Damage::NoResource: return L"it has no type library resource";
    case modPeFile::Damage::DirectoryDamaged: return L"its resource directory is damaged";
    case modPeFile::Damage::OutsideFile: return L"its type library resource does not lie inside the file";
    case modPeFile::Damage::TooLarge: return L"its type library resource is larger than any control's";
    case modPeFile::Damage::ReadFailed: return L"the file could not be read";
    case modPeFile::Damage::ImportsDamaged:
    case modPeFile::Damage::DelayImportsDamaged:
    case modPeFile::Damage::ExportsDamaged: break;  // not read here
    }
    return L"";
}

const wchar_t SltgFormat[] = L"its type library is in the SLTG format, which this check does not read";
const wchar_t UnknownFormat[] = L"its type library resource holds no type library in a format this check reads";
const wchar_t HeaderDamaged[] = L"its type library's header is damaged";
const wchar_t OffsetsDamaged[] = L"its type library's type-info offsets are damaged";
const wchar_t SegmentsDamaged[] = L"its type library's segment directory is damaged";
const wchar_t GuidsDamaged[] = L"its type library's GUID table is damaged";
const wchar_t NamesDamaged[] = L"its type library's name table is damaged";
const wchar_t TypeInfosDamaged[] = L"its type library's type-info records are damaged";
const wchar_t TooManyTypes[] = L"its type library declares more types than any control's";
const wchar_t NullLibraryId[] = L"its type library's LIBID is the null GUID";
const wchar_t NoName[] = L"its type library has no name";

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
// No type library holds more types: the largest known hold a few thousand.
constexpr std::int32_t MaxTypeInfos = 65535;
const std::wstring NullGuid = L"{00000000-0000-0000-0000-000000000000}";
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

// The type-info offsets: one for each record of the type-info table, each a
// different record.
std::vector<std::int32_t> TypeInfoOffsets(const Bytes& library, std::uint64_t at, std::int32_t count,
                                          const Segment& typeInfos) {
    Need(static_cast<std::uint64_t>(typeInfos.length) == TypeInfoSize * static_cast<std::uint64_t>(count),
         OffsetsDamaged);
    std::vector<std::int32_t> offsets(static_cast<std::size_t>(count));
    for (auto& offset : offsets) {
        offset = library.I32(at, OffsetsDamaged);
        at += 4;
    }
    auto sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    Need(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end(), OffsetsDamaged);
    return offsets;
}

TypeLibrary ReadMsft(const Bytes& library) {
    const auto magic = library.U32(0, HeaderDamaged);
    Need(magic != SltgMagic, SltgFormat);
    Need(magic == MsftMagic, UnknownFormat);
    Need(library.Has(0, HeaderSize), HeaderDamaged);
    const auto count = library.I32(0x20, HeaderDamaged);
    Need(count >= 0, OffsetsDamaged);
    Need(count <= MaxTypeInfos, TooManyTypes);
    const std::uint64_t offsetsAt = HeaderSize + ((library.U32(0x14, HeaderDamaged) & HelpDllFlag) ? 4 : 0);
    Need(library.Has(offsetsAt, 4ull * static_cast<std::uint64_t>(count)), OffsetsDamaged);
    const auto segments = ReadSegments(library, offsetsAt + 4ull * static_cast<std::uint64_t>(count));

    TypeLibrary found;
    found.id = GuidText(library, segments[Guids], library.I32(0x08, HeaderDamaged));
    Need(found.id != NullGuid, NullLibraryId);
    // The low bits of the flags word name the platform; another value is read as Win32's.
    const auto sysKind = library.U32(0x14, HeaderDamaged) & 0xFu;
    found.sysKind =
        sysKind <= static_cast<std::uint32_t>(SysKind::Win64) ? static_cast<SysKind>(sysKind) : SysKind::Win32;
    const auto version = library.U32(0x18, HeaderDamaged);
    found.major = static_cast<std::uint16_t>(version & 0xFFFFu);
    found.minor = static_cast<std::uint16_t>(version >> 16);
    found.name = NameText(library, segments[Names], library.I32(0x38, HeaderDamaged));
    Need(!found.name.empty(), NoName);

    std::set<std::wstring> listed;
    for (const auto offset : TypeInfoOffsets(library, offsetsAt, count, segments[TypeInfos])) {
        const auto record = Within(segments[TypeInfos], offset, TypeInfoSize);
        Need(record.has_value(), TypeInfosDamaged);
        const auto kind = library.U32(*record, TypeInfosDamaged) & 0xFu;
        Need(kind < KindCount, TypeInfosDamaged);
        const auto guidAt = library.I32(*record + 0x2C, TypeInfosDamaged);
        const auto flags = library.U32(*record + 0x30, TypeInfosDamaged);
        const bool creatable = kind == KindCoclass && (flags & CanCreate) != 0;
        if (guidAt == Absent && !creatable) continue;  // a type without a GUID of its own
        auto guid = GuidText(library, segments[Guids], guidAt);
        if (creatable && listed.insert(guid).second) found.creatableClasses.push_back(std::move(guid));
    }
    return found;
}

}  // namespace

const wchar_t* PlatformKey(SysKind sysKind) {
    switch (sysKind) {
    case SysKind::Win16: return L"win16";
    case SysKind::Win32: return L"win32";
    case SysKind::Mac: return L"mac";
    case SysKind::Win64: return L"win64";
    }
    return L"win32";
}

Reading ReadTypeLibrary(const modPeFile::Image& image, std::uint16_t resourceId) {
    const modPeResources::ResourceKey key{modPeResources::TypeLibraryResource.typeName, 0, resourceId};
    const auto found = modPeResources::Find(image, key, MaxLibrarySize);
    if (found.damage != modPeFile::Damage::None) {
        return {std::nullopt, ResourceReason(found.damage), found.damage == modPeFile::Damage::ReadFailed,
                image.Machine()};
    }
    try {
        return {ReadMsft(Bytes(found.bytes)), {}, false, image.Machine()};
    } catch (const Damaged& damaged) {
        return {std::nullopt, damaged.reason, false, image.Machine(), damaged.reason == SltgFormat};
    }
}

Reading ReadPlainTypeLibrary(const modPeFile::File& file) {
    Reading reading;
    if (file.size > MaxLibrarySize) {
        reading.reason = L"it is larger than any type library";
        return reading;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.size));
    if (!file.read(0, bytes.data(), bytes.size())) {
        reading.reason = ResourceReason(modPeFile::Damage::ReadFailed);
        reading.readFailed = true;
        return reading;
    }
    try {
        reading.library = ReadMsft(Bytes(bytes));
    } catch (const Damaged& damaged) {
        reading.reason = damaged.reason;
        reading.olderFormat = damaged.reason == SltgFormat;
    }
    return reading;
}

Reading ReadTypeLibrary(const std::vector<std::uint8_t>& file) {
    const auto bytes = modPeFile::InMemory(file.data(), file.size());
    const modPeFile::Image image(bytes);
    return ReadTypeLibrary(image);
}

Reading ReadFileTypeLibrary(const std::wstring& path) {
    const modPeFile::DiskFile file(path);
    if (!file.Opened()) return {std::nullopt, ResourceReason(modPeFile::Damage::ReadFailed), true};
    const modPeFile::Image image(file.File());
    return ReadTypeLibrary(image);
}

}  // namespace modTypeLibrary
