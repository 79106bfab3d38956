#pragma once
// What the running Windows is: its bitness, its properties from WMI, the version
// enumeration, and its name from the kernel's version record.
#include <cstdint>
#include <string>

#include "platform/TaggedValue.h"
#include "platform/VersionRecords.h"

namespace modVersionOS_v4 {

// --- Bitness -------------------------------------------------------------------
std::int16_t GetOSBits();
bool IsOSVer6OrHigher();
std::wstring GetWMIOSVersion();
std::wstring GetOSArchitecture();
std::wstring GetSystemTypeBits();

// --- Properties and the version enumeration -------------------------------------
constexpr std::int32_t OSPropertyCount = 26;  // indices 0 to 25

platform::TaggedValue GetOSProperty(std::int32_t index);
std::int32_t GetOSVerEnum(std::int32_t selector);
// The enumeration table: 0 when it does not know the system.
std::int32_t OSVersionEnumeration(std::uint32_t platformId, std::int16_t major, std::int16_t minor);
// Forgets the cached WMI state, so that the next property read sets it up anew.
void ResetOSPropertySource();

// --- Naming from the kernel's version record -------------------------------------
using KernelRecord = platform::versionrecords::OsVersionInfoExW;

bool IsServer(const KernelRecord& record);
std::wstring GetOSVersionString(const KernelRecord& record);
std::wstring GetServicePackString(const KernelRecord& record);
std::wstring GetOSName(const KernelRecord& record);
// The name GetOSInfo gives: GetOSName with Windows 11 told apart from Windows 10.
std::wstring GetOSDisplayName(const KernelRecord& record);
// Fills the three texts from RtlGetVersion; the status text is empty on success.
std::wstring GetOSInfo(std::wstring& name, std::wstring& servicePack, std::wstring& version);

inline constexpr wchar_t UnknownVersionName[] = L"Nerozpoznan\u00E1 verze";
inline constexpr wchar_t VersionReadFailed[] = L"Nepoda\u0159ilo se na\u010D\u00EDst verzi syst\u00E9mu Windows";

}  // namespace modVersionOS_v4
