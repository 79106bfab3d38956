// The shell port: special folders through the hidden form's window, and the path tests
// behind FileExists.
#include <windows.h>

#include <gtest/gtest.h>

#include "Win32TestSupport.h"
#include "filecheck/frmSpecialFoldersWin.h"
#include "filecheck/modFileDirExists_v2.h"
#include "filecheck/modSpecialFoldersWin.h"
#include "platform/ShellFolders.h"

namespace {

using velmora_test::TempFolder;

struct WindowSearch {
    const wchar_t* className;
    int count;
};

BOOL CALLBACK CountIfOwnOfClass(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<WindowSearch*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[256] = {};
    if (process == GetCurrentProcessId() && GetClassNameW(window, name, 256) > 0 &&
        lstrcmpiW(name, search.className) == 0) {
        ++search.count;
    }
    return TRUE;
}

// Top-level windows of the given class that belong to this process.
int CountOwnWindows(const wchar_t* className) {
    WindowSearch search{className, 0};
    EnumWindows(CountIfOwnOfClass, reinterpret_cast<LPARAM>(&search));
    return search.count;
}

// Message-only windows of the given class that belong to this process.
int CountOwnMessageOnlyWindows(const wchar_t* className) {
    int count = 0;
    for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, className, nullptr); window;
         window = FindWindowExW(HWND_MESSAGE, window, className, nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId()) ++count;
    }
    return count;
}

std::wstring WindowCaption(HWND window) {
    wchar_t text[256] = {};
    const int length = GetWindowTextW(window, text, 256);
    return std::wstring(text, static_cast<std::size_t>(length > 0 ? length : 0));
}

TEST(SpecialFolders, WindowsFolderIsTheSystemsAnswer) {
    const auto expected = velmora_test::WindowsFolder();
    ASSERT_FALSE(expected.empty());
    const auto folder = modSpecialFoldersWin::GetSpecialFolder(platform::shell::CsidlWindows);
    EXPECT_EQ(folder, expected);
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), L'\\');
    EXPECT_EQ(folder.find(L'\0'), std::wstring::npos);
}

TEST(SpecialFolders, SystemFolderIsTheSystemsAnswer) {
    constexpr std::int32_t CsidlSystem = 0x25;
    EXPECT_EQ(modSpecialFoldersWin::GetSpecialFolder(CsidlSystem), velmora_test::SystemFolder());
}

TEST(SpecialFolders, UnknownFolderGivesEmptyText) {
    EXPECT_EQ(modSpecialFoldersWin::GetSpecialFolder(0x7F7F), L"");
    // And a known folder still reads after the failure.
    EXPECT_EQ(modSpecialFoldersWin::GetSpecialFolder(platform::shell::CsidlWindows), velmora_test::WindowsFolder());
}

TEST(SpecialFolders, PathForTheReportIsBuiltFromIt) {
    const auto windows = modSpecialFoldersWin::GetSpecialFolder(platform::shell::CsidlWindows);
    const auto system = modSpecialFoldersWin::AddBackslash(windows) + modSpecialFoldersWin::AddBackslash(L"System32");
    // The folder the program looks in exists on every Windows (and in every prefix).
    const DWORD attributes = GetFileAttributesW(system.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << testing::PrintToString(system);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST(HiddenForm, MadeOnceAcrossCallsAndNeverShown) {
    for (int call = 0; call < 3; ++call) {
        (void)modSpecialFoldersWin::GetSpecialFolder(platform::shell::CsidlWindows);
        (void)modSpecialFoldersWin::GetSpecialFolder(0x7F7F);
    }
    EXPECT_EQ(CountOwnMessageOnlyWindows(L"VelmoraHiddenForm"), 1);

    auto& form = frmSpecialFoldersWin::Instance();
    const auto first = form.hWnd();
    const auto second = frmSpecialFoldersWin::Instance().hWnd();
    ASSERT_NE(first.value, 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(CountOwnMessageOnlyWindows(L"VelmoraHiddenForm"), 1);
    // Message-only: no broadcast to the top-level windows reaches it.
    EXPECT_EQ(CountOwnWindows(L"VelmoraHiddenForm"), 0);

    const HWND window = reinterpret_cast<HWND>(first.value);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(WindowCaption(window), L"Form1");
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    EXPECT_EQ(process, GetCurrentProcessId());
    // It carries the program's icon.
    EXPECT_NE(GetClassLongPtrW(window, GCLP_HICON), 0);
}

TEST(FileExists, TellsFilesFromFoldersAndMissingPaths) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const auto file = folder / L"MsComCtl.OCX";
    ASSERT_TRUE(velmora_test::WriteText(file, "x"));
    const auto sub = folder / L"sub";
    ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));

    EXPECT_TRUE(modFileDirExists_v2::FileExists(file));
    EXPECT_FALSE(modFileDirExists_v2::FileExists(folder.path()));
    EXPECT_FALSE(modFileDirExists_v2::FileExists(sub));
    EXPECT_FALSE(modFileDirExists_v2::FileExists(folder / L"missing.ocx"));
    EXPECT_FALSE(modFileDirExists_v2::FileExists(folder / L"missing\\MsComCtl.OCX"));
    EXPECT_FALSE(modFileDirExists_v2::FileExists(L""));
}

TEST(FileExists, ReadOnlyAndHiddenFilesStillCount) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const auto file = folder / L"hidden.ocx";
    ASSERT_TRUE(velmora_test::WriteText(file, "x"));
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(modFileDirExists_v2::FileExists(file));
}

TEST(FileExists, ANameNoAnsiCodePageHolds) {
    const std::wstring name = L"ovl\u00E1d\u00E1n\u00ED-\u63A7\u4EF6.ocx";  // "ovládání-控件.ocx"
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const auto file = folder / name;
    ASSERT_TRUE(velmora_test::WriteText(file, "x"));
    EXPECT_TRUE(modFileDirExists_v2::FileExists(file));
}

TEST(ShellPort, PathTestsAnswerOneForYes) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const auto file = folder / L"a.txt";
    ASSERT_TRUE(velmora_test::WriteText(file, "x"));
    EXPECT_EQ(platform::shell::PathExists(file), 1);
    EXPECT_EQ(platform::shell::PathExists(folder.path()), 1);
    EXPECT_EQ(platform::shell::PathExists(folder / L"b.txt"), 0);
    EXPECT_EQ(platform::shell::PathIsFolder(file), 0u);
    EXPECT_NE(platform::shell::PathIsFolder(folder.path()), 0u);
}

}  // namespace
