#include "TestSupport.h"

#include "app/modRunResult.h"
#include "filecheck/modCRC32_v2.h"
#include "osinfo/modVersionOS_v4.h"
#include "osinfo/modWmiDateTime.h"

namespace test {

using platform::NullValue;

void VelmoraTest::SetUp() {
    modVersionOS_v4::ResetOSPropertySource();  // before the fakes' count of live objects starts anew
    fake::Reset();
    modRunResult::StartRun();  // an interactive run, nothing found yet
}

std::wstring AppVersionText() {
    return std::to_wstring(VELMORA_VERSION_MAJOR) + L"." + std::to_wstring(VELMORA_VERSION_MINOR) + L".0." +
           std::to_wstring(VELMORA_VERSION_REVISION);
}

void UseOperatingSystems(fake::WmiCollection instances) {
    fake::S().wmi.Answer(L"InstancesOf", L"Win32_OperatingSystem", instances);
    fake::S().wmi.Answer(L"ExecQuery", L"SELECT * FROM Win32_OperatingSystem", std::move(instances));
}

void UseComputerSystems(fake::WmiCollection instances) {
    fake::S().wmi.Answer(L"ExecQuery", L"SELECT * FROM Win32_ComputerSystem", std::move(instances));
}

fake::WmiInstance Windows7Instance(const wchar_t* architecture) {
    return {
        {L"BootDevice", std::wstring(L"\\Device\\HarddiskVolume1")},
        {L"BuildNumber", std::wstring(L"7601")},
        {L"BuildType", std::wstring(L"Multiprocessor Free")},
        {L"Caption", std::wstring(L"Microsoft Windows 7 Professional")},
        {L"CodeSet", std::wstring(L"1250")},
        {L"CountryCode", std::wstring(L"420")},
        {L"Debug", false},
        {L"EncryptionLevel", std::int32_t{256}},
        {L"InstallDate", std::wstring(L"20200115103000.000000+060")},
        {L"NumberOfLicensedUsers", NullValue{}},
        {L"Organization", std::wstring(L"Velmora QA")},
        {L"OSArchitecture", std::wstring(architecture)},
        {L"OSLanguage", std::int32_t{1029}},
        {L"OSProductSuite", std::int32_t{256}},
        {L"OSType", std::int32_t{18}},
        {L"Primary", true},
        {L"RegisteredUser", std::wstring(L"Tester")},
        {L"SerialNumber", std::wstring(L"00371-OEM-8992671-00524")},
        {L"ServicePackMajorVersion", std::int32_t{1}},
        {L"ServicePackMinorVersion", std::int32_t{0}},
        {L"Version", std::wstring(L"6.1.7601")},
    };
}

void UseWindows7(const wchar_t* architecture) {
    UseOperatingSystems({Windows7Instance(architecture)});
    UseComputerSystems({{{L"SystemType", std::wstring(L"x64-based PC")}}});
    fake::S().wmi.converter = modWmiDateTime::MakeDateTime(2020, 1, 15, 10, 30, 0);
    fake::S().versionEx = fake::VersionExRecord(6, 1, 7601, 2);
    fake::S().rtlRecord = fake::KernelRecord(6, 1, 7601, 1, 0, 0x100, 1);
}

void UseWindows7WithControlFile() {
    UseWindows7();
    fake::S().folders[36] = L"C:\\Windows";
    InstallControl(Control);
    RegisterAll(Control);
}

std::wstring LibraryKey(const std::wstring& version) {
    return L"Software\\Classes\\TypeLib\\" + ControlLibrary + L"\\" + version + L"\\0\\win32";
}

std::wstring ClassKey(const std::wstring& classId) {
    return L"Software\\Classes\\CLSID\\" + classId + L"\\InprocServer32";
}

void Register(const std::wstring& key, const std::wstring& text, platform::registry::Hive hive,
              platform::registry::ValueKind kind) {
    fake::S().registry.Set(hive, key, kind, text);
}

void RegisterAll(const std::wstring& path, platform::registry::Hive hive) {
    for (const auto& key : {LibraryKey(), ClassKey(ControlClasses[0]), ClassKey(ControlClasses[1])}) {
        Register(key, path, hive);
    }
}

void UseWindows10() {
    auto os = Windows7Instance();
    os[L"BootDevice"] = std::wstring(L"\\Device\\HarddiskVolume2");
    os[L"BuildNumber"] = std::wstring(L"19045");
    os[L"Caption"] = std::wstring(L"Microsoft Windows 10 Pro");
    os[L"InstallDate"] = std::wstring(L"20230305141516.000000+060");
    os[L"ServicePackMajorVersion"] = std::int32_t{0};
    os[L"Version"] = std::wstring(L"10.0.19045");
    UseOperatingSystems({os});
    UseComputerSystems({{{L"SystemType", std::wstring(L"x64-based PC")}}});
    fake::S().versionEx = fake::VersionExRecord(6, 2, 9200, 2);
    fake::S().rtlRecord = fake::KernelRecord(10, 0, 19045, 0, 0, 0x100, 1);
}

namespace {
// The lines every report ends with, from "GetOSVerEnum(): " on.
std::wstring CommonLines(const std::wstring& enumeration, const std::wstring& installDate, const std::wstring& major,
                         const std::wstring& minor, const std::wstring& servicePack, const std::wstring& version,
                         const std::wstring& build, const std::wstring& bootDevice) {
    return L"GetOSVerEnum(): \t\t" + enumeration +
           L"\r\n"
           L"Install date: \t\t\t" +
           installDate +
           L"\r\n"
           L"Licenced user: \t\t\t\r\n"
           L"Registered user: \t\tTester\r\n"
           L"Serial number: \t\t\t00371-OEM-8992671-00524\r\n"
           L"Organization: \t\t\tVelmora QA\r\n"
           L"Product set: \t\t\t256\r\n"
           L"Platform ID: \t\t\t2\r\n"
           L"Main version: \t\t\t" +
           major +
           L"\r\n"
           L"Second version: \t\t" +
           minor +
           L"\r\n"
           L"ServicePack main version: \t" +
           servicePack +
           L"\r\n"
           L"ServicePack second version: \t0\r\n"
           L"Version OS: \t\t\t" +
           version +
           L"\r\n"
           L"Build OS: \t\t\t" +
           build +
           L"\r\n"
           L"Language version: \t\t1029\r\n"
           L"Type OS: \t\t\t18\r\n"
           L"Set code: \t\t\t1250\r\n"
           L"Country code: \t\t\t420\r\n"
           L"Encryption level: \t\t256\r\n"
           L"Build type: \t\t\tMultiprocessor Free\r\n"
           L"Boot drive: \t\t\t" +
           bootDevice;
}

const std::wstring Heading = L"About OS Windows\r\n|" + std::wstring(69, L'-') + L"|\r\n";
}  // namespace

const std::wstring Windows7Report =
    Heading +
    L"OS: \t\t\t\tMicrosoft Windows 7 Professional\r\n"
    L"Version OS: \t\t\t6.1.7601  \r\n"
    L"Bit version: \t\t\t64bit\r\n" +
    CommonLines(L"10", L"1/15/2020 10:30:00", L"6", L"1", L"1", L"6.1.7601", L"7601", L"\\Device\\HarddiskVolume1");

const std::wstring Windows10Report =
    Heading +
    L"OS: \t\t\t\tWindows 10\r\n"
    L"Version OS: \t\t\t10.0.19045  \r\n"
    L"Service pack: \t\t\t  \r\n"
    L"Bit version: \t\t\t64bit\r\n" +
    CommonLines(L"0", L"3/5/2023 13:15:16", L"10", L"0", L"0", L"10.0.19045", L"19045", L"\\Device\\HarddiskVolume2");

std::vector<std::wstring> Bar() {
    std::vector<std::wstring> writes{L"|"};
    writes.insert(writes.end(), 69, L"-");
    writes.insert(writes.end(), {L"|", L"\r\n"});
    return writes;
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> VersionBlock(std::size_t size, std::size_t at, std::uint32_t ms, std::uint32_t ls) {
    std::vector<std::uint8_t> block(size, 0xCC);
    std::vector<std::uint8_t> fixed(52, 0);
    const std::uint32_t fields[] = {0xFEEF04BDu, 0x00010000u, ms, ls};  // signature, structure version, file version
    for (std::size_t f = 0; f < 4; ++f)
        for (std::size_t b = 0; b < 4; ++b) fixed[f * 4 + b] = static_cast<std::uint8_t>(fields[f] >> (8 * b));
    for (std::size_t i = 0; i < fixed.size() && at + i < size; ++i) block[at + i] = fixed[i];
    return block;
}

std::vector<std::uint8_t> ControlBytes() { return StandInFile(L"valid"); }

void InstallControl(const std::wstring& path, std::uint32_t ms, std::uint32_t ls) {
    fake::S().pathExists[path] = 1;
    fake::AddFile(path, ControlBytes());
    fake::S().versions[path] = {400, VersionBlock(400, 40, ms, ls), {true, 40, 52}};
}

std::wstring Hex(std::int32_t crc) { return modCRC32_v2::FormatCRC32Hex(crc); }

std::uint64_t FileTime(int year, int month, int day) {
    constexpr double TicksPerDay = 864e9, DaysFrom1601To1899 = 109205;  // file time, automation dates
    const auto date = modWmiDateTime::MakeDateTime(year, month, day, 0, 0, 0).oleDate;
    return static_cast<std::uint64_t>((date + DaysFrom1601To1899) * TicksPerDay);
}

}  // namespace test
