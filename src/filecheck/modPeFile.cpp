#include "filecheck/modPeFile.h"

#include <algorithm>

#include "platform/LittleEndian.h"

namespace modPeFile {

namespace {

template <class T>
T Field(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return platform::ReadLittleEndian<T>(bytes.data() + at);
}

constexpr std::uint16_t Pe32 = 0x10B, Pe32Plus = 0x20B;
constexpr std::uint32_t MaxDirectories = 16;
constexpr std::uint64_t DataDirectorySize = 8, SectionSize = 40, CoffSize = 24;
// The file is read in pages of this size, each once; past the bound, uncached.
constexpr std::uint64_t PageSize = std::uint64_t{64} * 1024;
constexpr std::size_t MaxCachedBytes = 64u << 20;
// A section alignment past this is no program's: sections are then not rounded.
constexpr std::uint32_t MaxSectionAlignment = 1u << 28;

std::uint64_t RoundUp(std::uint64_t size, std::uint32_t alignment) {
    if (alignment == 0 || alignment > MaxSectionAlignment || (alignment & (alignment - 1)) != 0) return size;
    return (size + alignment - 1) / alignment * alignment;
}

// Ends the header walk with its damage.
struct Stop {
    Damage damage;
};

void Need(bool holds, Damage damage) {
    if (!holds) throw Stop{damage};
}

}  // namespace

Image::Image(const File& file) : file_(file) {
    try {
        ReadHeaders();
    } catch (const Stop& stop) {
        damage_ = stop.damage;
        sections_.clear();
        directories_.clear();
    }
}

void Image::ReadHeaders() {
    // A block of the headers, which must lie inside the file.
    const auto block = [this](std::uint64_t offset, std::uint64_t count, Damage damage) {
        Need(offset <= file_.size && count <= file_.size - offset, damage);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
        Need(count == 0 || FileBytes(offset, bytes.data(), bytes.size()), readFailed_ ? Damage::ReadFailed : damage);
        return bytes;
    };
    const auto dos = block(0, 64, Damage::NotPe);
    Need(dos[0] == 'M' && dos[1] == 'Z', Damage::NotPe);
    const std::uint64_t peAt = Field<std::uint32_t>(dos, 0x3C);
    const auto coff = block(peAt, CoffSize, Damage::NotPe);
    Need(std::equal(coff.begin(), coff.begin() + 4, "PE\0\0"), Damage::NotPe);
    machine_ = Field<std::uint16_t>(coff, 4);
    const auto sectionCount = Field<std::uint16_t>(coff, 6);
    const auto optionalSize = Field<std::uint16_t>(coff, 20);

    const auto header = block(peAt + CoffSize, optionalSize, Damage::HeadersDamaged);
    Need(header.size() >= 2, Damage::HeadersDamaged);
    const auto magic = Field<std::uint16_t>(header, 0);
    Need(magic == Pe32 || magic == Pe32Plus, Damage::HeadersDamaged);
    wide_ = magic == Pe32Plus;
    const std::size_t directoriesAt = wide_ ? 112 : 96;
    Need(header.size() >= directoriesAt, Damage::HeadersDamaged);
    imageBase_ = wide_ ? Field<std::uint32_t>(header, 24) | std::uint64_t{Field<std::uint32_t>(header, 28)} << 32
                       : Field<std::uint32_t>(header, 28);
    const auto sectionAlignment = Field<std::uint32_t>(header, 32);
    const auto headersSize = Field<std::uint32_t>(header, 60);
    const std::uint32_t count =
        std::min<std::uint32_t>(Field<std::uint32_t>(header, directoriesAt - 4), MaxDirectories);
    for (std::size_t at = directoriesAt; directories_.size() < count; at += DataDirectorySize) {
        Need(header.size() >= at + DataDirectorySize, Damage::HeadersDamaged);
        directories_.push_back({Field<std::uint32_t>(header, at), Field<std::uint32_t>(header, at + 4)});
    }

    // The headers are mapped at the image's start, the sections at their RVAs.
    sections_.push_back({0, RoundUp(headersSize, sectionAlignment), headersSize, 0});
    const auto table = block(peAt + CoffSize + optionalSize, SectionSize * sectionCount, Damage::HeadersDamaged);
    for (std::size_t at = 0; at < table.size(); at += SectionSize) {
        const auto virtualSize = Field<std::uint32_t>(table, at + 8);
        const auto rawSize = Field<std::uint32_t>(table, at + 16);
        const auto rawOffset = Field<std::uint32_t>(table, at + 20);
        // A section without a virtual size is as large as its raw data; raw data past
        // the virtual size is not mapped; a section without raw data is zeros.
        const std::uint64_t mapped = virtualSize != 0 ? virtualSize : rawSize;
        sections_.push_back({Field<std::uint32_t>(table, at + 12), RoundUp(mapped, sectionAlignment),
                             rawOffset == 0 ? 0 : std::min<std::uint64_t>(rawSize, mapped), rawOffset});
    }
    std::stable_sort(sections_.begin(), sections_.end(),
                     [](const Section& a, const Section& b) { return a.rva < b.rva; });
}

DataDirectory Image::Directory(DirectoryIndex index) const {
    const auto at = static_cast<std::size_t>(index);
    return at < directories_.size() ? directories_[at] : DataDirectory{};
}

const Image::Section* Image::SectionOf(std::uint64_t rva) const {
    // The last section that starts at or before the RVA, if the RVA lies in it.
    auto after = std::upper_bound(sections_.begin(), sections_.end(), rva,
                                  [](std::uint64_t value, const Section& s) { return value < s.rva; });
    while (after != sections_.begin()) {
        --after;
        if (rva - after->rva < after->mappedSize) return &*after;
        if (after->mappedSize != 0) break;  // an empty section hides none before it
    }
    return nullptr;
}

std::uint64_t Image::Available(std::uint64_t rva) const {
    const Section* section = SectionOf(rva);
    return section ? section->mappedSize - (rva - section->rva) : 0;
}

std::uint64_t Image::InFile(std::uint64_t rva) const {
    const Section* section = SectionOf(rva);
    if (!section || rva - section->rva >= section->fileSize) return 0;
    const std::uint64_t held = section->fileSize - (rva - section->rva);
    const std::uint64_t offset = section->fileOffset + (rva - section->rva);
    return offset >= file_.size ? 0 : std::min(held, file_.size - offset);
}

bool Image::Read(std::uint64_t rva, std::uint8_t* into, std::size_t count) const {
    while (count > 0) {
        const Section* section = SectionOf(rva);
        if (!section) return false;
        const std::uint64_t offsetInSection = rva - section->rva;
        const auto piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, section->mappedSize - offsetInSection));
        // The part that the file holds, then zeros.
        const std::uint64_t fromFile = offsetInSection < section->fileSize
                                           ? std::min<std::uint64_t>(piece, section->fileSize - offsetInSection)
                                           : 0;
        if (fromFile > 0 &&
            !FileBytes(section->fileOffset + offsetInSection, into, static_cast<std::size_t>(fromFile))) {
            return false;
        }
        std::fill(into + fromFile, into + piece, std::uint8_t{0});
        rva += piece;
        into += piece;
        count -= piece;
    }
    return true;
}

std::optional<std::string> Image::Text(std::uint64_t rva, std::size_t maxLength) const {
    std::string text;
    std::uint8_t chunk[256];
    while (text.size() <= maxLength) {
        const auto count = static_cast<std::size_t>(
            std::min<std::uint64_t>({sizeof chunk, Available(rva), std::uint64_t{maxLength} + 1 - text.size()}));
        if (count == 0 || !Read(rva, chunk, count)) return std::nullopt;
        const auto end = std::find(chunk, chunk + count, std::uint8_t{0});
        text.append(chunk, end);
        if (end != chunk + count) return text;
        rva += count;
    }
    return std::nullopt;
}

bool Image::FileBytes(std::uint64_t offset, std::uint8_t* into, std::size_t count) const {
    if (offset > file_.size || count > file_.size - offset) return false;
    while (count > 0) {
        const std::uint64_t page = offset / PageSize, intoPage = offset % PageSize;
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, PageSize - intoPage));
        auto cached = pages_.find(page);
        if (cached == pages_.end() && cachedBytes_ < MaxCachedBytes) {
            const std::uint64_t start = page * PageSize;
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(PageSize, file_.size - start)));
            if (!file_.read(start, bytes.data(), bytes.size())) {
                readFailed_ = true;
                return false;
            }
            cachedBytes_ += bytes.size();
            cached = pages_.emplace(page, std::move(bytes)).first;
        }
        if (cached != pages_.end()) {
            std::copy_n(cached->second.begin() + static_cast<std::ptrdiff_t>(intoPage), piece, into);
        } else if (!file_.read(offset, into, piece)) {
            readFailed_ = true;
            return false;
        }
        offset += piece;
        into += piece;
        count -= piece;
    }
    return true;
}

File InMemory(const std::uint8_t* bytes, std::size_t size) {
    return {size, [bytes, size](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
                if (offset > size || count > size - offset) return false;
                std::copy_n(bytes + offset, count, into);
                return true;
            }};
}

DiskFile::DiskFile(const std::wstring& path) : handle_(platform::file::Open(path)), file_{0, {}} {
    if (!handle_) {
        openFailure_ = platform::file::LastFailure();
        return;
    }
    const auto size = platform::file::WholeSize(handle_.get());
    if (!size) {
        openFailure_ = platform::file::LastFailure();
        return;
    }
    opened_ = true;
    const auto handle = handle_.get();
    file_ = {*size, [handle](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
                 return count <= UINT32_MAX &&
                        platform::file::ReadAt(handle, offset, into, static_cast<std::uint32_t>(count));
             }};
}

}  // namespace modPeFile
