// The file version, read from a file's bytes: a version resource damaged in the ways
// that crashed the system's reader reads as none.
#include "ControlImage.h"
#include "TestSupport.h"
#include "filecheck/modFileVersion.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace image = test::image;
using test::Changed;

TEST(FileVersion, FormatsFourUnsignedNumbers) {
    EXPECT_EQ(modFileVersion::FormatFileVersion(6, 1, 98, 46), L"6.1.98.46");
    EXPECT_EQ(modFileVersion::FormatFileVersion(0, 0, 0, 0), L"0.0.0.0");
    EXPECT_EQ(modFileVersion::FormatFileVersion(32768, 65535, 32768, 65535), L"32768.65535.32768.65535");
}

TEST(FileVersion, DamageReadsAsNoVersion) {
    const Bytes file = test::ImageWith(test::VersionRoot(0x00060001, 0x0062002E), 16);
    const std::size_t root = image::Library;
    const struct {
        const char* name;
        Bytes bytes;
        const wchar_t* version;
    } cases[] = {
        {"the test image", file, L"6.1.98.46"},
        {"the PE header past the end", Changed(file, 0x3C, 0xFFFFFFF0u), L""},
        {"sections past any file", Changed(file, image::SectionCount, 0xFFFF, true), L""},
        {"another name than VS_VERSION_INFO", Changed(file, image::NameEntry, 2), L""},
        {"the language entry far away", Changed(file, image::LanguageEntry + 4, 0x7FFFFFF0u), L""},
        {"the data outside every section", Changed(file, image::DataEntry, 0x7FFF0000u), L""},
        {"the data's size past the file's end", Changed(file, image::DataEntry + 4, 93), L""},
        {"the data's size near 2 GiB", Changed(file, image::DataEntry + 4, 0x7FFFFFF0u), L""},
        {"the root's length past the data", Changed(file, root, 93, true), L""},
        {"the root's length below its record", Changed(file, root, 91, true), L""},
        {"the root marked as text", Changed(file, root + 4, 1, true), L""},
        {"a value shorter than the record", Changed(file, root + 2, 51, true), L""},
        {"another key", Changed(file, root + 6, 'W', true), L""},
        {"another signature", Changed(file, root + 40, 0xFEEF04BCu), L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bytes = modPeFile::InMemory(c.bytes.data(), c.bytes.size());
        const modPeFile::Image image(bytes);
        EXPECT_EQ(modFileVersion::ReadFileVersion(image), c.version);
    }
}

}  // namespace
