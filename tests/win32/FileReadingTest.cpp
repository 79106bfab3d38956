// The file reading port and the whole-file CRC-32 over it, on real files in a
// scratch folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "Win32TestSupport.h"
#include "filecheck/modCRC32_v2.h"
#include "filecheck/modFileVersion.h"
#include "platform/FileReading.h"

namespace {

using velmora_test::TempFolder;
namespace file = platform::file;

// CRC-32/ISO-HDLC one bit at a time: independent of the table the program uses.
std::uint32_t ReferenceCrc32(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::wstring Hex(std::uint32_t value) {
    wchar_t text[9] = {};
    std::swprintf(text, 9, L"%08X", static_cast<unsigned>(value));
    return text;
}

// Bytes that differ from one chunk to the next, so a stale or misplaced buffer shows.
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

class FileCrc : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder_.ok()) << "no scratch folder"; }
    std::wstring Make(const std::wstring& name, const std::vector<std::uint8_t>& bytes) {
        const auto path = folder_ / name;
        EXPECT_TRUE(velmora_test::WriteBytes(path, bytes)) << "could not write the test file";
        return path;
    }
    TempFolder folder_;
};

TEST(ReferenceCrc, KnownCheckValue) {
    const std::string text = "123456789";
    EXPECT_EQ(ReferenceCrc32(std::vector<std::uint8_t>(text.begin(), text.end())), 0xCBF43926u);
}

TEST_F(FileCrc, CheckStringFile) {
    const auto path = Make(L"check.txt", {'1', '2', '3', '4', '5', '6', '7', '8', '9'});
    EXPECT_EQ(modCRC32_v2::GetFileCRC32Hex(path), L"CBF43926");
    EXPECT_EQ(modCRC32_v2::GetFileCRC32(path), static_cast<std::int32_t>(0xCBF43926u));
}

TEST_F(FileCrc, FilesAroundTheReadChunkSize) {
    // One byte, just under, exactly and just over one read chunk, and two chunks and a byte.
    const std::size_t chunk = modCRC32_v2::ReadChunkSize;
    ASSERT_EQ(chunk, 512000u);
    const std::size_t sizes[] = {1, chunk - 1, chunk, chunk + 1, 2 * chunk, 2 * chunk + 1};
    std::uint32_t seed = 7;
    for (const std::size_t size : sizes) {
        const auto bytes = Pattern(size, seed++);
        const auto path = Make(L"data-" + std::to_wstring(size) + L".bin", bytes);
        EXPECT_EQ(modCRC32_v2::GetFileCRC32Hex(path), Hex(ReferenceCrc32(bytes))) << "file of " << size << " bytes";
    }
}

TEST_F(FileCrc, EmptyFileGivesZero) {
    const auto path = Make(L"empty.bin", {});
    EXPECT_EQ(modCRC32_v2::GetFileCRC32Hex(path), L"00000000");
}

TEST_F(FileCrc, MissingFileGivesZero) {
    EXPECT_EQ(modCRC32_v2::GetFileCRC32Hex(folder_ / L"no-such-file.ocx"), L"00000000");
    EXPECT_EQ(modCRC32_v2::GetFileCRC32Hex(folder_ / L"no-such-folder\\MsComCtl.OCX"), L"00000000");
}

TEST_F(FileCrc, FolderGivesZero) { EXPECT_EQ(modCRC32_v2::GetFileCRC32Hex(folder_.path()), L"00000000"); }

TEST_F(FileCrc, FileLockedAgainstReadingGivesZero) {
    const auto path = Make(L"locked.bin", Pattern(1000, 3));
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, 0 /* no sharing */, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(modCRC32_v2::GetFileCRC32Hex(path), L"00000000");
    const auto read = modCRC32_v2::ReadFileCRC32(path);
    ASSERT_TRUE(read.failure.has_value());
    EXPECT_EQ(static_cast<std::uint32_t>(read.failure->number), 0x80070020u);  // a sharing violation
    EXPECT_FALSE(read.failure->opened);
    CloseHandle(holder);
    // Once let go, the same file reads.
    EXPECT_EQ(modCRC32_v2::GetFileCRC32Hex(path), Hex(ReferenceCrc32(Pattern(1000, 3))));
}

// A file held by another process has no version either, until it is let go: the
// program's own executable, which carries a version resource, copied and held.
TEST_F(FileCrc, FileLockedAgainstReadingHasNoVersion) {
    const auto path = folder_ / L"held.ocx";
    ASSERT_TRUE(CopyFileW(velmora_test::OwnPath().c_str(), path.c_str(), TRUE));
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, 0 /* no sharing */, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(modFileVersion::GetFileVersion(path), L"");
    CloseHandle(holder);
    EXPECT_EQ(modFileVersion::GetFileVersion(path), VELMORA_VERSION);
}

TEST_F(FileCrc, FileOpenElsewhereForReadingStillReads) {
    const auto bytes = Pattern(70000, 11);
    const auto path = Make(L"shared.bin", bytes);
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(modCRC32_v2::GetFileCRC32Hex(path), Hex(ReferenceCrc32(bytes)));
    CloseHandle(holder);
}

TEST_F(FileCrc, ANameNoAnsiCodePageHolds) {
    const std::wstring name = L"soubor-\u00E1-\u6587\u4EF6.bin";  // "soubor-á-文件.bin"
    const auto bytes = Pattern(4096, 5);
    const auto path = Make(name, bytes);
    EXPECT_EQ(modCRC32_v2::GetFileCRC32Hex(path), Hex(ReferenceCrc32(bytes)));
}

TEST_F(FileCrc, FileIsLeftClosed) {
    const auto path = Make(L"closed.bin", Pattern(600000, 9));
    (void)modCRC32_v2::GetFileCRC32Hex(path);
    // Nobody holds it any more: an exclusive open and a delete both succeed.
    HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
    if (exclusive != INVALID_HANDLE_VALUE) CloseHandle(exclusive);
    EXPECT_TRUE(DeleteFileW(path.c_str()));
}

// --- The port itself ---------------------------------------------------------------

TEST_F(FileCrc, PortOpenSizeReadClose) {
    const auto bytes = Pattern(1500, 21);
    const auto path = Make(L"port.bin", bytes);

    EXPECT_FALSE(file::Open(folder_ / L"missing.bin"));
    EXPECT_EQ(file::Open(folder_ / L"missing.bin").get(), file::InvalidHandle);

    const file::UniqueFile handle = file::Open(path);
    ASSERT_TRUE(handle);
    EXPECT_EQ(file::WholeSize(handle.get()), 1500u);

    std::vector<std::uint8_t> buffer(1000, 0xEE);
    std::uint32_t delivered = 12345;
    ASSERT_TRUE(file::Read(handle.get(), buffer.data(), 1000, delivered));
    EXPECT_EQ(delivered, 1000u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), bytes.begin()));

    ASSERT_TRUE(file::Read(handle.get(), buffer.data(), 1000, delivered));
    EXPECT_EQ(delivered, 500u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 500, bytes.begin() + 1000));

    // At the end: a successful read of nothing.
    ASSERT_TRUE(file::Read(handle.get(), buffer.data(), 1000, delivered));
    EXPECT_EQ(delivered, 0u);
}

TEST_F(FileCrc, PortReadOnABadHandleReportsFailure) {
    std::uint8_t buffer[16] = {};
    std::uint32_t delivered = 99;
    EXPECT_FALSE(file::Read(file::InvalidHandle, buffer, sizeof buffer, delivered));
    EXPECT_EQ(delivered, 0u);
}

TEST_F(FileCrc, PortOpenDeniedWhileAnotherHolderWrites) {
    // The port shares reading only: a file open for writing elsewhere is not opened.
    const auto path = Make(L"writing.bin", Pattern(100, 1));
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(file::Open(path));
    CloseHandle(writer);
}

}  // namespace
