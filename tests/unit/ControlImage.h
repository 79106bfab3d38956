#pragma once
// Control files made in the tests: the stand-ins' type library (as widl compiles it),
// or a version resource, in a small PE image of fixed layout, so that a test can damage one structure at a
// known offset; and the stand-in files as the linker made them.
#include <cstdint>
#include <string>
#include <vector>

namespace test {

// The image's layout: file offsets of what a test may damage.
namespace image {
constexpr std::size_t SectionCount = 0x46;    // the COFF header's count of sections
constexpr std::size_t Section = 0x138;        // the one section's record
constexpr std::size_t Resources = 0x200;      // the resource directory's root
constexpr std::size_t TypeEntry = 0x210;      // the root's entry: the type TYPELIB
constexpr std::size_t NameEntry = 0x228;      // the type's entry: the name 1
constexpr std::size_t LanguageEntry = 0x240;  // the name's entry: the language
constexpr std::size_t DataEntry = 0x248;      // where the type library lies
constexpr std::size_t TypeName = 0x262;       // "TYPELIB" in UTF-16
constexpr std::size_t Library = 0x280;        // the type library
}  // namespace image

// With `typeId`, the resource is of that numbered type (16: the version) instead.
std::vector<std::uint8_t> ImageWith(const std::vector<std::uint8_t>& library, std::uint16_t typeId = 0);
// A DLL as a linker lays it out, its tables and names in its one section.
struct Import {
    std::string dll;
    std::vector<std::string> functions{};  // "#5" asks for ordinal 5
    bool delayed = false;
};
struct PeSpec {
    std::uint16_t machine = 0x14C;  // PE32+ for any other
    std::vector<Import> imports{};
    std::vector<std::string> exports{};  // its names, in the table's order; "#5" an ordinal without a name
    std::string manifest{};              // RT_MANIFEST 2, the one the loader applies to a DLL
    std::string assemblyManifest{};      // RT_MANIFEST 1, an assembly's own
};
std::vector<std::uint8_t> BuildPe(const PeSpec& spec);
// A DLL for `machine` that imports `dlls` (no function of them) and delay-loads `delayed`.
std::vector<std::uint8_t> ImageImporting(const std::vector<std::string>& dlls, const std::vector<std::string>& delayed,
                                         std::uint16_t machine = 0x14C);
// A version resource's root block: VS_VERSIONINFO and its fixed file information,
// the record at offset 40.
std::vector<std::uint8_t> VersionRoot(std::uint32_t ms, std::uint32_t ls);
std::vector<std::uint8_t> StandInLibrary();  // ControlTypeLib.tlb
// A stand-in control file as tests/controlfiles built it ("valid", "no-version", ...).
std::vector<std::uint8_t> StandInFile(const std::wstring& variant);

void Put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value);
void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value);
// A copy of `bytes` with the 32-bit field at `at` (a 16-bit one with `word`) set to `value`.
std::vector<std::uint8_t> Changed(std::vector<std::uint8_t> bytes, std::size_t at, std::uint32_t value,
                                  bool word = false);

}  // namespace test
