#include "ControlImage.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "VelmoraControlFiles.h"

namespace test {

namespace {

std::vector<std::uint8_t> FileBytes(const char* path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error(std::string("no stand-in file ") + path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

void Put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    Put16(bytes, at, static_cast<std::uint16_t>(value));
    Put16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::vector<std::uint8_t> ImageWith(const std::vector<std::uint8_t>& library, std::uint16_t typeId) {
    using namespace image;
    constexpr std::uint32_t Rva = 0x1000, Subdirectory = 0x80000000u;
    const auto sectionSize = static_cast<std::uint32_t>(Library - Resources + library.size());
    std::vector<std::uint8_t> bytes(Library);
    bytes[0] = 'M', bytes[1] = 'Z';
    Put32(bytes, 0x3C, 0x40);
    bytes[0x40] = 'P', bytes[0x41] = 'E';
    Put16(bytes, 0x44, 0x14C);  // i386
    Put16(bytes, SectionCount, 1);
    Put16(bytes, 0x54, 0xE0);   // the optional header's size
    Put16(bytes, 0x58, 0x10B);  // PE32
    Put32(bytes, 0x58 + 92, 16);
    Put32(bytes, 0x58 + 96 + 16, Rva);  // the resource directory
    Put32(bytes, 0x58 + 96 + 20, sectionSize);
    Put32(bytes, Section + 8, sectionSize);
    Put32(bytes, Section + 12, Rva);
    Put32(bytes, Section + 16, sectionSize);
    Put32(bytes, Section + 20, Resources);
    // Three directories of one entry each, then the data entry and the type's name.
    if (typeId == 0) {
        Put16(bytes, Resources + 12, 1);  // one named entry
        Put32(bytes, TypeEntry, Subdirectory | (TypeName - 2 - Resources));
    } else {
        Put16(bytes, Resources + 14, 1);  // one ID entry
        Put32(bytes, TypeEntry, typeId);
    }
    Put32(bytes, TypeEntry + 4, Subdirectory | (NameEntry - 16 - Resources));
    Put16(bytes, NameEntry - 2, 1);  // one ID entry
    Put32(bytes, NameEntry, 1);
    Put32(bytes, NameEntry + 4, Subdirectory | (LanguageEntry - 16 - Resources));
    Put16(bytes, LanguageEntry - 2, 1);
    Put32(bytes, LanguageEntry, 0x409);
    Put32(bytes, LanguageEntry + 4, DataEntry - Resources);
    Put32(bytes, DataEntry, Rva + (Library - Resources));
    Put32(bytes, DataEntry + 4, static_cast<std::uint32_t>(library.size()));
    Put16(bytes, TypeName - 2, 7);
    const std::string name = "TYPELIB";
    for (std::size_t i = 0; i < name.size(); ++i) Put16(bytes, TypeName + 2 * i, static_cast<std::uint16_t>(name[i]));
    bytes.insert(bytes.end(), library.begin(), library.end());
    return bytes;
}

std::vector<std::uint8_t> ImageImporting(const std::vector<std::string>& dlls, const std::vector<std::string>& delayed,
                                         std::uint16_t machine) {
    constexpr std::uint32_t Rva = 0x1000, Headers = 0x200, Optional = 0x58;
    const std::size_t delayAt = (dlls.size() + 1) * 20;
    std::vector<std::uint8_t> section(delayAt + (delayed.size() + 1) * 32);
    const auto name = [&section](const std::string& text) {
        const auto at = static_cast<std::uint32_t>(Rva + section.size());
        section.insert(section.end(), text.begin(), text.end() + 1);  // with its NUL
        return at;
    };
    for (std::size_t i = 0; i < dlls.size(); ++i) Put32(section, i * 20 + 12, name(dlls[i]));
    for (std::size_t i = 0; i < delayed.size(); ++i) {
        Put32(section, delayAt + i * 32, 1);  // its addresses are RVAs
        Put32(section, delayAt + i * 32 + 4, name(delayed[i]));
    }
    // The same headers as ImageWith's: one section, an optional header of 0xE0 bytes, 16 directories.
    std::vector<std::uint8_t> bytes = ImageWith({});
    bytes.resize(Headers);
    Put16(bytes, 0x44, machine);
    std::fill(bytes.begin() + Optional + 96, bytes.end(), std::uint8_t{0});  // no resources, no section yet
    Put32(bytes, Optional + 96 + 8, Rva);                                             // the imports
    Put32(bytes, Optional + 96 + 13 * 8, static_cast<std::uint32_t>(Rva + delayAt));  // the delay-loaded
    Put32(bytes, Optional + 0xE0 + 12, Rva);
    Put32(bytes, Optional + 0xE0 + 16, static_cast<std::uint32_t>(section.size()));
    Put32(bytes, Optional + 0xE0 + 20, Headers);
    bytes.insert(bytes.end(), section.begin(), section.end());
    return bytes;
}

std::vector<std::uint8_t> VersionRoot(std::uint32_t ms, std::uint32_t ls) {
    std::vector<std::uint8_t> root(92, 0);
    Put16(root, 0, 92);  // wLength
    Put16(root, 2, 52);  // wValueLength
    const std::u16string key = u"VS_VERSION_INFO";
    for (std::size_t i = 0; i < key.size(); ++i) Put16(root, 6 + 2 * i, static_cast<std::uint16_t>(key[i]));
    const std::uint32_t fields[] = {0xFEEF04BDu, 0x00010000u, ms, ls};  // signature, structure version, file version
    for (std::size_t i = 0; i < 4; ++i) Put32(root, 40 + 4 * i, fields[i]);
    return root;
}

std::vector<std::uint8_t> StandInLibrary() { return FileBytes(VELMORA_STAND_IN_TYPELIB); }

std::vector<std::uint8_t> StandInFile(const std::wstring& variant) {
    for (const auto& v : velmora_controlfiles::Variants) {
        if (v.name == variant) return FileBytes(v.hostPath);
    }
    throw std::runtime_error("no such stand-in");
}

}  // namespace test
