#pragma once
// Fields of the platform's records, which are laid out little-endian whatever the host.
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace platform {

template <class T>
T ReadLittleEndian(const std::uint8_t* bytes) {
    static_assert(std::is_integral_v<T> && sizeof(T) <= 4);
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) bits |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    return static_cast<T>(bits);
}

template <class T>
void WriteLittleEndian(std::uint8_t* bytes, T value) {
    static_assert(std::is_integral_v<T> && sizeof(T) <= 4);
    const auto bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

}  // namespace platform
