// The control file's type library, read from its bytes: the stand-ins' library in
// whole files, and the same damaged the ways a cut download or a bad disk damages it.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "ControlImage.h"
#include "VelmoraControlFiles.h"
#include "filecheck/modTypeLibrary.h"
#include "platform/LittleEndian.h"

namespace {

using test::Put32;
using Bytes = std::vector<std::uint8_t>;
namespace image = test::image;

const wchar_t Whole[] = L"";

// The reading of `file` (fuzzing owns reads outside it).
modTypeLibrary::Reading Read(const Bytes& file) { return modTypeLibrary::ReadTypeLibrary(file); }

Bytes Cut(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

using test::Changed;

// The stand-in library in the test image, with one 32-bit field of it changed.
Bytes LibraryField(std::size_t at, std::uint32_t value) {
    return Changed(test::ImageWith(test::StandInLibrary()), image::Library + at, value);
}

std::uint32_t Get32(const Bytes& bytes, std::size_t at) {
    return platform::ReadLittleEndian<std::uint32_t>(&bytes[at]);
}

// The stand-in library in the test image, changed by `change`, which gets the library's bytes.
Bytes LibraryChanged(const std::function<void(Bytes&)>& change) {
    Bytes library = test::StandInLibrary();
    change(library);
    return test::ImageWith(library);
}

Bytes Noise(std::size_t size) {
    std::mt19937 random(7);
    Bytes bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

TEST(TypeLibrary, EachFileReadsAsItsBytesSay) {
    const Bytes library = test::StandInLibrary();
    const Bytes file = test::ImageWith(library);
    const std::size_t end = file.size();
    const std::size_t typeInfoCount = 0x20, segmentsAt = 0x54 + 4 * 3;  // the stand-in has three types
    const struct {
        const char* name;
        Bytes bytes;
        const wchar_t* reason;  // Whole: the stand-ins' library is read (fuzzing owns the rest)
    } cases[] = {
        {"the stand-in as the linker made it", test::StandInFile(L"valid"), Whole},
        {"the stand-in in the test image", file, Whole},
        {"TYPELIB named in lower case", Changed(file, image::TypeName, 0x00790074), Whole},
        {"a stand-in without resources", test::StandInFile(L"no-version"), L"it has no type library resource"},
        {"a stand-in whose tables are zeroed", test::StandInFile(L"damaged-typelib"),
         L"its type library's segment directory is damaged"},
        {"empty", {}, L"the file is not a Windows program file"},
        {"one byte", Cut(file, 1), L"the file is not a Windows program file"},
        {"random bytes", Noise(4096), L"the file is not a Windows program file"},
        {"cut in the PE headers", Cut(file, 0x100), L"its program headers are damaged"},
        {"cut in the resource directory", Cut(file, image::LanguageEntry), L"its resource directory is damaged"},
        {"cut at half", Cut(file, end / 2), L"its type library resource does not lie inside the file"},
        {"cut one byte short", Cut(file, end - 1), L"its type library resource does not lie inside the file"},
        {"sections past any file", Changed(file, image::SectionCount, 0xFFFF), L"its program headers are damaged"},
        {"a resource directory that loops", Changed(file, image::NameEntry + 4, 0x80000000u),
         L"its resource directory is damaged"},
        {"a language that is a directory", Changed(file, image::LanguageEntry + 4, 0x80000000u),
         L"its resource directory is damaged"},
        {"a type of another name", Changed(file, image::TypeName, 0x00580054), L"it has no type library resource"},
        {"data outside every section", Changed(file, image::DataEntry, 0x7FFF0000),
         L"its type library resource does not lie inside the file"},
        {"data larger than any control's", Changed(file, image::DataEntry + 4, 0x7FFFFFFF),
         L"its type library resource does not lie inside the file"},
        {"another format", LibraryField(0, 0x47544C53),
         L"its type library is in the SLTG format, which this check does not read"},
        {"no magic", LibraryField(0, 0x12345678),
         L"its type library resource holds no type library in a format this check reads"},
        {"a library of its header alone", test::ImageWith(Cut(library, 0x54)),
         L"its type library's type-info offsets are damaged"},
        {"a type-info count out of range", LibraryField(typeInfoCount, 0x7FFFFFFF),
         L"its type library declares more types than any control's"},
        {"a negative type-info count", LibraryField(typeInfoCount, 0xFFFFFFFF),
         L"its type library's type-info offsets are damaged"},
        {"a segment's offset out of range", LibraryField(segmentsAt + 5 * 16, 0x7FFFFF00),
         L"its type library's segment directory is damaged"},
        {"a segment's length out of range", LibraryField(segmentsAt + 7 * 16 + 4, 0x7FFFFF00),
         L"its type library's segment directory is damaged"},
        {"the LIBID past its table", LibraryField(0x08, 0x10000), L"its type library's GUID table is damaged"},
        {"the name past its table", LibraryField(0x38, 0x10000), L"its type library's name table is damaged"},
        {"a type-info offset out of range", LibraryField(0x54, 0x7FFFFFF0),
         L"its type library's type-info records are damaged"},
        {"a type-info table shorter than its count", LibraryField(segmentsAt + 4, 200),
         L"its type library's type-info offsets are damaged"},
        {"two offsets of one record", LibraryField(0x58, 0), L"its type library's type-info offsets are damaged"},
        {"more types than any control's", LibraryField(typeInfoCount, 0x10000),
         L"its type library declares more types than any control's"},
        {"no name", LibraryField(0x38, 0xFFFFFFFF), L"its type library has no name"},
        {"a null LIBID", LibraryChanged([&](Bytes& bytes) {
             const std::size_t at = Get32(bytes, segmentsAt + 5 * 16) + Get32(bytes, 0x08);
             std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), 16, 0);
         }),
         L"its type library's LIBID is the null GUID"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto reading = Read(c.bytes);
        EXPECT_EQ(reading.reason, c.reason);
        if (*c.reason) continue;
        ASSERT_TRUE(reading.library);
        EXPECT_EQ(reading.library->id, velmora_controlfiles::LibraryId);
        EXPECT_EQ(reading.library->major, velmora_controlfiles::LibraryMajor);
        EXPECT_EQ(reading.library->minor, velmora_controlfiles::LibraryMinor);
        EXPECT_EQ(reading.library->name, L"VelmoraStandInControls");
        EXPECT_EQ(reading.library->creatableClasses,
                  std::vector<std::wstring>(std::begin(velmora_controlfiles::CreatableClasses),
                                            std::end(velmora_controlfiles::CreatableClasses)));
    }
}

TEST(TypeLibrary, AClassNamedTwiceIsListedOnce) {
    // Every coclass's record names the GUID the last one names.
    const Bytes file = LibraryChanged([](Bytes& bytes) {
        const std::size_t records = Get32(bytes, 0x54 + 4 * 3);
        for (std::size_t at = records; at < records + 300; at += 100) {
            if ((Get32(bytes, at) & 0xF) == 5) Put32(bytes, at + 0x2C, Get32(bytes, records + 200 + 0x2C));
        }
    });
    EXPECT_EQ(Read(file).library->creatableClasses.size(), 1u);
}

}  // namespace
