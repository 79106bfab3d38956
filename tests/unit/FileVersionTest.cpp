// The file version from a file's version resource.
#include "TestSupport.h"
#include "filecheck/modFileVersion.h"

namespace {

using fake::S;
using Calls = std::vector<std::wstring>;
const std::wstring Path = L"C:\\Windows\\SysWoW64\\MsComCtl.OCX";

class FileVersionTest : public test::VelmoraTest {
protected:
    std::wstring VersionOf(std::ptrdiff_t offset, std::uint32_t length, bool found = true,
                           std::uint32_t ms = test::ControlMS, std::uint32_t ls = test::ControlLS) {
        S().versions[Path] = {400,
                              test::VersionBlock(400, offset >= 0 ? static_cast<std::size_t>(offset) : 0, ms, ls),
                              {found, offset, length}};
        return modFileVersion::GetFileVersion(Path);
    }
};

TEST_F(FileVersionTest, FormatsFourUnsignedNumbers) {
    EXPECT_EQ(modFileVersion::FormatFileVersion(6, 1, 98, 46), L"6.1.98.46");
    EXPECT_EQ(modFileVersion::FormatFileVersion(0, 0, 0, 0), L"0.0.0.0");
    EXPECT_EQ(modFileVersion::FormatFileVersion(32768, 65535, 32768, 65535), L"32768.65535.32768.65535");
}

TEST_F(FileVersionTest, ReadsTheFixedInformationWhereTheRootQueryPointsTo) {
    EXPECT_EQ(VersionOf(40, 52), L"6.1.98.46");
    EXPECT_EQ(S().versionCalls, (Calls{L"InfoSize", L"ReadInfo:400", L"QueryRoot"}));
    EXPECT_EQ(VersionOf(348, 52), L"6.1.98.46");  // the record ends at the block's last byte
    EXPECT_EQ(VersionOf(40, 52, true, 0x80000000u | 65535u, 0xFFFF8000u), L"32768.65535.65535.32768");
}

TEST_F(FileVersionTest, IsEmptyWithoutAWholeRecordInsideTheBlock) {
    EXPECT_EQ(VersionOf(40, 52, false), L"") << "root query finds nothing";
    EXPECT_EQ(VersionOf(40, 51), L"") << "reported length below 52";
    EXPECT_EQ(VersionOf(349, 52), L"") << "52 bytes would pass the block's end";
    EXPECT_EQ(VersionOf(400, 52), L"") << "offset at the end";
    EXPECT_EQ(VersionOf(-4, 52), L"") << "offset before the block";
}

TEST_F(FileVersionTest, NoVersionInformationStopsAfterTheSizeQuery) {
    EXPECT_EQ(modFileVersion::GetFileVersion(Path), L"");
    EXPECT_EQ(S().versionCalls, (Calls{L"InfoSize"}));
}

}  // namespace
