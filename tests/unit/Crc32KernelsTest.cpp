// The fast CRC-32 kernels against the byte step (modCRC32_v2::UpdateCRC32) and against zlib.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "filecheck/Crc32Kernels.h"
#include "filecheck/modCRC32_v2.h"

namespace {

using crc32kernels::Kernel;

std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random() >> 24);
    return bytes;
}

std::vector<Kernel> AvailableKernels() {
    std::vector<Kernel> kernels;
    for (Kernel kernel : crc32kernels::AllKernels)
        if (crc32kernels::Available(kernel)) kernels.push_back(kernel);
    return kernels;
}

std::uint32_t ByteStep(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
    return static_cast<std::uint32_t>(modCRC32_v2::UpdateCRC32(static_cast<std::int32_t>(reg), data, size));
}

// zlib's CRC of the bytes, continuing from the CRC `previous` (not a raw register).
std::uint32_t Zlib(std::uint32_t previous, const std::uint8_t* data, std::size_t size) {
    uLong crc = previous;
    while (size > 0) {
        const auto piece = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        crc = crc32(crc, data, piece);
        data += piece;
        size -= piece;
    }
    return static_cast<std::uint32_t>(crc);
}

std::string Describe(Kernel kernel, std::size_t offset, std::size_t size, std::uint32_t reg) {
    return std::string(crc32kernels::Name(kernel)) + " offset " + std::to_string(offset) + " size " +
           std::to_string(size) + " register " + std::to_string(reg);
}

TEST(Crc32Kernels, BytewiseAndSlicingAreAlwaysThere) {
    EXPECT_TRUE(crc32kernels::Available(Kernel::Bytewise));
    EXPECT_TRUE(crc32kernels::Available(Kernel::Slicing));
    EXPECT_TRUE(crc32kernels::Available(crc32kernels::Selected()));
    for (Kernel kernel : AvailableKernels()) std::printf("[          ] available: %s\n", crc32kernels::Name(kernel));
    std::printf("[          ] selected: %s\n", crc32kernels::Name(crc32kernels::Selected()));
}

TEST(Crc32Kernels, CheckValue) {
    const std::string text = "123456789";
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    for (Kernel kernel : AvailableKernels()) {
        EXPECT_EQ(~crc32kernels::UpdateWith(kernel, 0xFFFFFFFFu, data, text.size()), 0xCBF43926u)
            << crc32kernels::Name(kernel);
    }
    EXPECT_EQ(~crc32kernels::Update(0xFFFFFFFFu, data, text.size()), 0xCBF43926u);
}

TEST(Crc32Kernels, EmptyRunLeavesTheRegister) {
    const std::uint8_t byte = 0;
    for (Kernel kernel : AvailableKernels()) {
        EXPECT_EQ(crc32kernels::UpdateWith(kernel, 0x12345678u, &byte, 0), 0x12345678u) << crc32kernels::Name(kernel);
        EXPECT_EQ(crc32kernels::UpdateWith(kernel, 0x12345678u, nullptr, 0), 0x12345678u) << crc32kernels::Name(kernel);
    }
    EXPECT_EQ(crc32kernels::Update(0xFFFFFFFFu, nullptr, 0), 0xFFFFFFFFu);
}

// Every length 0..1024 at every offset 0..15 into a random buffer, from several registers.
TEST(Crc32Kernels, EveryLengthAndOffsetMatchesTheByteStep) {
    constexpr std::size_t MaxSize = 1024;
    constexpr std::size_t Offsets = 16;
    const auto buffer = RandomBytes(MaxSize + Offsets, 1);
    std::mt19937 random(2);
    const std::uint32_t registers[] = {0xFFFFFFFFu, 0u, static_cast<std::uint32_t>(random()),
                                       static_cast<std::uint32_t>(random())};
    const auto kernels = AvailableKernels();
    for (std::uint32_t reg : registers) {
        for (std::size_t offset = 0; offset < Offsets; ++offset) {
            const std::uint8_t* data = buffer.data() + offset;
            for (std::size_t size = 0; size <= MaxSize; ++size) {
                const std::uint32_t expected = ByteStep(reg, data, size);
                for (Kernel kernel : kernels) {
                    const std::uint32_t actual = crc32kernels::UpdateWith(kernel, reg, data, size);
                    if (actual != expected) {
                        ADD_FAILURE() << Describe(kernel, offset, size, reg) << ": " << std::hex << actual
                                      << " instead of " << expected;
                        return;
                    }
                }
                ASSERT_EQ(crc32kernels::Update(reg, data, size), expected) << "Update " << offset << " " << size;
            }
        }
    }
}

// Runs of one repeated byte: zeros and all-ones blocks cancel out differently from random data.
TEST(Crc32Kernels, UniformBuffersMatchTheByteStep) {
    for (std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x80}}) {
        const std::vector<std::uint8_t> buffer(4096 + 7, fill);
        for (std::uint32_t reg : {0xFFFFFFFFu, 0u}) {
            const std::uint32_t expected = ByteStep(reg, buffer.data(), buffer.size());
            for (Kernel kernel : AvailableKernels()) {
                EXPECT_EQ(crc32kernels::UpdateWith(kernel, reg, buffer.data(), buffer.size()), expected)
                    << crc32kernels::Name(kernel) << " fill " << int{fill};
            }
        }
    }
}

// Random sizes up to a few MiB at random offsets, as zlib computes them.
TEST(Crc32Kernels, LargeRandomBuffersMatchZlib) {
    constexpr std::size_t MaxSize = 3 * 1024 * 1024 + 333;
    const auto buffer = RandomBytes(MaxSize + 64, 3);
    std::mt19937 random(4);
    std::vector<std::size_t> sizes = {MaxSize, 512000, 1024000, 1 << 20, (1 << 20) + 1, 65536 + 15};
    for (int i = 0; i < 12; ++i) sizes.push_back(random() % MaxSize);
    const auto kernels = AvailableKernels();
    for (std::size_t size : sizes) {
        const std::size_t offset = random() % 64;
        const std::uint8_t* data = buffer.data() + offset;
        const std::uint32_t previous = (size % 3 == 0) ? 0u : static_cast<std::uint32_t>(random());
        const std::uint32_t expected = Zlib(previous, data, size);
        for (Kernel kernel : kernels) {
            if (kernel == Kernel::Bytewise && size > (1u << 20)) continue;  // slow, covered at smaller sizes
            EXPECT_EQ(~crc32kernels::UpdateWith(kernel, ~previous, data, size), expected)
                << Describe(kernel, offset, size, ~previous);
        }
        EXPECT_EQ(~crc32kernels::Update(~previous, data, size), expected) << "Update size " << size;
    }
}

// Several calls over consecutive pieces give the register of one call over the whole.
TEST(Crc32Kernels, SplittingAnywhereGivesTheSameRegister) {
    constexpr std::size_t Chunk = modCRC32_v2::ReadChunkSize;
    const std::size_t size = 3 * Chunk + 4321;
    const auto buffer = RandomBytes(size, 5);
    const std::uint32_t whole = ~Zlib(0, buffer.data(), size);

    // Cut points near the 512000-byte read boundaries and at random places.
    std::vector<std::size_t> cuts = {1, 15, 16, 17, 63, 64, 65, 255, 256, 257, 4096};
    for (std::size_t boundary : {Chunk, 2 * Chunk, 3 * Chunk}) {
        for (std::size_t delta : {0u, 1u, 7u, 15u, 16u, 31u, 127u, 255u}) {
            cuts.push_back(boundary - delta);
            cuts.push_back(boundary + delta);
        }
    }
    std::mt19937 random(6);
    for (int i = 0; i < 40; ++i) cuts.push_back(random() % size);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

    for (Kernel kernel : AvailableKernels()) {
        if (kernel == Kernel::Bytewise) continue;  // the byte step is the reference itself
        // Two pieces at each cut.
        for (std::size_t cut : cuts) {
            std::uint32_t reg = crc32kernels::UpdateWith(kernel, 0xFFFFFFFFu, buffer.data(), cut);
            reg = crc32kernels::UpdateWith(kernel, reg, buffer.data() + cut, size - cut);
            ASSERT_EQ(reg, whole) << crc32kernels::Name(kernel) << " cut at " << cut;
        }
        // All the cuts at once.
        std::uint32_t reg = 0xFFFFFFFFu;
        std::size_t start = 0;
        for (std::size_t cut : cuts) {
            reg = crc32kernels::UpdateWith(kernel, reg, buffer.data() + start, cut - start);
            start = cut;
        }
        reg = crc32kernels::UpdateWith(kernel, reg, buffer.data() + start, size - start);
        EXPECT_EQ(reg, whole) << crc32kernels::Name(kernel) << " all cuts";
        // Random pieces of 0..2000 bytes.
        reg = 0xFFFFFFFFu;
        for (std::size_t at = 0; at < size;) {
            const std::size_t piece = std::min<std::size_t>(random() % 2001, size - at);
            reg = crc32kernels::UpdateWith(kernel, reg, buffer.data() + at, piece);
            at += piece;
        }
        EXPECT_EQ(reg, whole) << crc32kernels::Name(kernel) << " random pieces";
    }
}

}  // namespace
