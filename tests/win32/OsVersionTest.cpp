// The version records port and the system information built on it and on WMI:
// bitness, the kernel-record naming, and the report's property reads.
#include <windows.h>

#include <gtest/gtest.h>

#include "Win32TestSupport.h"
#include "osinfo/modTaggedValue.h"
#include "osinfo/modVersionOS_v4.h"
#include "platform/VersionRecords.h"

namespace {

namespace records = platform::versionrecords;
namespace field = records::field;

// What the system itself says, through GetVersionExW with the extended record.
OSVERSIONINFOEXW SystemVersion() {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
    return info;
}

bool IsWow64() {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto check = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
    BOOL wow = FALSE;
    return check && check(GetCurrentProcess(), &wow) && wow;
}

TEST(VersionRecords, GetVersionExAFillsTheAnsiRecord) {
    static_assert(records::OsVersionInfoASize == sizeof(OSVERSIONINFOA), "record size");
    auto record = records::EmptyRecord<records::OsVersionInfoA>();
    ASSERT_NE(records::GetVersionExA(record), 0);
    const auto system = SystemVersion();
    EXPECT_EQ(records::Read(record, field::Size), records::OsVersionInfoASize);
    EXPECT_EQ(static_cast<DWORD>(records::Read(record, field::MajorVersion)), system.dwMajorVersion);
    EXPECT_EQ(static_cast<DWORD>(records::Read(record, field::MinorVersion)), system.dwMinorVersion);
    EXPECT_EQ(static_cast<DWORD>(records::Read(record, field::BuildNumber)), system.dwBuildNumber);
    EXPECT_EQ(records::Read(record, field::PlatformId), 2u);  // VER_PLATFORM_WIN32_NT
}

TEST(VersionRecords, GetVersionExAWithAWrongSizeFails) {
    records::OsVersionInfoA record{};  // size field 0
    EXPECT_EQ(records::GetVersionExA(record), 0);
}

TEST(VersionRecords, RtlGetVersionFillsTheExtendedRecord) {
    static_assert(records::OsVersionInfoExWSize == sizeof(OSVERSIONINFOEXW), "record size");
    auto record = records::EmptyRecord<records::OsVersionInfoExW>();
    ASSERT_EQ(records::RtlGetVersion(record), 0);
    const auto system = SystemVersion();
    // The named fields read what the system's own structure holds.
    EXPECT_EQ(records::Read(record, field::Size), records::OsVersionInfoExWSize);
    // The test program carries the program's manifest, so the system does not pretend.
    EXPECT_EQ(static_cast<DWORD>(records::Read(record, field::MajorVersion)), system.dwMajorVersion);
    EXPECT_EQ(static_cast<DWORD>(records::Read(record, field::MinorVersion)), system.dwMinorVersion);
    EXPECT_EQ(static_cast<DWORD>(records::Read(record, field::BuildNumber)), system.dwBuildNumber);
    EXPECT_EQ(records::Read(record, field::PlatformId), 2u);
    EXPECT_EQ(static_cast<WORD>(records::Read(record, field::ServicePackMajor)), system.wServicePackMajor);
    EXPECT_EQ(static_cast<WORD>(records::Read(record, field::ServicePackMinor)), system.wServicePackMinor);
    EXPECT_EQ(records::Read(record, field::SuiteMask), system.wSuiteMask);
    EXPECT_EQ(records::Read(record, field::ProductType), system.wProductType);
    const BYTE productType = records::Read(record, field::ProductType);
    EXPECT_TRUE(productType >= 1 && productType <= 3) << int(productType);
}

TEST(OsBits, MatchesThePlatformTheTestRunsOn) {
    const std::int16_t expected = sizeof(void*) == 8 || IsWow64() ? 64 : 32;
    EXPECT_EQ(modVersionOS_v4::GetOSBits(), expected);
}

TEST(OsBits, VersionSixTestAgreesWithTheKernel) {
    const auto system = SystemVersion();
    EXPECT_EQ(modVersionOS_v4::IsOSVer6OrHigher(), system.dwMajorVersion >= 6);
    EXPECT_EQ(modVersionOS_v4::GetWMIOSVersion(),
              (std::to_wstring(system.dwMajorVersion) + L"." + std::to_wstring(system.dwMinorVersion)).substr(0, 3));
}

TEST(OsInfo, KernelRecordNamingSucceeds) {
    std::wstring name = L"x", servicePack = L"x", version = L"x";
    const auto status = modVersionOS_v4::GetOSInfo(name, servicePack, version);
    EXPECT_EQ(status, L"");
    const auto system = SystemVersion();
    EXPECT_EQ(version, std::to_wstring(system.dwMajorVersion) + L"." + std::to_wstring(system.dwMinorVersion) + L"." +
                           std::to_wstring(system.dwBuildNumber));
    EXPECT_FALSE(name.empty());
    EXPECT_NE(name, L"x");
    EXPECT_EQ(servicePack, system.wServicePackMajor == 0   ? std::wstring()
                           : system.wServicePackMinor == 0 ? L"SP" + std::to_wstring(system.wServicePackMajor)
                                                           : L"SP" + std::to_wstring(system.wServicePackMajor) + L"." +
                                                                 std::to_wstring(system.wServicePackMinor));
}

TEST(OsInfo, VersionEnumerationReadsTheAnsiRecord) {
    const auto system = SystemVersion();
    EXPECT_EQ(modVersionOS_v4::GetOSVerEnum(1), 2);
    EXPECT_EQ(modVersionOS_v4::GetOSVerEnum(2), static_cast<std::int32_t>(system.dwMajorVersion));
    EXPECT_EQ(modVersionOS_v4::GetOSVerEnum(3), static_cast<std::int32_t>(system.dwMinorVersion));
}

TEST(OsInfo, EveryPropertyOfTheReportReadsAndFormats) {
    modVersionOS_v4::ResetOSPropertySource();
    // The indices the report shows, in its order.
    for (const std::int32_t index :
         {6, 1, 2, 0, 11, 23, 24, 25, 13, 15, 16, 17, 18, 19, 20, 4, 14, 21, 7, 8, 10, 5, 3}) {
        std::wstring text;
        EXPECT_NO_THROW(text = modTaggedValue::ToReportText(modVersionOS_v4::GetOSProperty(index)))
            << "property index " << index;
    }
    const auto system = SystemVersion();
    EXPECT_EQ(modTaggedValue::ToReportText(modVersionOS_v4::GetOSProperty(1)),
              std::to_wstring(system.dwMajorVersion) + L"." + std::to_wstring(system.dwMinorVersion) + L"." +
                  std::to_wstring(system.dwBuildNumber));
    EXPECT_EQ(modTaggedValue::ToReportText(modVersionOS_v4::GetOSProperty(4)), std::to_wstring(system.dwBuildNumber));
    EXPECT_EQ(modTaggedValue::ToReportText(modVersionOS_v4::GetOSProperty(16)), L"2");
    // The install date becomes a local date-time in the user's form: not empty.
    EXPECT_FALSE(modTaggedValue::ToReportText(modVersionOS_v4::GetOSProperty(11)).empty());
}

}  // namespace
