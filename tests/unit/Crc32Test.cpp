// CRC-32 of texts and of files read in chunks through the file port.
#include "TestSupport.h"
#include "filecheck/modCRC32_v2.h"

namespace {

using fake::S;
using modCRC32_v2::ReadChunkSize;

std::int32_t OnePass(const std::vector<std::uint8_t>& bytes) {
    return ~modCRC32_v2::UpdateCRC32(-1, bytes.data(), bytes.size());
}

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    return bytes;
}

std::vector<std::uint32_t> Delivered() {
    std::vector<std::uint32_t> sizes;
    for (const auto& read : S().reads) {
        EXPECT_EQ(read.capacity, ReadChunkSize);
        sizes.push_back(read.delivered);
    }
    return sizes;
}

class Crc32Test : public test::VelmoraTest {};

TEST_F(Crc32Test, CheckValues) {
    const std::pair<const char*, const wchar_t*> cases[] = {
        {"123456789", L"CBF43926"}, {"abc", L"352441C2"}, {"ae", L"00E7DDCE"}, {"", L"00000000"}};
    for (const auto& [text, crc] : cases) EXPECT_EQ(test::Hex(OnePass(test::Bytes(text))), crc) << text;
}

TEST_F(Crc32Test, FileIsReadInChunksUntilAShortOneAndEqualsOnePass) {
    const std::pair<std::size_t, std::vector<std::uint32_t>> cases[] = {
        {512000, {512000, 0}}, {512001, {512000, 1}}, {1024000, {512000, 512000, 0}}, {3, {3}}};
    for (const auto& [size, reads] : cases) {
        SCOPED_TRACE(size);
        fake::Reset();
        const auto bytes = Pattern(size);
        fake::AddFile(L"C:\\f.ocx", bytes);
        EXPECT_EQ(modCRC32_v2::GetFileCRC32Hex(L"C:\\f.ocx"), test::Hex(OnePass(bytes)));
        EXPECT_EQ(Delivered(), reads);
        EXPECT_EQ(S().closes, 1);
    }
}

TEST_F(Crc32Test, EmptyOrUnopenableFileIsZeroWithoutReads) {
    fake::AddFile(L"C:\\empty.ocx", {});
    S().files[L"C:\\locked.ocx"] = {test::Bytes("abc"), false, std::nullopt, std::nullopt};
    for (const wchar_t* path : {L"C:\\empty.ocx", L"C:\\locked.ocx", L"C:\\missing.ocx"}) {
        EXPECT_EQ(modCRC32_v2::GetFileCRC32Hex(path), L"00000000") << path;
    }
    EXPECT_TRUE(S().reads.empty());
    EXPECT_EQ(S().opened.size(), 1u);
    EXPECT_EQ(S().closes, 1);
}

TEST_F(Crc32Test, AFileOfWhole4GiBIsReadToItsEnd) {
    // The low 32 bits of its size are 0: it is no empty file all the same.
    fake::AddFile(L"C:\\huge.ocx", test::Bytes("abc"));
    S().files[L"C:\\huge.ocx"].reportedSize = 0x100000000ull;
    EXPECT_EQ(modCRC32_v2::GetFileCRC32Hex(L"C:\\huge.ocx"), L"352441C2");
}

TEST_F(Crc32Test, ReadFailingPartWayEndsTheLoopWithTheBytesReadSoFar) {
    const auto bytes = Pattern(1024000);
    S().files[L"C:\\f.ocx"] = {bytes, true, 1, std::nullopt};
    EXPECT_EQ(modCRC32_v2::GetFileCRC32(L"C:\\f.ocx"), OnePass({bytes.begin(), bytes.begin() + ReadChunkSize}));
    EXPECT_EQ(Delivered(), (std::vector<std::uint32_t>{512000, 0}));
    EXPECT_FALSE(S().reads.back().ok);
    EXPECT_EQ(S().closes, 1);
}

}  // namespace
