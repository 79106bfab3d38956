// The WMI port: monikers, late-bound calls, collection walks and property reads,
// against the system's own WMI service (Wine's wbemprox under Wine).
#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>

#include "Win32TestSupport.h"
#include "osinfo/modWmiDateTime.h"
#include "platform/RunError.h"
#include "platform/Wmi.h"

namespace {

namespace wmi = platform::wmi;
using platform::TaggedValue;

constexpr wchar_t Moniker[] = L"winmgmts:{impersonationLevel=impersonate}";

// The kernel's own version numbers, as "major.minor.build".
std::wstring KernelVersionText() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto get = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!get || get(&info) != 0) return L"?";
    return std::to_wstring(info.dwMajorVersion) + L"." + std::to_wstring(info.dwMinorVersion) + L"." +
           std::to_wstring(info.dwBuildNumber);
}

std::wstring TextOf(const TaggedValue& value) {
    const auto* text = std::get_if<std::wstring>(&value);
    return text ? *text : L"<not text>";
}

std::wstring Upper(std::wstring text) {
    for (auto& ch : text) ch = static_cast<wchar_t>(std::towupper(ch));
    return text;
}

bool LooksLikeDottedVersion(const std::wstring& text) {
    // digits '.' digits '.' digits
    int dots = 0;
    bool digitBefore = false;
    for (const wchar_t ch : text) {
        if (ch >= L'0' && ch <= L'9') {
            digitBefore = true;
        } else if (ch == L'.' && digitBefore) {
            ++dots;
            digitBefore = false;
        } else {
            return false;
        }
    }
    return dots == 2 && digitBefore;
}

std::vector<wmi::Object> OperatingSystems(const wchar_t* method, const wchar_t* argument) {
    const auto service = wmi::ObjectFromMoniker(Moniker);
    return wmi::Members(wmi::CallForObject(service, method, argument));
}

TEST(WmiPort, InstancesOfOperatingSystemGivesTheKernelVersion) {
    const auto systems = OperatingSystems(L"InstancesOf", L"Win32_OperatingSystem");
    ASSERT_EQ(systems.size(), 1u);
    const auto version = wmi::GetProperty(systems[0], L"Version");
    ASSERT_TRUE(version.has_value());
    ASSERT_TRUE(std::holds_alternative<std::wstring>(*version));
    const auto text = TextOf(*version);
    EXPECT_TRUE(LooksLikeDottedVersion(text)) << testing::PrintToString(text);
    EXPECT_EQ(text, KernelVersionText());
}

TEST(WmiPort, ExecQueryReadsOsArchitecture) {
    const auto systems = OperatingSystems(L"ExecQuery", L"SELECT * FROM Win32_OperatingSystem");
    ASSERT_EQ(systems.size(), 1u);
    const auto architecture = wmi::GetProperty(systems[0], L"OsArchitecture");
    ASSERT_TRUE(architecture.has_value());
    const auto text = TextOf(*architecture);
    EXPECT_NE(text.find(L"bit"), std::wstring::npos) << testing::PrintToString(text);
    // A 64-bit program runs on 64-bit Windows only.
    if (sizeof(void*) == 8) {
        EXPECT_EQ(text.substr(0, 2), L"64") << testing::PrintToString(text);
    }
}

TEST(WmiPort, ExecQueryReadsSystemType) {
    const auto service = wmi::ObjectFromMoniker(L"Winmgmts:");
    const auto computers =
        wmi::Members(wmi::CallForObject(service, L"ExecQuery", L"SELECT * FROM Win32_ComputerSystem"));
    ASSERT_EQ(computers.size(), 1u);
    const auto type = wmi::GetProperty(computers[0], L"SystemType");
    ASSERT_TRUE(type.has_value());
    const auto text = TextOf(*type);
    EXPECT_NE(Upper(text).find(L"PC"), std::wstring::npos) << testing::PrintToString(text);
    if (sizeof(void*) == 8) {
        EXPECT_NE(Upper(text).substr(0, 3), L"X86") << testing::PrintToString(text);
    }
}

TEST(WmiPort, MonikerWithNamespaceAndLowerCaseQuery) {
    // The form the report's property source uses.
    const auto service = wmi::ObjectFromMoniker(L"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2");
    const auto systems =
        wmi::Members(wmi::CallForObject(service, L"ExecQuery", L"Select * from Win32_OperatingSystem"));
    ASSERT_EQ(systems.size(), 1u);
    const auto caption = wmi::GetProperty(systems[0], L"Caption");
    ASSERT_TRUE(caption.has_value());
    EXPECT_FALSE(TextOf(*caption).empty());
}

TEST(WmiPort, EveryPropertyOfTheReportReads) {
    const auto systems = OperatingSystems(L"ExecQuery", L"Select * from Win32_OperatingSystem");
    ASSERT_EQ(systems.size(), 1u);
    const auto& os = systems[0];
    for (const wchar_t* name :
         {L"Version", L"BootDevice", L"BuildNumber", L"BuildType", L"Caption", L"CodeSet", L"CountryCode",
          L"InstallDate", L"Organization", L"OSLanguage", L"OSProductSuite", L"ServicePackMajorVersion",
          L"ServicePackMinorVersion", L"OSType", L"Primary", L"RegisteredUser", L"SerialNumber"}) {
        std::optional<TaggedValue> value;
        EXPECT_NO_THROW(value = wmi::GetProperty(os, name)) << testing::PrintToString(std::wstring(name));
        EXPECT_TRUE(value.has_value()) << testing::PrintToString(std::wstring(name)) << " is unknown";
    }
}

TEST(WmiPort, PropertyValuesHaveTheirTypes) {
    const auto systems = OperatingSystems(L"ExecQuery", L"Select * from Win32_OperatingSystem");
    ASSERT_EQ(systems.size(), 1u);
    const auto& os = systems[0];

    const auto build = wmi::GetProperty(os, L"BuildNumber");
    ASSERT_TRUE(build.has_value());
    ASSERT_TRUE(std::holds_alternative<std::wstring>(*build));
    const auto version = TextOf(*wmi::GetProperty(os, L"Version"));
    const auto buildText = std::get<std::wstring>(*build);
    ASSERT_FALSE(buildText.empty());
    EXPECT_EQ(version.substr(version.size() - std::min(version.size(), buildText.size())), buildText);

    // uint32 and uint16 properties come back as numbers, never as text.
    for (const wchar_t* name : {L"OSLanguage", L"OSType", L"ServicePackMajorVersion", L"ServicePackMinorVersion"}) {
        const auto value = wmi::GetProperty(os, name);
        ASSERT_TRUE(value.has_value()) << testing::PrintToString(std::wstring(name));
        const bool number = std::holds_alternative<std::int16_t>(*value) ||
                            std::holds_alternative<std::int32_t>(*value) ||
                            std::holds_alternative<std::int64_t>(*value);
        EXPECT_TRUE(number) << testing::PrintToString(std::wstring(name)) << " holds alternative " << value->index();
    }
    // OSType 18 is WINNT.
    const auto type = *wmi::GetProperty(os, L"OSType");
    const auto typeNumber = std::visit(
        [](const auto& v) -> long long {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::int16_t> || std::is_same_v<T, std::int32_t> ||
                          std::is_same_v<T, std::int64_t>) {
                return v;
            } else {
                return -1;
            }
        },
        type);
    EXPECT_EQ(typeNumber, 18);

    const auto primary = wmi::GetProperty(os, L"Primary");
    ASSERT_TRUE(primary.has_value());
    EXPECT_TRUE(std::holds_alternative<bool>(*primary)) << "holds alternative " << primary->index();

    // The install date is a DMTF date-time text.
    const auto installed = wmi::GetProperty(os, L"InstallDate");
    ASSERT_TRUE(installed.has_value());
    ASSERT_TRUE(std::holds_alternative<std::wstring>(*installed));
    EXPECT_TRUE(modWmiDateTime::DmtfToUtc(std::get<std::wstring>(*installed)).has_value())
        << testing::PrintToString(std::get<std::wstring>(*installed));
}

TEST(WmiPort, UnknownPropertiesReadAsNothing) {
    const auto systems = OperatingSystems(L"InstancesOf", L"Win32_OperatingSystem");
    ASSERT_EQ(systems.size(), 1u);
    std::optional<TaggedValue> value;
    ASSERT_NO_THROW(value = wmi::GetProperty(systems[0], L"VelmoraNoSuchProperty"));
    EXPECT_FALSE(value.has_value());

    // Windows knows these three; Wine's provider does not. Either way no error.
    for (const wchar_t* name : {L"EncryptionLevel", L"NumberOfLicensedUsers", L"Debug"}) {
        ASSERT_NO_THROW(value = wmi::GetProperty(systems[0], name)) << testing::PrintToString(std::wstring(name));
        if (velmora_test::RunningUnderWine()) {
            EXPECT_FALSE(value.has_value()) << testing::PrintToString(std::wstring(name));
        }
    }
}

TEST(WmiPort, NestedWalksOfOneCollection) {
    const auto service = wmi::ObjectFromMoniker(Moniker);
    const auto collection = wmi::CallForObject(service, L"ExecQuery", L"SELECT * FROM Win32_OperatingSystem");
    const auto expected = KernelVersionText();
    int outerCount = 0;
    int innerCount = 0;
    for (const auto& outer : wmi::Members(collection)) {
        ++outerCount;
        for (const auto& inner : wmi::Members(collection)) {
            ++innerCount;
            EXPECT_EQ(TextOf(*wmi::GetProperty(inner, L"Version")), expected);
        }
        EXPECT_EQ(TextOf(*wmi::GetProperty(outer, L"Version")), expected);
    }
    EXPECT_EQ(outerCount, 1);
    EXPECT_EQ(innerCount, 1);
    // A third walk after the nested ones still sees the member.
    EXPECT_EQ(wmi::Members(collection).size(), 1u);
}

TEST(WmiPort, CollectionWithSeveralMembers) {
    // A walk delivers every member once: as many as the collection counts, the test
    // process among them exactly once.
    const auto service = wmi::ObjectFromMoniker(Moniker);
    const auto collection = wmi::CallForObject(service, L"ExecQuery", L"SELECT * FROM Win32_Process");
    const auto processes = wmi::Members(collection);
    ASSERT_GE(processes.size(), 2u);
    const auto count = wmi::GetProperty(collection, L"Count");
    ASSERT_TRUE(count.has_value());
    ASSERT_TRUE(std::holds_alternative<std::int32_t>(*count)) << "holds alternative " << count->index();
    EXPECT_EQ(static_cast<std::size_t>(std::get<std::int32_t>(*count)), processes.size());
    int own = 0;
    for (const auto& process : processes) {
        const auto id = wmi::GetProperty(process, L"ProcessId");
        ASSERT_TRUE(id.has_value());
        const long long number = std::holds_alternative<std::int64_t>(*id)   ? std::get<std::int64_t>(*id)
                                 : std::holds_alternative<std::int32_t>(*id) ? std::get<std::int32_t>(*id)
                                                                             : -1;
        if (number == static_cast<long long>(GetCurrentProcessId())) ++own;
    }
    EXPECT_EQ(own, 1);
}

TEST(WmiPort, DateTimeClassIsOptional) {
    std::optional<wmi::Object> converter;
    ASSERT_NO_THROW(converter = wmi::TryCreateObject(L"WbemScripting.SWbemDateTime"));
    if (velmora_test::RunningUnderWine()) {
        EXPECT_FALSE(converter.has_value());
    }
    std::optional<wmi::Object> missing;
    ASSERT_NO_THROW(missing = wmi::TryCreateObject(L"Velmora.NoSuchClass"));
    EXPECT_FALSE(missing.has_value());
}

TEST(WmiPort, FailuresRaiseRunErrors) {
    try {
        (void)wmi::ObjectFromMoniker(L"nonsense:");
        ADD_FAILURE() << "no error for a nonsense moniker";
    } catch (const platform::RunError& error) {
        EXPECT_LT(error.Number(), 0) << "not a failure code: " << error.Number();
        EXPECT_NE(error.Description().find(L"nonsense:"), std::wstring::npos);
    }

    const auto service = wmi::ObjectFromMoniker(Moniker);
    try {
        (void)wmi::CallForObject(service, L"VelmoraNoSuchMethod", L"x");
        ADD_FAILURE() << "no error for an unknown method";
    } catch (const platform::RunError& error) {
        EXPECT_EQ(error.Number(), platform::errors::UnknownName);
    }

    EXPECT_THROW((void)wmi::GetProperty(wmi::Object(), L"Version"), platform::RunError);
    EXPECT_THROW((void)wmi::Members(wmi::Object()), platform::RunError);
}

TEST(WmiPort, QueryOfAnUnknownClass) {
    const auto service = wmi::ObjectFromMoniker(Moniker);
    try {
        // A semisynchronous query may report the error only when walked.
        const auto members =
            wmi::Members(wmi::CallForObject(service, L"ExecQuery", L"SELECT * FROM Velmora_NoSuchClass"));
        // Windows reports an invalid class; Wine's provider answers an empty collection.
        if (!velmora_test::RunningUnderWine()) ADD_FAILURE() << "no error for a query of an unknown class";
        EXPECT_TRUE(members.empty());
    } catch (const platform::RunError& error) {
        EXPECT_LT(error.Number(), 0) << "not a failure code: " << error.Number();
    }
}

}  // namespace
