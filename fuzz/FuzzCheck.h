#pragma once
// What the targets share: a reader that takes values from the front of the input, and
// what every target does on a mismatch: tell what failed, then abort, which libFuzzer
// reports as a crash and keeps the input that caused it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

namespace fuzzcheck {

// The text with anything outside printable ASCII written as \x{...}, for the report.
inline std::string Shown(const std::wstring& text) {
    std::string shown;
    for (const wchar_t ch : text) {
        const auto code = static_cast<unsigned long>(static_cast<std::make_unsigned_t<wchar_t>>(ch));
        if (code >= 0x20 && code < 0x7F && ch != L'\\') {
            shown += static_cast<char>(ch);
        } else {
            char escaped[16];
            std::snprintf(escaped, sizeof escaped, "\\x{%lX}", code);
            shown += escaped;
        }
    }
    return shown;
}

[[noreturn]] inline void Fail(const char* what, const std::wstring& detail = {}) {
    std::fprintf(stderr, "==velmora-fuzz== MISMATCH: %s\n", what);
    if (!detail.empty()) std::fprintf(stderr, "==velmora-fuzz==   %s\n", Shown(detail).c_str());
    std::fflush(stderr);
    std::abort();
}

inline void Check(bool holds, const char* what, const std::wstring& detail = {}) {
    if (!holds) Fail(what, detail);
}

// Values read from the front of the input, little-endian; zeros once it is used up.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    template <class T>
    T Take() {
        static_assert(std::is_integral_v<T>);
        using U = std::make_unsigned_t<T>;
        U bits = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) bits = static_cast<U>(bits | static_cast<U>(Byte()) << (8 * i));
        return static_cast<T>(bits);
    }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    bool Empty() const { return at_ >= size_; }
    std::size_t Left() const { return size_ - at_; }
    // The next `count` bytes (fewer where the input ends).
    std::vector<std::uint8_t> Bytes(std::size_t count) {
        const std::size_t n = count < Left() ? count : Left();
        std::vector<std::uint8_t> bytes(data_ + at_, data_ + at_ + n);
        at_ += n;
        return bytes;
    }
    std::vector<std::uint8_t> Rest() { return Bytes(Left()); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace fuzzcheck
