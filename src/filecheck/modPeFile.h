#pragma once
// A Windows program file's headers and resource directory, read from its bytes by our
// own bounded code. The control file is often damaged, and that is why the program is
// run: every offset, count and size is checked against the file before it is read,
// the walk is bounded by what it reads, and no byte of the file reaches a system parser.
// The file version and the type library are both found through this one walk.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/FileReading.h"

namespace modPeFile {

// The file's bytes from `offset`: true when all `count` of them were read.
using ReadAt = std::function<bool(std::uint64_t offset, std::uint8_t* into, std::size_t count)>;

struct File {
    std::uint64_t size;
    ReadAt read;
};

// Why the walk found no resource: the first structure that was not as it must be.
enum class Damage {
    None,
    NotPe,             // no "MZ" and "PE" headers
    HeadersDamaged,    // the headers or the section table
    NoResource,        // no resource directory, or no such resource in it
    DirectoryDamaged,  // the resource directory
    OutsideFile,       // the resource's data does not lie inside the file
    TooLarge,          // the resource is larger than its reader takes
    ReadFailed,        // the file's bytes could not be read
    ImportsDamaged,    // an import table, or a name in it
};

// Which resource: a type by name ("TYPELIB") or by number (16, the version), and a
// name by number or, when `nameId` is 0, the type's first name. Its first language.
struct ResourceKey {
    const wchar_t* typeName = nullptr;
    std::uint16_t typeId = 0;
    std::uint16_t nameId = 0;
};
inline constexpr ResourceKey TypeLibraryResource{L"TYPELIB", 0, 0};
inline constexpr ResourceKey VersionResource{nullptr, 16, 1};  // RT_VERSION, VS_VERSION_INFO

// Where a resource's data lies in the file.
struct Located {
    Damage damage = Damage::None;
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    std::uint16_t machine = 0;  // the processor the file is built for, once its headers are read
};

constexpr std::uint16_t MachineX86 = 0x14C, MachineX64 = 0x8664;  // IMAGE_FILE_MACHINE_I386, _AMD64

// The resource `key`, no larger than `maxSize` bytes.
Located FindResource(const File& file, const ResourceKey& key, std::uint32_t maxSize);

// A DLL the file imports, by the name its table writes, and whether it is loaded
// only when first used (delay-loaded).
struct ImportedDll {
    std::wstring name;
    bool delayLoaded = false;
};
struct Imports {
    Damage damage = Damage::None;
    std::uint16_t machine = 0;
    std::vector<ImportedDll> dlls;  // each once, in the tables' order: the imports, then the delay-loaded
};
constexpr std::size_t MaxImportedDlls = 1024;  // of each table: far more than any real file has

// Its import and delay-import tables.
Imports ReadImports(const File& file);

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
    const modPeFile::File& File() const { return file_; }

private:
    platform::file::UniqueFile handle_;
    bool opened_ = false;
    modPeFile::File file_;
};

}  // namespace modPeFile
