#pragma once
// The two version records of Windows, as raw bytes laid out as the platform defines
// them, and their fields by name. Every reader and writer of a field goes through
// Read and Write with one of the named fields below.
#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/LittleEndian.h"

namespace platform::versionrecords {

constexpr std::size_t OsVersionInfoASize = 148;    // OSVERSIONINFOA
constexpr std::size_t OsVersionInfoExWSize = 284;  // RTL_OSVERSIONINFOEXW

using OsVersionInfoA = std::array<std::uint8_t, OsVersionInfoASize>;
using OsVersionInfoExW = std::array<std::uint8_t, OsVersionInfoExWSize>;

// A field of type T at a byte offset.
template <class T>
struct Field {
    std::size_t offset;
};

// The fields both records share, at the same offsets.
namespace field {
inline constexpr Field<std::uint32_t> Size{0};  // dwOSVersionInfoSize
inline constexpr Field<std::int32_t> MajorVersion{4};
inline constexpr Field<std::int32_t> MinorVersion{8};
inline constexpr Field<std::int32_t> BuildNumber{12};
inline constexpr Field<std::uint32_t> PlatformId{16};
// RTL_OSVERSIONINFOEXW only, behind its 256-byte szCSDVersion.
inline constexpr Field<std::int16_t> ServicePackMajor{276};
inline constexpr Field<std::int16_t> ServicePackMinor{278};
inline constexpr Field<std::uint16_t> SuiteMask{280};
inline constexpr Field<std::uint8_t> ProductType{282};
}  // namespace field

template <class T, std::size_t N>
T Read(const std::array<std::uint8_t, N>& record, Field<T> field) {
    return ReadLittleEndian<T>(record.data() + field.offset);
}

template <class T, std::size_t N>
void Write(std::array<std::uint8_t, N>& record, Field<T> field, T value) {
    WriteLittleEndian(record.data() + field.offset, value);
}

// A zeroed record whose size field is set, as both calls expect it.
template <class Record>
Record EmptyRecord() {
    Record record{};
    Write(record, field::Size, static_cast<std::uint32_t>(record.size()));
    return record;
}

std::int32_t GetVersionExA(OsVersionInfoA& record);    // non-zero on success
std::int32_t RtlGetVersion(OsVersionInfoExW& record);  // NTSTATUS, 0 on success

}  // namespace platform::versionrecords
