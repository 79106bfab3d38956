// The file version, read from a file's bytes: the stand-ins as the linker made them,
// and a version resource damaged in the ways that crashed the system's reader.
#include <gtest/gtest.h>

#include <random>

#include "ControlImage.h"
#include "TestSupport.h"
#include "filecheck/modFileVersion.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace image = test::image;

constexpr std::uint32_t MS = 0x00060001, LS = 0x0062002E;  // 6.1.98.46

// The version read from `file`; every read asked of it must lie inside it.
std::wstring VersionOf(const Bytes& file) {
    const auto inMemory = modPeFile::InMemory(file.data(), file.size());
    return modFileVersion::ReadFileVersion({file.size(), [&](std::uint64_t offset, std::uint8_t* into, std::size_t n) {
                                                EXPECT_TRUE(offset <= file.size() && n <= file.size() - offset);
                                                return inMemory.read(offset, into, n);
                                            }});
}

Bytes Changed(Bytes bytes, std::size_t at, std::uint32_t value) {
    test::Put32(bytes, at, value);
    return bytes;
}
Bytes Changed16(Bytes bytes, std::size_t at, std::uint16_t value) {
    test::Put16(bytes, at, value);
    return bytes;
}
Bytes Cut(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

TEST(FileVersion, FormatsFourUnsignedNumbers) {
    EXPECT_EQ(modFileVersion::FormatFileVersion(6, 1, 98, 46), L"6.1.98.46");
    EXPECT_EQ(modFileVersion::FormatFileVersion(0, 0, 0, 0), L"0.0.0.0");
    EXPECT_EQ(modFileVersion::FormatFileVersion(32768, 65535, 32768, 65535), L"32768.65535.32768.65535");
}

TEST(FileVersion, DamageReadsAsNoVersion) {
    const Bytes file = test::VersionImageWith(test::VersionRoot(MS, LS));
    const std::size_t root = image::Library;
    std::mt19937 random(11);
    Bytes noise(4096);
    for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
    const struct {
        const char* name;
        Bytes bytes;
        const wchar_t* version;
    } cases[] = {
        {"the stand-in as the linker made it", test::StandInFile(L"valid"), L"6.1.98.46"},
        {"a product version of its own", test::StandInFile(L"product-differs"), L"6.1.98.46"},
        {"a stand-in without resources", test::StandInFile(L"no-version"), L""},
        {"the test image", file, L"6.1.98.46"},
        {"the largest numbers", test::VersionImageWith(test::VersionRoot(0xFFFF8000u, 0x8000FFFFu)),
         L"65535.32768.32768.65535"},
        {"empty", {}, L""},
        {"random bytes", noise, L""},
        {"the PE header past the end", Changed(file, 0x3C, 0xFFFFFFF0u), L""},
        {"sections past any file", Changed16(file, image::SectionCount, 0xFFFF), L""},
        {"no optional header", Changed16(file, 0x54, 0), L""},
        {"cut in the resource directory", Cut(file, image::LanguageEntry), L""},
        {"cut in the record", Cut(file, root + 60), L""},
        {"another name than VS_VERSION_INFO", Changed(file, image::NameEntry, 2), L""},
        {"the language entry far away", Changed(file, image::LanguageEntry + 4, 0x7FFFFFF0u), L""},
        {"a language that is a directory", Changed(file, image::LanguageEntry + 4, 0x80000000u), L""},
        {"the data outside every section", Changed(file, image::DataEntry, 0x7FFF0000u), L""},
        {"the data's size past the file's end", Changed(file, image::DataEntry + 4, 93), L""},
        {"the data's size near 2 GiB", Changed(file, image::DataEntry + 4, 0x7FFFFFF0u), L""},
        {"the data shorter than the root", Changed(file, image::DataEntry + 4, 91), L""},
        {"the root's length past the data", Changed16(file, root, 93), L""},
        {"the root's length below its record", Changed16(file, root, 91), L""},
        {"the root marked as text", Changed16(file, root + 4, 1), L""},
        {"a value shorter than the record", Changed16(file, root + 2, 51), L""},
        {"another key", Changed16(file, root + 6, 'W'), L""},
        {"the key's NUL missing", Changed16(file, root + 36, 'X'), L""},
        {"another signature", Changed(file, root + 40, 0xFEEF04BCu), L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VersionOf(c.bytes), c.version);
    }
}

class FileVersionOnDisk : public test::VelmoraTest {};

TEST_F(FileVersionOnDisk, AFileThatCannotBeOpenedHasNoVersion) {
    fake::AddFile(test::Control, test::ControlBytes());
    EXPECT_EQ(modFileVersion::GetFileVersion(test::Control), L"6.1.98.46");
    fake::S().files[test::Control].openable = false;
    EXPECT_EQ(modFileVersion::GetFileVersion(test::Control), L"");
    EXPECT_EQ(modFileVersion::GetFileVersion(L"C:\\missing.ocx"), L"");
    EXPECT_EQ(fake::S().closes, 1);
}

}  // namespace
