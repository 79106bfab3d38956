// Naming Windows from the kernel's version record.
#include "TestSupport.h"
#include "osinfo/modVersionOS_v4.h"

namespace {

using fake::S;
const std::wstring Unknown = L"Nerozpoznaná verze";

class OSNameTest : public test::VelmoraTest {};

TEST_F(OSNameTest, NamesByVersionProductTypeSuiteAndBuild) {
    constexpr std::uint8_t W = 1, DC = 2, Srv = 3, Unset = 0;
    const struct {
        std::uint32_t major, minor, build;
        std::uint8_t type;
        std::uint16_t suite;
        const wchar_t* name;
    } cases[] = {
        {10, 0, 22000, W, 0, L"Windows 11"},
        {10, 0, 22621, W, 0, L"Windows 11"},
        {10, 0, 22631, W, 0, L"Windows 11"},
        {10, 0, 26100, W, 0, L"Windows 11"},
        {10, 0, 19045, W, 0, L"Windows 10"},
        {10, 0, 21999, W, 0, L"Windows 10"},
        {10, 0, 14393, Srv, 0, L"Windows Server 2016"},
        {10, 0, 17763, Srv, 0, L"Windows Server 2019"},
        {10, 0, 20348, DC, 0, L"Windows Server 2022"},
        {10, 0, 26100, Srv, 0, L"Windows Server 2025"},
        {5, 0, 2195, Srv, 0, L"Windows 2000 Server"},
        {5, 0, 2195, W, 0, L"Windows 2000 Workstation"},
        {5, 1, 2600, W, 0x0200, L"Windows XP Home Edition"},
        {5, 1, 2600, W, 0x0300, L"Windows XP Home Edition"},
        {5, 1, 2600, W, 0x0100, L"Windows XP Professional"},
        {5, 1, 2600, W, 0, L"Windows XP Professional"},
        {5, 2, 3790, Srv, 0, L"Windows Server 2003"},
        {5, 2, 3790, W, 0, L"Windows XP 64-bit Edition"},
        {6, 0, 6002, W, 0, L"Windows Vista"},
        {6, 0, 6002, Srv, 0, L"Windows Server 2008"},
        {6, 1, 7601, W, 0, L"Windows 7"},
        {6, 1, 7601, Srv, 0, L"Windows Server 2008 R2"},
        {6, 1, 7601, Unset, 0, L"Windows Server 2008 R2"},
        {6, 2, 9200, W, 0, L"Windows 8"},
        {6, 2, 9200, Srv, 0, L"Windows Server 2012"},
        {6, 3, 9600, W, 0, L"Windows 8.1"},
        {6, 3, 9600, Srv, 0, L"Windows Server 2012 R2"},
        {4, 0, 1381, W, 0, L"Windows NT 4.0 Workstation"},
        {4, 0, 1381, Srv, 0, L"Windows NT 4.0 Server"},
        {3, 51, 1057, W, 0, L"Windows NT 3.5 Workstation"},
        {5, 3, 0, W, 0, Unknown.c_str()},
        {6, 4, 9841, W, 0, Unknown.c_str()},
        {7, 0, 0, W, 0, Unknown.c_str()},
        {0, 0, 0, W, 0, Unknown.c_str()},
    };
    for (const auto& c : cases) {
        const auto record = fake::KernelRecord(c.major, c.minor, c.build, 0, 0, c.suite, c.type);
        SCOPED_TRACE(modVersionOS_v4::GetOSVersionString(record) + L" type " + std::to_wstring(c.type));
        EXPECT_EQ(modVersionOS_v4::GetOSDisplayName(record), c.name);
        // Windows 11 kept major version 10: the plain name does not tell it apart.
        EXPECT_EQ(modVersionOS_v4::GetOSName(record), c.name == std::wstring(L"Windows 11") ? L"Windows 10" : c.name);
    }
}

TEST_F(OSNameTest, ServicePackAndVersionTexts) {
    const struct {
        std::uint16_t major, minor;
        const wchar_t* text;
    } cases[] = {{0, 5, L""}, {3, 0, L"SP3"}, {2, 1, L"SP2.1"}, {0, 0, L""}};
    for (const auto& c : cases) {
        EXPECT_EQ(modVersionOS_v4::GetServicePackString(fake::KernelRecord(5, 1, 2600, c.major, c.minor)), c.text);
    }
    EXPECT_EQ(modVersionOS_v4::GetOSVersionString(fake::KernelRecord(10, 0, 26100)), L"10.0.26100");
}

TEST_F(OSNameTest, GetOSInfoFillsTheThreeTextsFromTheKernel) {
    std::wstring name, servicePack, version;
    S().rtlRecord = fake::KernelRecord(10, 0, 22631);
    EXPECT_EQ(modVersionOS_v4::GetOSInfo(name, servicePack, version), L"");
    EXPECT_EQ(name + L"|" + servicePack + L"|" + version, L"Windows 11||10.0.22631");

    S().rtlRecord = fake::KernelRecord(5, 1, 2600, 3, 0, 0x0200);
    EXPECT_EQ(modVersionOS_v4::GetOSInfo(name, servicePack, version), L"");
    EXPECT_EQ(name + L"|" + servicePack + L"|" + version, L"Windows XP Home Edition|SP3|5.1.2600");

    S().rtlStatus = static_cast<std::int32_t>(0xC0000001u);
    EXPECT_EQ(modVersionOS_v4::GetOSInfo(name, servicePack, version), L"Nepodařilo se načíst verzi systému Windows");
    EXPECT_EQ(name + L"|" + servicePack + L"|" + version, Unknown + L"||0.0.0");
}

}  // namespace
