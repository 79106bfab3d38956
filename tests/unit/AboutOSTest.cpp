// The "About OS Windows" report, byte for byte.
#include "TestSupport.h"
#include "app/modVelmora.h"

namespace {

using fake::S;

void ExpectShape(const std::wstring& report, std::size_t lines) {
    EXPECT_EQ(report.substr(0, 18), L"About OS Windows\r\n");
    EXPECT_EQ(report.find(L"\r\n", 18) - 18, 71u);
    std::size_t lineEnds = 0;
    for (auto at = report.find(L"\r\n"); at != std::wstring::npos; at = report.find(L"\r\n", at + 2)) ++lineEnds;
    EXPECT_EQ(lineEnds + 1, lines);
    EXPECT_NE(report.back(), L'\n');
}

class AboutOSTest : public test::VelmoraTest {};

TEST_F(AboutOSTest, WmiVariantWhereTheEnumerationKnowsTheSystem) {
    test::UseWindows7();
    const auto report = modVelmora::GetAboutOS();
    EXPECT_EQ(report, test::Windows7Report);
    ExpectShape(report, 26);
}

TEST_F(AboutOSTest, KernelRecordVariantWhereItDoesNot) {
    test::UseWindows10();
    const auto report = modVelmora::GetAboutOS();
    EXPECT_EQ(report, test::Windows10Report);
    ExpectShape(report, 27);
}

TEST_F(AboutOSTest, NullOrganizationIsAnEmptyValueAndBitsFollowTheSystem) {
    test::UseWindows7(L"32-bit");
    auto os = test::Windows7Instance(L"32-bit");
    os[L"Organization"] = platform::NullValue{};
    test::UseOperatingSystems({os});
    const auto report = modVelmora::GetAboutOS();
    EXPECT_NE(report.find(L"\r\nOrganization: \t\t\t\r\n"), std::wstring::npos);
    EXPECT_NE(report.find(L"\r\nBit version: \t\t\t32bit\r\n"), std::wstring::npos);
}

}  // namespace
