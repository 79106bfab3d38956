// The version-resource port and the file version text made from it. The test program
// carries the program's version resource (VELMORA_VERSION); system DLLs are read a second
// time through version.dll linked into this test, to compare.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "Win32TestSupport.h"
#include "filecheck/modFileVersion.h"
#include "platform/VersionResource.h"

namespace {

using velmora_test::TempFolder;
namespace versionresource = platform::versionresource;

// The file version a.b.c.d read with the wide functions of version.dll, empty when none.
std::wstring IndependentFileVersion(const std::wstring& path) {
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &unused);
    if (size == 0) return {};
    std::vector<std::uint8_t> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
    void* root = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", &root, &length) || length < sizeof(VS_FIXEDFILEINFO)) return {};
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, root, sizeof fixed);
    return std::to_wstring(HIWORD(fixed.dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed.dwFileVersionMS)) +
           L"." + std::to_wstring(HIWORD(fixed.dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(fixed.dwFileVersionLS));
}

TEST(FileVersion, OwnProgramReadsAsItsResourceSays) {
    EXPECT_EQ(modFileVersion::GetFileVersion(velmora_test::OwnPath()), VELMORA_VERSION);
}

TEST(FileVersion, FilesWithoutVersionInformationGiveEmptyText) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const auto text = folder / L"plain.txt";
    ASSERT_TRUE(velmora_test::WriteText(text, "no version resource here\r\n"));
    EXPECT_EQ(modFileVersion::GetFileVersion(text), L"");

    const auto empty = folder / L"empty.ocx";
    ASSERT_TRUE(velmora_test::WriteBytes(empty, {}));
    EXPECT_EQ(modFileVersion::GetFileVersion(empty), L"");

    // A file that starts like a program but is none.
    const auto fake = folder / L"fake.ocx";
    ASSERT_TRUE(velmora_test::WriteText(fake, std::string("MZ") + std::string(300, '\x01')));
    EXPECT_EQ(modFileVersion::GetFileVersion(fake), L"");
}

TEST(FileVersion, MissingFileGivesEmptyText) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    EXPECT_EQ(modFileVersion::GetFileVersion(folder / L"MsComCtl.OCX"), L"");
    EXPECT_EQ(modFileVersion::GetFileVersion(L""), L"");
}

TEST(FileVersion, SystemLibrariesMatchTheWideReading) {
    for (const wchar_t* name : {L"kernel32.dll", L"ole32.dll", L"shell32.dll"}) {
        const auto path = velmora_test::SystemFolder() + L"\\" + name;
        const auto expected = IndependentFileVersion(path);
        ASSERT_FALSE(expected.empty()) << "no version resource in the system's " << testing::PrintToString(path);
        EXPECT_EQ(modFileVersion::GetFileVersion(path), expected) << testing::PrintToString(path);
    }
}

TEST(FileVersion, CopyInAFolderWithAnAccentedName) {
    const std::wstring name = L"kopie-\u00E1.exe";  // "kopie-á.exe"
    if (!velmora_test::AnsiCodePageHolds(name)) GTEST_SKIP() << "the ANSI code page has no \u00E1";
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const auto copy = folder / name;
    ASSERT_TRUE(CopyFileW(velmora_test::OwnPath().c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(modFileVersion::GetFileVersion(copy), VELMORA_VERSION);
}

// --- The port itself ---------------------------------------------------------------

TEST(VersionResourcePort, RootQueryFindsTheFixedRecordInsideTheBlock) {
    const auto path = velmora_test::OwnPath();
    const auto size = versionresource::InfoSize(path);
    ASSERT_GT(size, 0u);
    std::vector<std::uint8_t> block(size, 0);
    versionresource::ReadInfo(path, block);
    const auto root = versionresource::QueryRoot(block);
    ASSERT_TRUE(root.found);
    EXPECT_EQ(root.length, modFileVersion::FixedFileInfoSize);
    ASSERT_GE(root.offset, 0);
    ASSERT_LE(static_cast<std::size_t>(root.offset) + modFileVersion::FixedFileInfoSize, block.size());
    std::uint32_t signature = 0;
    std::memcpy(&signature, block.data() + root.offset, sizeof signature);
    EXPECT_EQ(signature, 0xFEEF04BDu);
    EXPECT_EQ(modFileVersion::FileVersionFromBlock(block, root.offset, root.length), VELMORA_VERSION);
}

TEST(VersionResourcePort, NoInformationMeansSizeZero) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const auto text = folder / L"plain.txt";
    ASSERT_TRUE(velmora_test::WriteText(text, "plain"));
    EXPECT_EQ(versionresource::InfoSize(text), 0u);
    EXPECT_EQ(versionresource::InfoSize(folder / L"missing.dll"), 0u);
}

}  // namespace
