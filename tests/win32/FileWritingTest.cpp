// The result file's port: written whole or not at all, as UTF-8 without a byte-order
// mark, over real files in a scratch folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "Win32TestSupport.h"
#include "platform/FileWriting.h"
#include "platform/RunError.h"

namespace {

using velmora_test::TempFolder;

std::string Bytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// What the folder holds besides `keep`: a temporary file left behind.
int OthersIn(const TempFolder& folder, const std::wstring& keep) {
    int others = 0;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder / L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L".." && name != keep) ++others;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return others;
}

TEST(FileWriting, TheFileIsWholeOrAbsentAndAnOldOneStaysWhenAWriteFails) {
    const TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::wstring result = folder / L"result.json";

    platform::files::WriteWholeFile(result, L"{\"caf\u00e9\": 1}\n");
    EXPECT_EQ(Bytes(result), "{\"caf\xc3\xa9\": 1}\n");  // UTF-8, no byte-order mark
    platform::files::WriteWholeFile(result, L"{}\n");
    EXPECT_EQ(Bytes(result), "{}\n");
    EXPECT_EQ(OthersIn(folder, L"result.json"), 0);
    EXPECT_EQ(GetFileAttributesW(result.c_str()) & FILE_ATTRIBUTE_TEMPORARY, 0u) << "a result, no temporary file";

    // Held open, sharing nothing: it cannot be replaced, and what it held stays.
    const HANDLE held = CreateFileW(result.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    try {
        platform::files::WriteWholeFile(result, L"{\"new\": true}\n");
        ADD_FAILURE() << "a held result was replaced";
    } catch (const platform::RunError& failure) {
        const auto number = static_cast<HRESULT>(failure.Number());
        EXPECT_TRUE(number == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) || number == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED))
            << "the holder's failure, not a number a later call left: " << std::hex << number;
    }
    CloseHandle(held);
    EXPECT_EQ(Bytes(result), "{}\n");
    EXPECT_EQ(OthersIn(folder, L"result.json"), 0);
}

DWORD WINAPI LetGoLater(void* handle) {
    Sleep(200);
    CloseHandle(static_cast<HANDLE>(handle));
    return 0;
}

TEST(FileWriting, AResultHeldForAMomentIsReplacedWhenLetGo) {
    const TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::wstring result = folder / L"result.json";
    platform::files::WriteWholeFile(result, L"{}\n");
    // Another run, or a scanner, holds it sharing nothing, and lets go a moment later.
    const HANDLE held = CreateFileW(result.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const HANDLE release = CreateThread(nullptr, 0, &LetGoLater, held, 0, nullptr);
    platform::files::WriteWholeFile(result, L"{\"new\": true}\n");
    WaitForSingleObject(release, INFINITE);
    CloseHandle(release);
    EXPECT_EQ(Bytes(result), "{\"new\": true}\n");
    EXPECT_EQ(OthersIn(folder, L"result.json"), 0);
}

TEST(FileWriting, AFolderThatIsNotThereIsReported) {
    const TempFolder folder;
    ASSERT_TRUE(folder.ok());
    try {
        platform::files::WriteWholeFile(folder / L"missing\\result.json", L"{}\n");
        ADD_FAILURE() << "no error";
    } catch (const platform::RunError& error) {
        // The folder's error, as Windows words it for a temporary file there.
        const auto number = static_cast<HRESULT>(error.Number());
        EXPECT_TRUE(number == HRESULT_FROM_WIN32(ERROR_DIRECTORY) || number == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
            << std::hex << number;
        EXPECT_EQ(error.Description(), L"Writing the result to " + (folder / L"missing\\result.json"));
    }
    EXPECT_EQ(OthersIn(folder, L""), 0);
}

}  // namespace
