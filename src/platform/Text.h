#pragma once
// Text as every layer writes and compares it: hexadecimal digits, and Windows' one
// case-insensitive comparison, under the names of what it compares.
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::text {

enum class Digits { Upper, Lower };

// `value` in hexadecimal, at least `width` digits (zeros before it).
inline std::wstring Hex(std::uint32_t value, std::size_t width, Digits digits = Digits::Upper) {
    const wchar_t* const set = digits == Digits::Upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    std::wstring text;
    do {
        text.insert(text.begin(), set[value & 0xFu]);
        value >>= 4;
    } while (value != 0);
    if (text.size() < width) text.insert(0, width - text.size(), L'0');
    return text;
}

// Equal but for case, as Windows folds names: the invariant upper case that the
// file system and the registry compare names in.
bool SameIgnoringCase(const std::wstring& a, const std::wstring& b);
// The text in that upper case, for keys of names compared many times.
std::wstring Folded(const std::wstring& text);

// Bytes of the ANSI code page as text, as the loader takes the names an import table writes.
std::wstring FromAnsi(const std::string& bytes);

}  // namespace platform::text
