// Paths: the trailing backslash, the file test and the Windows folder.
#include "TestSupport.h"
#include "filecheck/modFileDirExists_v2.h"
#include "filecheck/modSpecialFoldersWin.h"

namespace {

using fake::S;

class FoldersTest : public test::VelmoraTest {};

TEST_F(FoldersTest, AddBackslashAppendsOneUnlessThePathEndsInOne) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"", L"\\"}, {L"C:\\Windows", L"C:\\Windows\\"}, {L"C:\\Windows\\", L"C:\\Windows\\"}, {L"C:/", L"C:/\\"}};
    for (const auto& [path, expected] : cases) EXPECT_EQ(modSpecialFoldersWin::AddBackslash(path), expected) << path;
}

TEST_F(FoldersTest, FileExistsOnlyForAnExistingNonFolder) {
    const struct {
        int exists;
        std::uint32_t folder;
        bool file, folderTested;
    } cases[] = {{1, 0, true, true}, {1, 16, false, true}, {0, 0, false, false}, {2, 0, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.exists << " " << c.folder);
        fake::Reset();
        S().pathExists[L"C:\\a"] = c.exists;
        S().pathIsFolder[L"C:\\a"] = c.folder;
        EXPECT_EQ(modFileDirExists_v2::FileExists(L"C:\\a"), c.file);
        EXPECT_EQ(S().folderTests.size(), c.folderTested ? 1u : 0u);
    }
}

TEST_F(FoldersTest, SpecialFolderIsThePathBeforeTheNulAskedForOnceMadeHiddenWindow) {
    S().folders[36] = L"C:\\Windows";
    EXPECT_EQ(modSpecialFoldersWin::GetSpecialFolder(36), L"C:\\Windows");
    EXPECT_EQ(modSpecialFoldersWin::GetSpecialFolder(99), L"");

    ASSERT_EQ(fake::HiddenWindows().size(), 1u);  // made on the first call only
    EXPECT_EQ(fake::HiddenWindows()[0].caption, L"Form1");
    EXPECT_EQ(fake::HiddenWindows()[0].iconId, 1);  // the program's icon
    ASSERT_EQ(S().folderRequests.size(), 2u);
    for (const auto& request : S().folderRequests) {
        EXPECT_EQ(request.owner, fake::HiddenWindow);
        EXPECT_EQ(request.flags, 1u);  // SHGFP_TYPE_DEFAULT
        EXPECT_EQ(request.buffer, std::wstring(260, L' '));
    }
    EXPECT_EQ(S().folderRequests[0].csidl, 36);
}

}  // namespace
