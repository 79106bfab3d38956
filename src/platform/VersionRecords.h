#pragma once
// The two version records of Windows, as raw bytes laid out as the platform defines them.
#include <array>
#include <cstdint>

namespace platform::versionrecords {

constexpr std::size_t OsVersionInfoASize = 148;    // OSVERSIONINFOA
constexpr std::size_t OsVersionInfoExWSize = 284;  // RTL_OSVERSIONINFOEXW

using OsVersionInfoA = std::array<std::uint8_t, OsVersionInfoASize>;
using OsVersionInfoExW = std::array<std::uint8_t, OsVersionInfoExWSize>;

std::int32_t GetVersionExA(OsVersionInfoA& record);    // non-zero on success
std::int32_t RtlGetVersion(OsVersionInfoExW& record);  // NTSTATUS, 0 on success

}  // namespace platform::versionrecords
