#include "TestSupport.h"

#include <utility>

#include "app/modRunResult.h"
#include "filecheck/modCRC32_v2.h"
#include "osinfo/modVersionOS_v4.h"
#include "osinfo/modWmiDateTime.h"

namespace test {

void VelmoraTest::SetUp() {
    modVersionOS_v4::ResetOSPropertySource();  // before the fakes' count of live objects starts anew
    fake::Reset();
    modRunResult::StartRun();  // an interactive run, nothing found yet
}

void UseOperatingSystems(fake::WmiCollection instances) {
    fake::S().wmi.Answer(L"InstancesOf", L"Win32_OperatingSystem", instances);
    fake::S().wmi.Answer(L"ExecQuery", L"SELECT * FROM Win32_OperatingSystem", std::move(instances));
}

void UseComputerSystems(fake::WmiCollection instances) {
    fake::S().wmi.Answer(L"ExecQuery", L"SELECT * FROM Win32_ComputerSystem", std::move(instances));
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
const std::wstring Heading = L"About OS Windows\r\n|" + std::wstring(69, L'-') + L"|\r\n";

// GetAboutOS's text: under the heading a line per row, its label, TABs to column 32
// and its value; the last line has no line break. The kernel's branch (Windows 8 on)
// has a service pack row; `servicePackRow` is empty on the other.
std::wstring Report(const std::wstring& os, const std::wstring& versionWithBuild, const std::wstring& servicePackRow,
                    const std::wstring& enumeration, const std::wstring& installDate, const std::wstring& major,
                    const std::wstring& minor, const std::wstring& servicePack, const std::wstring& build,
                    const std::wstring& bootDevice) {
    std::vector<std::pair<std::wstring, std::wstring>> rows{{L"OS: ", os}, {L"Version OS: ", versionWithBuild + L"  "}};
    if (!servicePackRow.empty()) rows.emplace_back(L"Service pack: ", servicePackRow);
    rows.insert(rows.end(), {{L"Bit version: ", L"64bit"},
                             {L"GetOSVerEnum(): ", enumeration},
                             {L"Install date: ", installDate},
                             {L"Licenced user: ", L""},
                             {L"Registered user: ", L"Tester"},
                             {L"Serial number: ", L"00371-OEM-8992671-00524"},
                             {L"Organization: ", L"Velmora QA"},
                             {L"Product set: ", L"256"},
                             {L"Platform ID: ", L"2"},
                             {L"Main version: ", major},
                             {L"Second version: ", minor},
                             {L"ServicePack main version: ", servicePack},
                             {L"ServicePack second version: ", L"0"},
                             {L"Version OS: ", major + L"." + minor + L"." + build},
                             {L"Build OS: ", build},
                             {L"Language version: ", L"1029"},
                             {L"Type OS: ", L"18"},
                             {L"Set code: ", L"1250"},
                             {L"Country code: ", L"420"},
                             {L"Encryption level: ", L"256"},
                             {L"Build type: ", L"Multiprocessor Free"},
                             {L"Boot drive: ", bootDevice}});
    std::wstring text = Heading;
    for (const auto& [label, value] : rows) {
        text += label;
        for (auto column = label.size(); column < 32; column = (column / 8 + 1) * 8) text += L'\t';
        text += value + L"\r\n";
    }
    return text.substr(0, text.size() - 2);
}
}  // namespace

const std::wstring Windows7Report =
    Report(L"Microsoft Windows 7 Professional", L"6.1.7601", L"", L"10", L"1/15/2020 10:30:00", L"6", L"1", L"1",
           L"7601", L"\\Device\\HarddiskVolume1");
const std::wstring Windows10Report = Report(L"Windows 10", L"10.0.19045", L"  ", L"0", L"3/5/2023 13:15:16", L"10",
                                            L"0", L"0", L"19045", L"\\Device\\HarddiskVolume2");

std::vector<std::wstring> Bar() {
    std::vector<std::wstring> writes{L"|"};
    writes.insert(writes.end(), 69, L"-");
    writes.insert(writes.end(), {L"|", L"\r\n"});
    return writes;
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> ControlBytes() { return StandInFile(L"valid"); }

void InstallControl(const std::wstring& path, const std::wstring& variant) {
    fake::S().pathExists[path] = 1;
    fake::AddFile(path, StandInFile(variant));
}

std::wstring Hex(std::int32_t crc) { return modCRC32_v2::FormatCRC32Hex(crc); }

std::uint64_t FileTime(int year, int month, int day) {
    constexpr double TicksPerDay = 864e9, DaysFrom1601To1899 = 109205;  // file time, automation dates
    const auto date = modWmiDateTime::MakeDateTime(year, month, day, 0, 0, 0).oleDate;
    return static_cast<std::uint64_t>((date + DaysFrom1601To1899) * TicksPerDay);
}

}  // namespace test
