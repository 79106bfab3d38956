// modFileVersion over any input: FileVersionFromBlock with any block, offset (negative
// and past the end included) and length must read nothing outside the block (the block
// is allocated to its exact size, so AddressSanitizer sees any read past it) and give
// either the empty text or four dotted decimal numbers; FormatFileVersion of any four
// 16-bit numbers must parse back to them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "filecheck/modFileVersion.h"

using fuzzcheck::Check;

namespace {

// The four numbers of "a.b.c.d" written as FormatFileVersion writes them (decimal,
// no sign, no leading zero, each at most 65535); nothing for any other text.
std::optional<std::array<std::uint16_t, 4>> ParseVersion(const std::wstring& text) {
    std::array<std::uint16_t, 4> parts{};
    std::size_t at = 0;
    for (std::size_t part = 0; part < parts.size(); ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != L'.') return std::nullopt;
            ++at;
        }
        const std::size_t first = at;
        std::uint32_t value = 0;
        while (at < text.size() && text[at] >= L'0' && text[at] <= L'9') {
            value = value * 10 + static_cast<std::uint32_t>(text[at] - L'0');
            if (value > 65535) return std::nullopt;
            ++at;
        }
        if (at == first) return std::nullopt;                            // no digit
        if (at - first > 1 && text[first] == L'0') return std::nullopt;  // a leading zero
        parts[part] = static_cast<std::uint16_t>(value);
    }
    if (at != text.size()) return std::nullopt;
    return parts;
}

std::uint16_t Word(const std::vector<std::uint8_t>& block, std::size_t at) {
    return static_cast<std::uint16_t>(block[at] | block[at + 1] << 8);
}

void CheckFormat(const std::array<std::uint16_t, 4>& numbers) {
    const auto text = modFileVersion::FormatFileVersion(numbers[0], numbers[1], numbers[2], numbers[3]);
    const auto parsed = ParseVersion(text);
    Check(parsed.has_value(), "FormatFileVersion gave no a.b.c.d text", text);
    Check(*parsed == numbers, "FormatFileVersion does not parse back to its numbers", text);
}

void CheckBlock(const std::vector<std::uint8_t>& block, std::ptrdiff_t offset, std::uint32_t length) {
    const auto text = modFileVersion::FileVersionFromBlock(block, offset, length);
    constexpr auto Record = modFileVersion::FixedFileInfoSize;
    const bool inside = length >= Record && offset >= 0 && static_cast<std::size_t>(offset) <= block.size() &&
                        block.size() - static_cast<std::size_t>(offset) >= Record;
    if (!inside) {
        Check(text.empty(), "a record not wholly inside the block gave a version", text);
        return;
    }
    const auto parsed = ParseVersion(text);
    Check(parsed.has_value(), "a record inside the block gave no a.b.c.d text", text);
    // dwFileVersionMS at +8 (minor, major), dwFileVersionLS at +12 (revision, build).
    const auto at = static_cast<std::size_t>(offset);
    const std::array<std::uint16_t, 4> expected = {Word(block, at + 10), Word(block, at + 8), Word(block, at + 14),
                                                   Word(block, at + 12)};
    Check(*parsed == expected, "the version is not the record's dwFileVersionMS/LS", text);
}

}  // namespace

// The input: four 16-bit numbers for FormatFileVersion; an offset kind and the offset
// (0: 16-bit signed, 1: 64-bit, 2: one of the extremes); a length kind and the length
// (0: 8-bit, 1: 32-bit, 2: exactly the record's size); the rest is the block.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzcheck::Reader input(data, size);

    std::array<std::uint16_t, 4> numbers{};
    for (auto& number : numbers) number = input.Take<std::uint16_t>();
    CheckFormat(numbers);

    std::ptrdiff_t offset = 0;
    switch (input.Byte() % 3) {
    case 0: offset = input.Take<std::int16_t>(); break;
    case 1: offset = static_cast<std::ptrdiff_t>(input.Take<std::int64_t>()); break;
    default: {
        static constexpr std::ptrdiff_t Extremes[] = {std::numeric_limits<std::ptrdiff_t>::min(),
                                                      std::numeric_limits<std::ptrdiff_t>::min() + 1,
                                                      std::numeric_limits<std::ptrdiff_t>::max(),
                                                      std::numeric_limits<std::ptrdiff_t>::max() - 51,
                                                      -1,
                                                      -52};
        offset = Extremes[input.Byte() % (sizeof Extremes / sizeof Extremes[0])];
        break;
    }
    }
    std::uint32_t length = 0;
    switch (input.Byte() % 3) {
    case 0: length = input.Byte(); break;
    case 1: length = input.Take<std::uint32_t>(); break;
    default: length = static_cast<std::uint32_t>(modFileVersion::FixedFileInfoSize); break;
    }

    // The rest is the block, allocated to exactly its size.
    const std::vector<std::uint8_t> block = input.Rest();
    CheckBlock(block, offset, length);
    // The same block with the record at its very end, and just past it.
    if (block.size() >= modFileVersion::FixedFileInfoSize) {
        const auto last = static_cast<std::ptrdiff_t>(block.size() - modFileVersion::FixedFileInfoSize);
        CheckBlock(block, last, length);
        CheckBlock(block, last + 1, length);
    }
    return 0;
}
