#include "app/modVelmora.h"

#include <array>

#include "app/modVersion_v2.h"
#include "console/clsWinConsole.h"
#include "filecheck/modCRC32_v2.h"
#include "filecheck/modFileDirExists_v2.h"
#include "filecheck/modFileVersion.h"
#include "filecheck/modSpecialFoldersWin.h"
#include "osinfo/modTaggedValue.h"
#include "osinfo/modVersionOS_v4.h"
#include "platform/AppInfo.h"
#include "platform/Process.h"
#include "platform/RunError.h"
#include "platform/ShellFolders.h"
#include "platform/Wmi.h"

namespace modVelmora {

namespace {

namespace osproperty = modVersionOS_v4::osproperty;
namespace verselector = modVersionOS_v4::verselector;

constexpr bool WithLineEnd = true;
constexpr bool WithoutLineEnd = false;

constexpr int FrameWidth = 80;
constexpr int ProgressSteps = 70;
constexpr std::uint32_t ProgressPauseMs = 30;

const std::wstring ControlFileName = L"MsComCtl.OCX";
const std::wstring RequiredVersion = L"6.1.98.46";
const std::wstring RequiredCRC32 = L"B97FD45E";

struct SpecialFolderEntry {
    std::wstring DisplayName;
    std::wstring FolderPath;
    std::wstring CsidlName;
};

std::wstring Repeat(wchar_t ch, int count) { return std::wstring(static_cast<std::size_t>(count), ch); }
std::wstring Spaces(int count) { return Repeat(L' ', count); }
std::wstring Tabs(int count) { return Repeat(L'\t', count); }
const std::wstring FrameEdge = Repeat(L'-', 5);
const std::wstring CrLf = L"\r\n";

void Write(const std::wstring& text) { Console().WriteText(text, WithLineEnd); }

// --- The report --------------------------------------------------------------------

std::wstring ReportLine(const wchar_t* label, int tabs, const std::wstring& value, const wchar_t* after) {
    return label + Tabs(tabs) + value + after;
}

std::wstring PropertyLine(const wchar_t* label, int tabs, std::int32_t index, const wchar_t* after = L"\r\n") {
    return ReportLine(label, tabs, modTaggedValue::ToReportText(modVersionOS_v4::GetOSProperty(index)), after);
}

// Each line is built in a statement of its own, so the property reads, any of which
// may fail, happen in the report's order.
std::wstring WmiBranchLines() {
    std::wstring lines = PropertyLine(L"OS: ", 4, osproperty::Caption);
    lines += PropertyLine(L"Version OS: ", 3, osproperty::Version, L"  \r\n");
    lines += PropertyLine(L"Bit version: ", 3, osproperty::Bitness, L"bit\r\n");
    return lines;
}

std::wstring KernelRecordBranchLines() {
    std::wstring name, servicePack, version;
    modVersionOS_v4::GetOSInfo(name, servicePack, version);  // its status is not shown
    std::wstring lines = ReportLine(L"OS: ", 4, name, L"\r\n");
    lines += ReportLine(L"Version OS: ", 3, version, L"  \r\n");
    lines += ReportLine(L"Service pack: ", 3, servicePack, L"  \r\n");
    lines += PropertyLine(L"Bit version: ", 3, osproperty::Bitness, L"bit\r\n");
    return lines;
}

struct CommonLine {
    const wchar_t* label;
    int tabs;
    osproperty::Index index;
};

constexpr std::array<CommonLine, 21> CommonLines = {{
    {L"GetOSVerEnum(): ", 2, osproperty::VersionEnumeration},
    {L"Install date: ", 3, osproperty::InstallDate},
    {L"Licenced user: ", 3, osproperty::NumberOfLicensedUsers},
    {L"Registered user: ", 2, osproperty::RegisteredUser},
    {L"Serial number: ", 3, osproperty::SerialNumber},
    {L"Organization: ", 3, osproperty::Organization},
    {L"Product set: ", 3, osproperty::OSProductSuite},
    {L"Platform ID: ", 3, osproperty::PlatformId},
    {L"Main version: ", 3, osproperty::MajorVersion},
    {L"Second version: ", 2, osproperty::MinorVersion},
    {L"ServicePack main version: ", 1, osproperty::ServicePackMajorVersion},
    {L"ServicePack second version: ", 1, osproperty::ServicePackMinorVersion},
    {L"Version OS: ", 3, osproperty::Version},
    {L"Build OS: ", 3, osproperty::BuildNumber},
    {L"Language version: ", 2, osproperty::OSLanguage},
    {L"Type OS: ", 3, osproperty::OSType},
    {L"Set code: ", 3, osproperty::CodeSet},
    {L"Country code: ", 3, osproperty::CountryCode},
    {L"Encryption level: ", 2, osproperty::EncryptionLevel},
    {L"Build type: ", 3, osproperty::BuildType},
    {L"Boot drive: ", 3, osproperty::BootDevice},
}};

}  // namespace

clsWinConsole& Console() {
    static clsWinConsole console;
    return console;
}

// --- Run sequence --------------------------------------------------------------------

void Main() {
    Console().Show();
    ShowHeader();
    const ExitStatus outcome = RunChecks();
    WaitForExit(outcome);
}

void ShowHeader() {
    const auto& app = platform::App();
    const std::wstring frame = Repeat(L'-', FrameWidth);
    // Five rows of 80 characters without line ends: an 80-column console wraps them.
    Console().WriteText(frame, WithoutLineEnd);
    Console().WriteText(
        FrameEdge + Spaces(18) + app.CompanyName + L" ver. " + modVersion_v2::GetAppVersion() + Spaces(14) + FrameEdge,
        WithoutLineEnd);
    Console().WriteText(FrameEdge + Spaces(25) + MakerWebAddress + Spaces(25) + FrameEdge, WithoutLineEnd);
    Console().WriteText(FrameEdge + Spaces(15) + L"ActiveX add-in checker, MsComCtl.OCX file" + Spaces(14) + FrameEdge,
                        WithoutLineEnd);
    Console().WriteText(frame, WithoutLineEnd);
    Write(L"The program tests the version of installed ActiveX add-on, MsComCtl.OCX file" + CrLf);
}

void ShowProgress() {
    for (int step = 1; step <= ProgressSteps; ++step) {
        Console().WriteText(step == 1 ? L"|" : L"-", WithoutLineEnd);
        platform::process::Pause(ProgressPauseMs);
    }
    Console().WriteText(L"|", WithoutLineEnd);
    Write(L"");
}

void WaitForExit(ExitStatus outcome) {
    Write(CrLf);
    Write(L"Press Enter to exit");
    Console().ReadText();
    Console().Hide();
    ReleaseSystemObjects();
    platform::process::EndNow(static_cast<std::uint32_t>(outcome));
}

void ReleaseSystemObjects() {
    modVersionOS_v4::ResetOSPropertySource();
    platform::wmi::EndCom();
}

// --- Check run ---------------------------------------------------------------------------

ExitStatus RunChecks() {
    Write(GetAboutOS());

    const SpecialFolderEntry windowsEntry = {
        L"Windows Directory", modSpecialFoldersWin::GetSpecialFolder(platform::shell::CsidlWindows), L"CSIDL_WINDOWS"};
    const std::wstring windowsFolder = windowsEntry.FolderPath;
    // Without it every path below would be relative to the current drive.
    if (windowsFolder.empty()) platform::Fail(platform::errors::PathNotFound, L"Finding the Windows folder");
    Write(L"Windows folder: " + Tabs(2) + windowsFolder);

    const std::wstring systemFolder = modVersionOS_v4::GetOSBits() == 64 ? L"SysWoW64" : L"System32";
    const std::wstring path = modSpecialFoldersWin::AddBackslash(windowsFolder) +
                              modSpecialFoldersWin::AddBackslash(systemFolder) + ControlFileName;

    Write(L"");
    Write(L"Test ActiveX file .OCX");
    ShowProgress();
    if (!modFileDirExists_v2::FileExists(path)) {
        Write(L"File " + path + L" not found");
        WaitForExit(ExitStatus::NotFound);
    }
    Write(L"File " + path + L" found");

    Write(L"");
    Write(L"Test version MsComCtl.OCX");
    ShowProgress();
    const auto version = modFileVersion::GetFileVersion(path);
    Write(L"Version is " + version);

    Write(L"");
    Write(L"Test CRC32 MsComCtl.OCX");
    ShowProgress();
    const auto crc = modCRC32_v2::GetFileCRC32Hex(path);
    Write(L"CRC32 is " + crc);

    Write(L"");
    bool verdict = true;
    if (version != RequiredVersion) {
        Write(L"Version fail");
        verdict = false;
    }
    if (crc != RequiredCRC32) {
        Write(L"CRC32 fail");
        verdict = false;
    }
    Write(verdict ? L"Supplement is valid" : L"Supplement is fail");
    ShowProgress();
    return verdict ? ExitStatus::Valid : ExitStatus::Fail;
}

// --- The "About OS Windows" report ----------------------------------------------------------

std::wstring GetAboutOS() {
    std::wstring report = L"About OS Windows" + CrLf + L"|" + Repeat(L'-', 69) + L"|" + CrLf;
    // Both enumeration calls come before the test.
    const auto first = modVersionOS_v4::GetOSVerEnum(verselector::Enumeration);
    const auto second = modVersionOS_v4::GetOSVerEnum(verselector::Enumeration);
    report += first <= 10 && second != 0 ? WmiBranchLines() : KernelRecordBranchLines();
    for (std::size_t i = 0; i < CommonLines.size(); ++i) {
        const auto& line = CommonLines[i];
        report += PropertyLine(line.label, line.tabs, line.index, i + 1 < CommonLines.size() ? L"\r\n" : L"");
    }
    return report;
}

}  // namespace modVelmora
