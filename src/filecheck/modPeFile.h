#pragma once
// A Windows program file as the loader maps it, read from its bytes by our own
// bounded code. The control file is often damaged, and that is why the program is
// run: every offset, count and size is checked against the image and the file before
// it is read, and no byte of the file reaches a system parser. Its headers are read
// once; the readers of its resources, imports, exports and manifest then share one
// read of the file's bytes, each page of it read once.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/FileReading.h"

namespace modPeFile {

// The file's bytes from `offset`: true when all `count` of them were read.
using ReadAt = std::function<bool(std::uint64_t offset, std::uint8_t* into, std::size_t count)>;

struct File {
    std::uint64_t size;
    ReadAt read;
};

// The first structure that was not as it must be.
enum class Damage {
    None,
    NotPe,                // no "MZ" and "PE" headers
    HeadersDamaged,       // the headers or the section table
    NoResource,           // no resource directory, or no such resource in it
    DirectoryDamaged,     // the resource directory
    OutsideFile,          // the resource's data does not lie inside the image and the file
    TooLarge,             // the resource is larger than its reader takes
    ReadFailed,           // the file's bytes could not be read
    ImportsDamaged,       // the import table, or what an entry of it names
    DelayImportsDamaged,  // the delay-import table, or what an entry of it names
    ExportsDamaged,       // the export table or a name in it
};

constexpr std::uint16_t MachineX86 = 0x14C, MachineX64 = 0x8664, MachineArm64 = 0xAA64;  // IMAGE_FILE_MACHINE_*

enum class DirectoryIndex : std::uint32_t { Exports = 0, Imports = 1, Resources = 2, DelayImports = 13 };

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

class Image {
public:
    // Reads the headers; HeaderDamage says why when they are not those of a program file.
    explicit Image(const File& file);
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    Image(Image&&) = delete;
    Image& operator=(Image&&) = delete;
    ~Image() = default;

    Damage HeaderDamage() const { return damage_; }
    std::uint16_t Machine() const { return machine_; }
    bool Wide() const { return wide_; }  // PE32+: its thunks and image base are 64-bit
    std::uint64_t ImageBase() const { return imageBase_; }
    DataDirectory Directory(DirectoryIndex index) const;

    // `count` bytes at an RVA, as the mapped image holds them: a section's bytes from
    // the file, then zeros up to its virtual size. False when one of them lies outside
    // the image or the file, or when the file could not be read (ReadFailed says so).
    bool Read(std::uint64_t rva, std::uint8_t* into, std::size_t count) const;
    template <class T>
    std::optional<T> Get(std::uint64_t rva) const;
    // The bytes at an RVA up to their NUL, at most `maxLength` of them; nothing when no
    // NUL comes within the image and that bound.
    std::optional<std::string> Text(std::uint64_t rva, std::size_t maxLength) const;
    bool ReadFailed() const { return readFailed_; }
    // How many bytes from an RVA on lie in the image without a break; 0 outside it.
    std::uint64_t Available(std::uint64_t rva) const;
    // How many of those the file holds (no zeros of a virtual size past its raw data).
    std::uint64_t InFile(std::uint64_t rva) const;

private:
    struct Section {
        std::uint64_t rva = 0;
        std::uint64_t mappedSize = 0;  // in the image, the virtual size rounded to the section alignment
        std::uint64_t fileSize = 0;    // of which bytes of the file; zeros after them
        std::uint64_t fileOffset = 0;
    };
    void ReadHeaders();
    const Section* SectionOf(std::uint64_t rva) const;
    bool FileBytes(std::uint64_t offset, std::uint8_t* into, std::size_t count) const;

    const File& file_;
    Damage damage_ = Damage::None;
    std::uint16_t machine_ = 0;
    bool wide_ = false;
    std::uint64_t imageBase_ = 0;
    std::vector<DataDirectory> directories_;
    std::vector<Section> sections_;  // the headers' own first
    // The file's bytes read so far, in pages; past a bound, bytes are read uncached.
    mutable std::map<std::uint64_t, std::vector<std::uint8_t>> pages_;
    mutable std::size_t cachedBytes_ = 0;
    mutable bool readFailed_ = false;
};

template <class T>
std::optional<T> Image::Get(std::uint64_t rva) const {
    static_assert(std::is_integral_v<T> && std::is_unsigned_v<T>);
    std::uint8_t bytes[sizeof(T)];
    if (!Read(rva, bytes, sizeof(T))) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = sizeof(T); i-- > 0;) value = value << 8 | bytes[i];
    return static_cast<T>(value);
}

// A file held in memory, read only inside its bounds.
File InMemory(const std::uint8_t* bytes, std::size_t size);

// The file at `path`, open for reading through the platform while this object lives.
class DiskFile {
public:
    explicit DiskFile(const std::wstring& path);
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;
    DiskFile(DiskFile&&) = delete;
    DiskFile& operator=(DiskFile&&) = delete;
    ~DiskFile() = default;

    bool Opened() const { return opened_; }
    // Why it was not opened, as an HRESULT; 0 when it was.
    std::int32_t OpenFailure() const { return openFailure_; }
    const modPeFile::File& File() const { return file_; }

private:
    platform::file::UniqueFile handle_;
    bool opened_ = false;
    std::int32_t openFailure_ = 0;
    modPeFile::File file_;
};

// The file at `path` and its image, read from for as long as this object lives.
class OpenImage {
public:
    explicit OpenImage(const std::wstring& path) : file_(path) {
        if (file_.Opened()) image_.emplace(file_.File());
    }

    // Nothing when the file could not be opened.
    const Image* Get() const { return image_ ? &*image_ : nullptr; }
    std::int32_t OpenFailure() const { return file_.OpenFailure(); }

private:
    DiskFile file_;
    std::optional<Image> image_;
};

}  // namespace modPeFile
