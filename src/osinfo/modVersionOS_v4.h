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
// The OS property indices of GetOSProperty; any other index reads nothing.
namespace osproperty {
enum Index : std::int32_t {
    VersionEnumeration = 0,  // GetOSVerEnum(0)
    Version = 1,
    Bitness = 2,  // GetOSBits()
    BootDevice = 3,
    BuildNumber = 4,
    BuildType = 5,
    Caption = 6,
    CodeSet = 7,
    CountryCode = 8,
    Debug = 9,
    EncryptionLevel = 10,
    InstallDate = 11,
    NothingRead = 12,
    Organization = 13,
    OSLanguage = 14,
    OSProductSuite = 15,
    PlatformId = 16,    // GetOSVerEnum(1)
    MajorVersion = 17,  // GetOSVerEnum(2)
    MinorVersion = 18,  // GetOSVerEnum(3)
    ServicePackMajorVersion = 19,
    ServicePackMinorVersion = 20,
    OSType = 21,
    Primary = 22,
    NumberOfLicensedUsers = 23,
    RegisteredUser = 24,
    SerialNumber = 25,
    Count = 26
};
}  // namespace osproperty

// The selectors of GetOSVerEnum; any other selector gives 0.
namespace verselector {
enum Selector : std::int32_t { Enumeration = 0, PlatformId = 1, Major = 2, Minor = 3 };
}  // namespace verselector

platform::TaggedValue GetOSProperty(std::int32_t index);
std::int32_t GetOSVerEnum(std::int32_t selector);
// The enumeration table: 0 when it does not know the system.
std::int32_t OSVersionEnumeration(std::uint32_t platformId, std::int16_t major, std::int16_t minor);
// Lets the cached WMI state go (its objects are released); the next property read
// sets it up anew.
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

// The kernel record's version; zeros when it cannot be read.
struct KernelVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
};
KernelVersion GetKernelVersion();

inline constexpr wchar_t UnknownVersionName[] = L"Nerozpoznan\u00E1 verze";
inline constexpr wchar_t VersionReadFailed[] = L"Nepoda\u0159ilo se na\u010D\u00EDst verzi syst\u00E9mu Windows";

}  // namespace modVersionOS_v4
