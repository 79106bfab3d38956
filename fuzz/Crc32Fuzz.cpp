// The CRC-32 register steps: modCRC32_v2::UpdateCRC32 (the byte step) against a
// bit-at-a-time reference, and every fast kernel this build and CPU have
// (crc32kernels) against the byte step, whole and split at many points.
//
// The input: the starting register (4 bytes), a repeat count (1 byte: the message is the
// rest repeated 1 to 16 times, to reach the kernels' long paths), two split hints
// (2 bytes each), then the message bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "filecheck/Crc32Kernels.h"
#include "filecheck/modCRC32_v2.h"

using crc32kernels::Kernel;
using fuzzcheck::Check;
using fuzzcheck::Fail;

namespace {

// One bit at a time, reflected polynomial 0xEDB88320, the register as it is.
std::uint32_t BitwiseReference(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        reg ^= data[i];
        for (int bit = 0; bit < 8; ++bit) reg = (reg & 1u) != 0 ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
    }
    return reg;
}

std::uint32_t ByteStep(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
    return static_cast<std::uint32_t>(modCRC32_v2::UpdateCRC32(static_cast<std::int32_t>(reg), data, size));
}

std::wstring Where(Kernel kernel, std::size_t size, std::size_t split, std::uint32_t reg) {
    const std::string name = crc32kernels::Name(kernel);
    return std::wstring(name.begin(), name.end()) + L" size " + std::to_wstring(size) + L" split " +
           std::to_wstring(split) + L" register " + std::to_wstring(reg);
}

std::vector<Kernel> AvailableKernels() {
    std::vector<Kernel> kernels;
    for (const Kernel kernel : crc32kernels::AllKernels) {
        if (crc32kernels::Available(kernel)) kernels.push_back(kernel);
    }
    return kernels;
}

// Once: the kernels, and the check value of "123456789".
const std::vector<Kernel>& SetUp() {
    static const std::vector<Kernel> kernels = [] {
        const std::uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
        Check(~ByteStep(0xFFFFFFFFu, check, sizeof check) == 0xCBF43926u, "the byte step's check value is wrong");
        Check(~BitwiseReference(0xFFFFFFFFu, check, sizeof check) == 0xCBF43926u, "the reference is wrong");
        return AvailableKernels();
    }();
    return kernels;
}

// The split points tried: every one for short messages, else those around the
// kernels' block sizes and the hints.
std::vector<std::size_t> SplitPoints(std::size_t size, std::size_t hintA, std::size_t hintB) {
    std::vector<std::size_t> splits;
    if (size <= 64) {
        for (std::size_t s = 0; s <= size; ++s) splits.push_back(s);
        return splits;
    }
    for (std::size_t s = 0; s <= 16; ++s) {
        splits.push_back(s);
        splits.push_back(size - s);
    }
    for (const std::size_t block : {8u, 16u, 32u, 64u, 128u, 256u}) {
        for (std::size_t s = block - 1; s <= block + 1 && s <= size; ++s) splits.push_back(s);
    }
    splits.push_back(hintA % (size + 1));
    splits.push_back(hintB % (size + 1));
    splits.push_back(size / 2);
    return splits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& kernels = SetUp();
    fuzzcheck::Reader input(data, size);
    const auto start = input.Take<std::uint32_t>();
    const std::size_t repeats = 1 + input.Byte() % 16;
    const std::size_t hintA = input.Take<std::uint16_t>();
    const std::size_t hintB = input.Take<std::uint16_t>();
    const auto piece = input.Rest();

    // The message in a block of exactly its size, so that a read past it is seen.
    const std::size_t length = piece.size() * repeats;
    const std::unique_ptr<std::uint8_t[]> owned(new std::uint8_t[length > 0 ? length : 1]);
    std::uint8_t* const message = owned.get();
    for (std::size_t r = 0; r < repeats && !piece.empty(); ++r) {
        std::copy(piece.begin(), piece.end(), message + r * piece.size());
    }

    // The byte step's register after every prefix: prefix[s] covers message[0, s).
    std::vector<std::uint32_t> prefix(length + 1);
    prefix[0] = start;
    for (std::size_t s = 0; s < length; ++s) prefix[s + 1] = ByteStep(prefix[s], message + s, 1);
    const auto expected = prefix[length];
    Check(ByteStep(start, message, length) == expected, "the byte step over the whole differs from byte by byte");
    if (expected != BitwiseReference(start, message, length)) {
        Fail("the byte step differs from the bitwise reference",
             L"size " + std::to_wstring(length) + L" register " + std::to_wstring(start));
    }
    if (crc32kernels::Update(start, message, length) != expected) {
        Fail("crc32kernels::Update differs from the byte step", Where(crc32kernels::Selected(), length, length, start));
    }

    for (const Kernel kernel : kernels) {
        for (const std::size_t split : SplitPoints(length, hintA, hintB)) {
            const auto head = crc32kernels::UpdateWith(kernel, start, message, split);
            if (head != prefix[split]) {
                Fail("a kernel differs from the byte step on a prefix", Where(kernel, length, split, start));
            }
            const auto whole = crc32kernels::UpdateWith(kernel, head, message + split, length - split);
            if (whole != expected) {
                Fail("a kernel split in two differs from the byte step", Where(kernel, length, split, start));
            }
        }
        // A tail that starts at every alignment and ends at the block's end, from the
        // byte step's register there.
        for (std::size_t skip = 1; skip < 16 && skip < length; ++skip) {
            if (crc32kernels::UpdateWith(kernel, prefix[skip], message + skip, length - skip) != expected) {
                Fail("a kernel differs from the byte step on a misaligned tail", Where(kernel, length, skip, start));
            }
        }
    }
    return 0;
}
