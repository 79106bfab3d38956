#include "osinfo/modVersionOS_v4.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "osinfo/modTaggedValue.h"
#include "osinfo/modWmiDateTime.h"
#include "platform/RunError.h"
#include "platform/Text.h"
#include "platform/Wmi.h"

namespace modVersionOS_v4 {

namespace wmi = platform::wmi;
namespace records = platform::versionrecords;
using platform::TaggedValue;

namespace {

// --- WMI helpers -------------------------------------------------------------------

// A property the provider does not know reads as Null, like an absent value.
TaggedValue ReadProperty(const wmi::Object& instance, const std::wstring& name) {
    auto value = wmi::GetProperty(instance, name);
    return value ? std::move(*value) : TaggedValue(platform::NullValue{});
}

// One connection, one call, one property of every instance; the last instance decides.
// Each instance's text is trimmed and cut to its first `keep` characters.
std::wstring LastInstanceText(const wchar_t* moniker, const wchar_t* method, const wchar_t* argument,
                              const wchar_t* property, std::size_t keep) {
    const auto service = wmi::ObjectFromMoniker(moniker);
    const auto collection = wmi::CallForObject(service, method, argument);
    std::wstring text;
    for (const auto& instance : wmi::Members(collection)) {
        text = modTaggedValue::TrimSpaces(modTaggedValue::ToText(ReadProperty(instance, property), property))
                   .substr(0, keep);
    }
    return text;
}

// --- The cached property source ----------------------------------------------------

struct OSPropertySource {
    bool initialised = false;
    std::optional<wmi::Object> dateTimeConverter;  // absent where the class is not registered
    wmi::Object instances;
    TaggedValue result;  // shared by every call, nested ones included
};

OSPropertySource& Source() {
    static OSPropertySource source;
    return source;
}

void SetUpSource(OSPropertySource& source) {
    source.dateTimeConverter = wmi::TryCreateObject(L"WbemScripting.SWbemDateTime");
    const auto service = wmi::ObjectFromMoniker(L"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2");
    source.instances = wmi::CallForObject(service, L"ExecQuery", L"Select * from Win32_OperatingSystem");
    source.initialised = true;
}

// WMI property names by index; empty where the index is derived or reads nothing.
const wchar_t* PropertyName(std::int32_t index) {
    using namespace osproperty;
    switch (index) {
    case Version: return L"Version";
    case BootDevice: return L"BootDevice";
    case BuildNumber: return L"BuildNumber";
    case BuildType: return L"BuildType";
    case Caption: return L"Caption";
    case CodeSet: return L"CodeSet";
    case CountryCode: return L"CountryCode";
    case Debug: return L"Debug";
    case EncryptionLevel: return L"EncryptionLevel";
    case InstallDate: return L"InstallDate";
    case Organization: return L"Organization";
    case OSLanguage: return L"OSLanguage";
    case OSProductSuite: return L"OSProductSuite";
    case ServicePackMajorVersion: return L"ServicePackMajorVersion";
    case ServicePackMinorVersion: return L"ServicePackMinorVersion";
    case OSType: return L"OSType";
    case Primary: return L"Primary";
    case NumberOfLicensedUsers: return L"NumberOfLicensedUsers";
    case RegisteredUser: return L"RegisteredUser";
    case SerialNumber: return L"SerialNumber";
    default: return L"";
    }
}

TaggedValue InstallDateValue(const OSPropertySource& source, const wmi::Object& instance) {
    const auto raw = ReadProperty(instance, L"InstallDate");
    if (source.dateTimeConverter) {
        wmi::PutProperty(*source.dateTimeConverter, L"Value", raw);
        return modTaggedValue::ToDateTime(wmi::CallForValue(*source.dateTimeConverter, L"GetVarDate"), L"InstallDate");
    }
    return modWmiDateTime::DmtfToLocal(modTaggedValue::ToText(raw, L"InstallDate"));
}

// What one instance's step stores for `index`; nothing for index 12 and unknown indices.
std::optional<TaggedValue> PropertyStep(std::int32_t index, const OSPropertySource& source,
                                        const wmi::Object& instance) {
    using namespace osproperty;
    switch (index) {
    case VersionEnumeration: return TaggedValue(GetOSVerEnum(verselector::Enumeration));
    case PlatformId: return TaggedValue(GetOSVerEnum(verselector::PlatformId));
    case MajorVersion: return TaggedValue(GetOSVerEnum(verselector::Major));
    case MinorVersion: return TaggedValue(GetOSVerEnum(verselector::Minor));
    case Bitness: return TaggedValue(GetOSBits());
    case Debug:
    case Primary:
        return TaggedValue(modTaggedValue::ToBool(ReadProperty(instance, PropertyName(index)), PropertyName(index)));
    case InstallDate: return InstallDateValue(source, instance);
    default: break;
    }
    const std::wstring name = PropertyName(index);
    if (name.empty()) return std::nullopt;
    return ReadProperty(instance, name);
}

// --- Kernel record fields -------------------------------------------------------------

namespace field = records::field;

std::int32_t MajorVersion(const KernelRecord& r) { return records::Read(r, field::MajorVersion); }
std::int32_t MinorVersion(const KernelRecord& r) { return records::Read(r, field::MinorVersion); }
std::int32_t BuildNumber(const KernelRecord& r) { return records::Read(r, field::BuildNumber); }

constexpr std::uint16_t VER_SUITE_PERSONAL = 0x200;

std::wstring ServerOrWorkstation(bool server, const wchar_t* serverName, const wchar_t* workstationName) {
    return server ? serverName : workstationName;
}

std::wstring Version5Name(std::int32_t minor, bool server, std::uint16_t suiteMask) {
    switch (minor) {
    case 0: return ServerOrWorkstation(server, L"Windows 2000 Server", L"Windows 2000 Workstation");
    case 1: return (suiteMask & VER_SUITE_PERSONAL) != 0 ? L"Windows XP Home Edition" : L"Windows XP Professional";
    case 2: return ServerOrWorkstation(server, L"Windows Server 2003", L"Windows XP 64-bit Edition");
    default: return UnknownVersionName;
    }
}

std::wstring Version6Name(std::int32_t minor, bool server) {
    switch (minor) {
    case 0: return ServerOrWorkstation(server, L"Windows Server 2008", L"Windows Vista");
    case 1: return ServerOrWorkstation(server, L"Windows Server 2008 R2", L"Windows 7");
    case 2: return ServerOrWorkstation(server, L"Windows Server 2012", L"Windows 8");
    case 3: return ServerOrWorkstation(server, L"Windows Server 2012 R2", L"Windows 8.1");
    default: return UnknownVersionName;
    }
}

// Version 10 servers share one version number and differ by build.
std::wstring Version10ServerName(std::int32_t build) {
    if (build >= 26100) return L"Windows Server 2025";
    if (build >= 20348) return L"Windows Server 2022";
    if (build >= 17763) return L"Windows Server 2019";
    return L"Windows Server 2016";
}

constexpr std::int32_t FirstWindows11Build = 22000;

}  // namespace

// --- Bitness ---------------------------------------------------------------------------

std::wstring GetWMIOSVersion() {
    return LastInstanceText(L"winmgmts:{impersonationLevel=impersonate}", L"InstancesOf", L"Win32_OperatingSystem",
                            L"Version", 3);
}

bool IsOSVer6OrHigher() { return GetWMIOSVersion().compare(L"6.0") >= 0; }

std::wstring GetOSArchitecture() {
    return LastInstanceText(L"Winmgmts:", L"ExecQuery", L"SELECT * FROM Win32_OperatingSystem", L"OsArchitecture", 2);
}

std::wstring GetSystemTypeBits() {
    const auto type =
        LastInstanceText(L"Winmgmts:", L"ExecQuery", L"SELECT * FROM Win32_ComputerSystem", L"SystemType", 3);
    return platform::text::SameIgnoringCase(type, L"X86") ? L"32" : L"64";
}

std::int16_t GetOSBits() {
    const auto bits = IsOSVer6OrHigher() ? GetOSArchitecture() : GetSystemTypeBits();
    return modTaggedValue::ToInt16(bits, L"OS bitness");
}

// --- Properties and the version enumeration ---------------------------------------------

TaggedValue GetOSProperty(std::int32_t index) {
    auto& source = Source();
    if (!source.initialised) SetUpSource(source);
    for (const auto& instance : wmi::Members(source.instances)) {
        if (auto value = PropertyStep(index, source, instance)) source.result = std::move(*value);
    }
    return source.result;
}

void ResetOSPropertySource() { Source() = OSPropertySource{}; }

std::int32_t OSVersionEnumeration(std::uint32_t platformId, std::int16_t major, std::int16_t minor) {
    if (platformId == 1 && major == 4) {
        switch (minor) {
        case 0: return 1;
        case 10: return 2;
        case 90: return 3;
        default: return 0;
        }
    }
    if (platformId != 2) return 0;
    switch (major) {
    case 3: return 4;
    case 4: return 5;
    case 5: return minor >= 0 && minor <= 2 ? 6 + minor : 0;
    case 6: return minor == 0 ? 9 : minor == 1 ? 10 : 0;
    default: return 0;
    }
}

std::int32_t GetOSVerEnum(std::int32_t selector) {
    const auto versionText = modTaggedValue::ToText(GetOSProperty(osproperty::Version), L"Version");
    const auto firstDot = versionText.find(L'.');
    if (firstDot == std::wstring::npos) {
        platform::Fail(platform::errors::BadIndex, L"Version \"" + versionText + L"\" has no minor version number");
    }
    const auto secondDot = versionText.find(L'.', firstDot + 1);
    const auto major = modTaggedValue::ToInt16(versionText.substr(0, firstDot), L"Major version number");
    const auto minor =
        modTaggedValue::ToInt16(versionText.substr(firstDot + 1, secondDot - firstDot - 1), L"Minor version number");

    auto record = records::EmptyRecord<records::OsVersionInfoA>();
    if (records::GetVersionExA(record) == 0) return 0;
    const auto platformId = records::Read(record, records::field::PlatformId);
    switch (selector) {
    case verselector::Enumeration: return OSVersionEnumeration(platformId, major, minor);
    case verselector::PlatformId: return static_cast<std::int32_t>(platformId);
    case verselector::Major: return major;
    case verselector::Minor: return minor;
    default: return 0;
    }
}

// --- Naming from the kernel's version record ------------------------------------------------

bool IsServer(const KernelRecord& record) { return records::Read(record, field::ProductType) != 1; }

std::wstring GetOSVersionString(const KernelRecord& record) {
    return std::to_wstring(MajorVersion(record)) + L"." + std::to_wstring(MinorVersion(record)) + L"." +
           std::to_wstring(BuildNumber(record));
}

std::wstring GetServicePackString(const KernelRecord& record) {
    const auto major = records::Read(record, field::ServicePackMajor);
    const auto minor = records::Read(record, field::ServicePackMinor);
    if (major <= 0) return {};
    if (minor <= 0) return L"SP" + std::to_wstring(major);
    return L"SP" + std::to_wstring(major) + L"." + std::to_wstring(minor);
}

std::wstring GetOSName(const KernelRecord& record) {
    const bool server = IsServer(record);
    switch (MajorVersion(record)) {
    case 3: return ServerOrWorkstation(server, L"Windows NT 3.5 Server", L"Windows NT 3.5 Workstation");
    case 4: return ServerOrWorkstation(server, L"Windows NT 4.0 Server", L"Windows NT 4.0 Workstation");
    case 5: return Version5Name(MinorVersion(record), server, records::Read(record, field::SuiteMask));
    case 6: return Version6Name(MinorVersion(record), server);
    case 10: return server ? Version10ServerName(BuildNumber(record)) : L"Windows 10";
    default: return UnknownVersionName;
    }
}

std::wstring GetOSDisplayName(const KernelRecord& record) {
    // Windows 11 kept major version 10; only its build tells it apart.
    auto name = GetOSName(record);
    if (name == L"Windows 10" && BuildNumber(record) >= FirstWindows11Build) return L"Windows 11";
    return name;
}

std::wstring GetOSInfo(std::wstring& name, std::wstring& servicePack, std::wstring& version) {
    auto record = records::EmptyRecord<KernelRecord>();
    const auto status = records::RtlGetVersion(record);
    name = GetOSDisplayName(record);
    servicePack = GetServicePackString(record);
    version = GetOSVersionString(record);
    return status == 0 ? std::wstring() : std::wstring(VersionReadFailed);
}

KernelVersion GetKernelVersion() {
    auto record = records::EmptyRecord<KernelRecord>();
    if (records::RtlGetVersion(record) != 0) return {};
    return {static_cast<std::uint32_t>(MajorVersion(record)), static_cast<std::uint32_t>(MinorVersion(record)),
            static_cast<std::uint32_t>(BuildNumber(record))};
}

}  // namespace modVersionOS_v4
