// The bitness of Windows: by OSArchitecture from version 6.0 on, by SystemType before.
#include "TestSupport.h"
#include "osinfo/modVersionOS_v4.h"

namespace {

using fake::S;
using fake::WmiCollection;
using platform::TaggedValue;

fake::WmiInstance Os(const wchar_t* version, const wchar_t* architecture = nullptr) {
    fake::WmiInstance os{{L"Version", std::wstring(version)}};
    if (architecture) os[L"OSArchitecture"] = std::wstring(architecture);
    return os;
}
fake::WmiInstance Computer(TaggedValue type) { return {{L"SystemType", std::move(type)}}; }

std::vector<std::wstring> CallLog() {
    std::vector<std::wstring> log;
    for (const auto& call : S().wmi.calls) log.push_back(call.moniker + L" " + call.method + L" " + call.argument);
    return log;
}

const std::wstring VersionCall = test::VersionMoniker + L" InstancesOf Win32_OperatingSystem";
const std::wstring ArchitectureCall = test::ShortMoniker + L" ExecQuery SELECT * FROM Win32_OperatingSystem";
const std::wstring SystemTypeCall = test::ShortMoniker + L" ExecQuery SELECT * FROM Win32_ComputerSystem";

class BitnessTest : public test::VelmoraTest {};

TEST_F(BitnessTest, EachRouteReadsItsPropertyAndTheLastInstanceDecides) {
    const struct {
        const char* name;
        WmiCollection os, computers;
        std::int16_t bits;
        bool byArchitecture;
    } cases[] = {
        {"10.0 sorts below 6.0: system type", {Os(L"10.0.19045")}, {Computer(L"x64-based PC")}, 64, false},
        {"x86 system type", {Os(L"10.0.19045")}, {Computer(L"x86-based PC")}, 32, false},
        {"6.1: architecture 64-bit", {Os(L"6.1.7601", L"64-bit")}, {}, 64, true},
        {"6.1: architecture 32-bit", {Os(L"6.1.7601", L"32-bit")}, {}, 32, true},
        {"6.0 itself: architecture", {Os(L"6.0.6002", L"32-bit")}, {}, 32, true},
        {"6 alone sorts below 6.0", {Os(L"6")}, {Computer(L"x86-based PC")}, 32, false},
        {"upper-case X64", {Os(L"5.1.2600")}, {Computer(L"X64-based PC")}, 64, false},
        {"upper-case X86", {Os(L"5.1.2600")}, {Computer(L"X86-based PC")}, 32, false},
        {"type shorter than 3", {Os(L"5.1.2600")}, {Computer(L"x8")}, 64, false},
        {"no computer system", {Os(L"5.1.2600")}, {}, 64, false},
        {"two computer systems", {Os(L"5.1.2600")}, {Computer(L"x64-based PC"), Computer(L"x86-based PC")}, 32, false},
        {"two systems: the second's version and architecture",
         {Os(L"5.1.2600", L"64-bit"), Os(L"6.1.7601", L"32-bit")},
         {},
         32,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Reset();
        test::UseOperatingSystems(c.os);
        test::UseComputerSystems(c.computers);
        EXPECT_EQ(modVersionOS_v4::GetOSBits(), c.bits);
        EXPECT_EQ(CallLog(),
                  (std::vector<std::wstring>{VersionCall, c.byArchitecture ? ArchitectureCall : SystemTypeCall}));
    }
}

TEST_F(BitnessTest, EveryCallOpensItsOwnConnections) {
    test::UseOperatingSystems({Os(L"6.1.7601", L"64-bit")});
    modVersionOS_v4::GetOSBits();
    modVersionOS_v4::GetOSBits();
    EXPECT_EQ(S().wmi.connections, (std::vector<std::wstring>{test::VersionMoniker, test::ShortMoniker,
                                                              test::VersionMoniker, test::ShortMoniker}));
}

TEST_F(BitnessTest, TextThatIsNoNumberOrNullRaises) {
    const struct {
        const char* name;
        WmiCollection os;
    } cases[] = {
        {"architecture starting with letters", {Os(L"6.1.7601", L"ia64-bit")}},
        {"architecture Null", {{{L"Version", std::wstring(L"6.1.7601")}, {L"OSArchitecture", platform::NullValue{}}}}},
        {"architecture unknown", {Os(L"6.1.7601")}},
        {"version Null", {{{L"Version", platform::NullValue{}}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Reset();
        test::UseOperatingSystems(c.os);
        EXPECT_THROW(modVersionOS_v4::GetOSBits(), platform::RunError);
    }
    fake::Reset();
    test::UseOperatingSystems({Os(L"5.1.2600")});
    test::UseComputerSystems({Computer(platform::NullValue{})});
    EXPECT_THROW(modVersionOS_v4::GetOSBits(), platform::RunError) << "system type Null";
}

}  // namespace
