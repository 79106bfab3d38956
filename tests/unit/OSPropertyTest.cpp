// GetOSProperty's shared holder, GetOSVerEnum, and WMI date-times.
#include "TestSupport.h"
#include "osinfo/modVersionOS_v4.h"
#include "osinfo/modWmiDateTime.h"

namespace {

using fake::S;
using modVersionOS_v4::GetOSProperty;
using modVersionOS_v4::GetOSVerEnum;
using platform::TaggedValue;

TaggedValue Text(const wchar_t* text) { return std::wstring(text); }

class OSPropertyTest : public test::VelmoraTest {
protected:
    void SetUp() override {
        VelmoraTest::SetUp();
        test::UseWindows7();
    }
    void UseSystem(const wchar_t* version, std::uint32_t platformId) {
        fake::Reset();
        modVersionOS_v4::ResetOSPropertySource();
        auto os = test::Windows7Instance();
        os[L"Version"] = std::wstring(version);
        test::UseOperatingSystems({os});
        S().versionEx = fake::VersionExRecord(0, 0, 0, platformId);
    }
};

TEST_F(OSPropertyTest, IndicesWithoutAPropertyAnswerWhatTheHolderHolds) {
    EXPECT_EQ(GetOSProperty(12), TaggedValue(platform::EmptyValue{}));
    EXPECT_EQ(GetOSProperty(6), Text(L"Microsoft Windows 7 Professional"));
    for (std::int32_t index : {12, 26, -1}) EXPECT_EQ(GetOSProperty(index), Text(L"Microsoft Windows 7 Professional"));
}

TEST_F(OSPropertyTest, EmptyCollectionLeavesTheHolderAndTheEnumerationRaises) {
    test::UseOperatingSystems({});
    for (std::int32_t index = -1; index <= 26; ++index) EXPECT_EQ(GetOSProperty(index), TaggedValue{}) << index;
    EXPECT_THROW(GetOSVerEnum(0), platform::RunError);
}

TEST_F(OSPropertyTest, TheLastInstanceDecides) {
    auto second = test::Windows7Instance();
    second[L"Caption"] = std::wstring(L"Second");
    test::UseOperatingSystems({test::Windows7Instance(), second});
    EXPECT_EQ(GetOSProperty(6), Text(L"Second"));
}

TEST_F(OSPropertyTest, AfterIndexZeroTheHolderHoldsTheEnumeration) {
    EXPECT_EQ(GetOSProperty(0), TaggedValue(std::int32_t{10}));
    EXPECT_EQ(GetOSProperty(12), TaggedValue(std::int32_t{10}));  // not the version text read on the way
}

TEST_F(OSPropertyTest, SetUpHappensOnceAcrossCalls) {
    for (std::int32_t index : {1, 6, 11, 13, 0, 16, 17, 18, 25}) GetOSProperty(index);
    EXPECT_EQ(S().wmi.connections, std::vector<std::wstring>{test::Cimv2Moniker});
    ASSERT_EQ(S().wmi.calls.size(), 1u);
    EXPECT_EQ(S().wmi.calls[0].method, L"ExecQuery");
    EXPECT_EQ(S().wmi.calls[0].argument, L"Select * from Win32_OperatingSystem");
    EXPECT_EQ(S().wmi.createdProgIds, std::vector<std::wstring>{L"WbemScripting.SWbemDateTime"});
}

TEST_F(OSPropertyTest, FailingSetUpRaisesAndIsTriedAgain) {
    S().wmi.failures[test::Cimv2Moniker] = static_cast<std::int32_t>(0x8004100Eu);  // WBEM_E_INVALID_NAMESPACE
    EXPECT_THROW(GetOSProperty(6), platform::RunError);
    S().wmi.failures.clear();
    EXPECT_EQ(GetOSProperty(6), Text(L"Microsoft Windows 7 Professional"));
}

TEST_F(OSPropertyTest, EnumerationByVersionTextAndPlatform) {
    const struct {
        const wchar_t* version;
        std::uint32_t platformId;
        std::int32_t enumeration;
    } cases[] = {{L"6.1.7601", 2, 10}, {L"6.0.6002", 2, 9}, {L"5.1.2600", 2, 7},  {L"5.2.3790", 2, 8},
                 {L"5.0.2195", 2, 6},  {L"4.0.1381", 2, 5}, {L"4.90.3000", 1, 3}, {L"4.10.2222", 1, 2},
                 {L"4.0.950", 1, 1},   {L"6.2.9200", 2, 0}, {L"6.3.9600", 2, 0},  {L"10.0.19045", 2, 0}};
    for (const auto& c : cases) {
        UseSystem(c.version, c.platformId);
        EXPECT_EQ(GetOSVerEnum(0), c.enumeration) << c.version;
    }
    UseSystem(L"4.90.3000", 1);
    EXPECT_EQ(GetOSVerEnum(1), 1);
    EXPECT_EQ(GetOSVerEnum(2), 4);
    EXPECT_EQ(GetOSVerEnum(3), 90);
    EXPECT_EQ(GetOSVerEnum(4), 0);
}

TEST_F(OSPropertyTest, FailingGetVersionExGivesZeroForEverySelector) {
    S().versionExResult = 0;
    for (std::int32_t selector = 0; selector <= 3; ++selector) EXPECT_EQ(GetOSVerEnum(selector), 0) << selector;
}

TEST_F(OSPropertyTest, FlagsReadAsBoolAndUnknownNamesAsNull) {
    EXPECT_EQ(GetOSProperty(9), TaggedValue(false));
    EXPECT_EQ(GetOSProperty(22), TaggedValue(true));
    auto os = test::Windows7Instance();
    os.erase(L"Organization");
    os[L"Debug"] = std::wstring(L"1");
    test::UseOperatingSystems({os});
    modVersionOS_v4::ResetOSPropertySource();
    EXPECT_EQ(GetOSProperty(13), TaggedValue(platform::NullValue{}));
    EXPECT_EQ(GetOSProperty(9), TaggedValue(true));
}

TEST_F(OSPropertyTest, InstallDateThroughTheConverterObject) {
    EXPECT_EQ(fake::FormatDate(std::get<platform::DateTime>(GetOSProperty(11))), L"1/15/2020 10:30:00");
    EXPECT_EQ(S().wmi.converterTrace, (std::vector<std::wstring>{L"Value=20200115103000.000000+060", L"GetVarDate"}));
}

TEST_F(OSPropertyTest, InstallDateWithoutTheConverterIsTheLocalTimeOfTheText) {
    S().wmi.converter.reset();
    S().utcOffsetMinutes = 120;
    EXPECT_EQ(fake::FormatDate(std::get<platform::DateTime>(GetOSProperty(11))), L"1/15/2020 11:30:00");
}

TEST(WmiDateTime, TextsTurnIntoUniversalTime) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"20200115103000.000000+060", L"1/15/2020 9:30:00"},   {L"20200115103000.000000-300", L"1/15/2020 15:30:00"},
        {L"20200115103000.000000+000", L"1/15/2020 10:30:00"},  {L"20200115010000.000000+060", L"1/15/2020"},
        {L"20200101003000.000000+060", L"12/31/2019 23:30:00"}, {L"20240229120000.500000-000", L"2/29/2024 12:00:01"},
    };
    for (const auto& [dmtf, utc] : cases) EXPECT_EQ(fake::FormatDate(*modWmiDateTime::DmtfToUtc(dmtf)), utc) << dmtf;
}

TEST(WmiDateTime, OtherTextsRaise) {
    fake::Reset();
    for (const wchar_t* text :
         {L"", L"2020011510300.000000+060", L"20201315103000.000000+060", L"20230229103000.000000+060",
          L"20200115103000.000000*060", L"2020****103000.000000+060", L"20200115246000.000000+060"}) {
        EXPECT_THROW(modWmiDateTime::DmtfToLocal(text), platform::RunError) << text;
    }
}

}  // namespace
