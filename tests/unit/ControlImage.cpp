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

std::vector<std::uint8_t> Changed(std::vector<std::uint8_t> bytes, std::size_t at, std::uint32_t value, bool word) {
    word ? Put16(bytes, at, static_cast<std::uint16_t>(value)) : Put32(bytes, at, value);
    return bytes;
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

namespace {

// A section under construction, at RVA 0x1000: each piece appended at the next RVA.
class Section {
public:
    static constexpr std::uint32_t Rva = 0x1000;

    std::uint32_t Append(const std::vector<std::uint8_t>& bytes) {
        const auto at = Next();
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        while (bytes_.size() % 4 != 0) bytes_.push_back(0);
        return at;
    }
    std::uint32_t Zeros(std::size_t count) { return Append(std::vector<std::uint8_t>(count)); }
    std::uint32_t Text(const std::string& text) {
        std::vector<std::uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        return Append(bytes);
    }
    std::uint32_t Next() const { return static_cast<std::uint32_t>(Rva + bytes_.size()); }
    void Put(std::uint32_t rva, std::uint64_t value, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) bytes_[rva - Rva + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// The thunks of an import's functions, then their hints and names: the table's RVA.
std::uint32_t Thunks(Section& section, const std::vector<std::string>& functions, std::size_t thunkSize) {
    const auto table = section.Zeros(thunkSize * (functions.size() + 1));
    for (std::size_t i = 0; i < functions.size(); ++i) {
        const auto& function = functions[i];
        std::uint64_t thunk = 0;
        if (function.rfind('#', 0) == 0) {
            thunk = std::stoul(function.substr(1)) | (thunkSize == 8 ? 1ull << 63 : 1ull << 31);
        } else {
            std::vector<std::uint8_t> hintName(2 + function.size() + 1);
            std::copy(function.begin(), function.end(), hintName.begin() + 2);
            thunk = section.Append(hintName);
        }
        section.Put(static_cast<std::uint32_t>(table + i * thunkSize), thunk, thunkSize);
    }
    return table;
}

// A resource directory of RT_MANIFEST with these names (IDs) and texts, at its RVA.
std::uint32_t Manifests(Section& section, const std::vector<std::pair<std::uint16_t, std::string>>& manifests) {
    const auto root = section.Zeros(16 + 8);
    const auto names = section.Zeros(16 + 8 * manifests.size());
    section.Put(root + 14, 1, 2);
    section.Put(root + 16, 24, 4);
    section.Put(root + 20, 0x80000000u | (names - root), 4);
    section.Put(names + 14, manifests.size(), 2);
    for (std::size_t i = 0; i < manifests.size(); ++i) {
        const auto language = section.Zeros(16 + 8);
        const auto data = section.Zeros(16);
        const auto text = section.Append({manifests[i].second.begin(), manifests[i].second.end()});
        section.Put(static_cast<std::uint32_t>(names + 16 + 8 * i), manifests[i].first, 4);
        section.Put(static_cast<std::uint32_t>(names + 20 + 8 * i), 0x80000000u | (language - root), 4);
        section.Put(language + 14, 1, 2);
        section.Put(language + 16, 0x409, 4);
        section.Put(language + 20, data - root, 4);
        section.Put(data, text, 4);
        section.Put(data + 4, manifests[i].second.size(), 4);
    }
    return root;
}

}  // namespace

std::vector<std::uint8_t> BuildPe(const PeSpec& spec) {
    const bool wide = spec.machine != 0x14C;
    const std::size_t thunkSize = wide ? 8 : 4;
    Section section;
    std::uint32_t directories[16][2] = {};

    std::vector<const Import*> loaded, delayed;
    for (const auto& import : spec.imports) (import.delayed ? delayed : loaded).push_back(&import);
    if (!loaded.empty()) {
        const auto table = section.Zeros(20 * (loaded.size() + 1));
        for (std::size_t i = 0; i < loaded.size(); ++i) {
            const auto thunks = Thunks(section, loaded[i]->functions, thunkSize);
            const auto descriptor = static_cast<std::uint32_t>(table + 20 * i);
            section.Put(descriptor, thunks, 4);
            section.Put(descriptor + 12, section.Text(loaded[i]->dll), 4);
            section.Put(descriptor + 16, thunks, 4);
        }
        directories[1][0] = table;
        directories[1][1] = static_cast<std::uint32_t>(20 * (loaded.size() + 1));
    }
    if (!delayed.empty()) {
        const auto table = section.Zeros(32 * (delayed.size() + 1));
        for (std::size_t i = 0; i < delayed.size(); ++i) {
            const auto names = Thunks(section, delayed[i]->functions, thunkSize);
            const auto descriptor = static_cast<std::uint32_t>(table + 32 * i);
            section.Put(descriptor, 1, 4);  // its addresses are RVAs
            section.Put(descriptor + 4, section.Text(delayed[i]->dll), 4);
            section.Put(descriptor + 16, names, 4);
        }
        directories[13][0] = table;
        directories[13][1] = static_cast<std::uint32_t>(32 * (delayed.size() + 1));
    }
    if (!spec.exports.empty()) {
        std::vector<std::string> names;
        std::size_t functions = 0;
        for (const auto& name : spec.exports) {
            if (name.rfind('#', 0) == 0) {
                functions = std::max<std::size_t>(functions, std::stoul(name.substr(1)));
            } else {
                names.push_back(name);
            }
        }
        functions = std::max(functions, names.size());
        const auto directory = section.Zeros(40);
        const auto addresses = section.Zeros(4 * functions);
        for (std::size_t i = 0; i < functions; ++i)
            section.Put(static_cast<std::uint32_t>(addresses + 4 * i), 0x1000, 4);
        const auto pointers = section.Zeros(4 * names.size());
        const auto ordinals = section.Zeros(2 * names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            section.Put(static_cast<std::uint32_t>(pointers + 4 * i), section.Text(names[i]), 4);
            section.Put(static_cast<std::uint32_t>(ordinals + 2 * i), i, 2);
        }
        section.Put(directory + 16, 1, 4);  // ordinals from 1
        section.Put(directory + 20, functions, 4);
        section.Put(directory + 24, names.size(), 4);
        section.Put(directory + 28, addresses, 4);
        section.Put(directory + 32, pointers, 4);
        section.Put(directory + 36, ordinals, 4);
        directories[0][0] = directory;
        directories[0][1] = 40;
    }
    std::vector<std::pair<std::uint16_t, std::string>> manifests;
    if (!spec.assemblyManifest.empty()) manifests.emplace_back(1, spec.assemblyManifest);
    if (!spec.manifest.empty()) manifests.emplace_back(2, spec.manifest);
    if (!manifests.empty()) directories[2][0] = Manifests(section, manifests);

    // The headers: DOS, PE, the optional header (PE32 or PE32+), one section.
    constexpr std::uint32_t Headers = 0x200, Coff = 0x44, Optional = 0x58;
    const std::uint32_t optionalSize = wide ? 0xF0 : 0xE0;
    const auto size = static_cast<std::uint32_t>(section.Bytes().size());
    std::vector<std::uint8_t> bytes(Headers);
    bytes[0] = 'M', bytes[1] = 'Z';
    Put32(bytes, 0x3C, 0x40);
    bytes[0x40] = 'P', bytes[0x41] = 'E';
    Put16(bytes, Coff, spec.machine);
    Put16(bytes, Coff + 2, 1);
    Put16(bytes, Coff + 16, static_cast<std::uint16_t>(optionalSize));
    Put16(bytes, Optional, wide ? 0x20B : 0x10B);
    Put32(bytes, Optional + (wide ? 24 : 28), 0x10000000);  // the image base
    Put32(bytes, Optional + 32, 0x1000);                    // section alignment
    Put32(bytes, Optional + 36, 0x200);                     // file alignment
    Put32(bytes, Optional + 56, Section::Rva + size);       // the image's size
    Put32(bytes, Optional + 60, Headers);
    const std::uint32_t directoriesAt = Optional + (wide ? 112 : 96);
    Put32(bytes, directoriesAt - 4, 16);
    for (std::size_t i = 0; i < 16; ++i) {
        Put32(bytes, directoriesAt + 8 * i, directories[i][0]);
        Put32(bytes, directoriesAt + 8 * i + 4, directories[i][1]);
    }
    const std::uint32_t sectionAt = Optional + optionalSize;
    Put32(bytes, sectionAt + 8, size);
    Put32(bytes, sectionAt + 12, Section::Rva);
    Put32(bytes, sectionAt + 16, size);
    Put32(bytes, sectionAt + 20, Headers);
    bytes.insert(bytes.end(), section.Bytes().begin(), section.Bytes().end());
    return bytes;
}

std::vector<std::uint8_t> ImageImporting(const std::vector<std::string>& dlls, const std::vector<std::string>& delayed,
                                         std::uint16_t machine) {
    PeSpec spec;
    spec.machine = machine;
    for (const auto& dll : dlls) spec.imports.push_back({dll, {}, false});
    for (const auto& dll : delayed) spec.imports.push_back({dll, {}, true});
    return BuildPe(spec);
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
