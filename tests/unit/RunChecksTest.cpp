// The check run over fakes, write by write, and how the run ends.
#include <functional>

#include "TestSupport.h"
#include "app/modRunResult.h"
#include "app/modVelmora.h"
#include "console/clsWinConsole.h"

namespace {

using fake::S;
using test::Control;
using Writes = std::vector<std::wstring>;

const std::wstring BAR = L"<progress bar>";
const Writes Prompt = {L"\r\n\r\n", L"Press Enter to exit\r\n"};

// The writes, each BAR standing for a whole progress bar.
Writes Expand(const Writes& items) {
    Writes writes;
    for (const auto& item : items) {
        if (item == BAR) {
            const auto bar = test::Bar();
            writes.insert(writes.end(), bar.begin(), bar.end());
        } else {
            writes.push_back(item);
        }
    }
    return writes;
}

Writes operator+(Writes a, const Writes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Writes Opening(const std::wstring& folder) {
    return {test::Windows7Report + L"\r\n", L"Windows folder: \t\t" + folder + L"\r\n", L"\r\n",
            L"Test ActiveX file .OCX\r\n", BAR};
}

Writes FoundRun(const std::wstring& path, const std::wstring& version, const std::wstring& crc, const Writes& verdict) {
    return Writes{L"File " + path + L" found\r\n",    L"\r\n", L"Test version MsComCtl.OCX\r\n", BAR,
                  L"Version is " + version + L"\r\n", L"\r\n", L"Test CRC32 MsComCtl.OCX\r\n",   BAR,
                  L"CRC32 is " + crc + L"\r\n",       L"\r\n"} +
           verdict + Writes{BAR};
}

class RunChecksTest : public test::VelmoraTest {
protected:
    void SetUp() override { Machine(); }
    // The verdict the check run returned; a run that ended the process instead fails.
    static modVelmora::ExitStatus ReturnedOutcome() {
        auto outcome = modVelmora::ExitStatus::Error;
        EXPECT_EQ(test::ExitCodeOf([&] { outcome = modVelmora::RunChecks(); }), std::nullopt);
        return outcome;
    }

    // Windows 7 x64 with a valid control file; `change` alters it before the run.
    void Machine(const std::function<void()>& change = [] {}) {
        VelmoraTest::SetUp();
        test::UseWindows7();
        S().folders[36] = L"C:\\Windows";
        test::InstallControl(Control);
        change();
        modVelmora::Console().Show();
    }
};

TEST_F(RunChecksTest, ValidRunWritesEveryStepAndReturnsItsVerdict) {
    EXPECT_EQ(ReturnedOutcome(), modVelmora::ExitStatus::Valid);
    EXPECT_EQ(S().console.Texts(), Expand(Opening(L"C:\\Windows") +
                                          FoundRun(Control, L"6.1.98.46", L"B97FD45E", {L"Supplement is valid\r\n"})));
}

TEST_F(RunChecksTest, EachDifferenceIsNamedAndFailsTheRun) {
    const auto versionDiffers = [] { test::InstallControl(Control, L"other-version-crc-ok"); };
    const auto crcDiffers = [] { S().files[Control].bytes = test::StandInFile(L"other-crc"); };
    const struct {
        const char* name;
        std::function<void()> change;
        const wchar_t *version, *crc;
        Writes verdict;
    } cases[] = {
        {"version differs", versionDiffers, L"6.1.98.39", L"B97FD45E", {L"Version fail\r\n"}},
        {"CRC differs", crcDiffers, L"6.1.98.46", L"12345678", {L"CRC32 fail\r\n"}},
        {"both differ", [] { S().files[Control].bytes = test::StandInFile(L"other-version"); }, L"6.1.98.39",
         L"0BADC0DE", {L"Version fail\r\n", L"CRC32 fail\r\n"}},
        {"no version information", [] { S().files[Control].bytes = test::StandInFile(L"no-version"); }, L"",
         L"B97FD45E", {L"Version fail\r\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine(c.change);
        EXPECT_EQ(ReturnedOutcome(), modVelmora::ExitStatus::Fail);
        EXPECT_EQ(S().console.Texts(),
                  Expand(Opening(L"C:\\Windows") +
                         FoundRun(Control, c.version, c.crc, c.verdict + Writes{L"Supplement is fail\r\n"})));
    }
}

TEST_F(RunChecksTest, NoFileEndsTheRunAfterTheFirstBar) {
    const struct {
        const char* name;
        std::function<void()> change;
        const wchar_t *folder, *path;
    } cases[] = {
        {"missing", [] { S().pathExists[Control] = 0; }, L"C:\\Windows", Control.c_str()},
        {"a folder", [] { S().pathIsFolder[Control] = 16; }, L"C:\\Windows", Control.c_str()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine(c.change);
        EXPECT_EQ(test::ExitCodeOf([] { modVelmora::RunChecks(); }), 2u);
        auto writes = S().console.Texts();
        ASSERT_FALSE(writes.empty());
        writes.erase(writes.begin());  // the report, checked on its own
        auto expected =
            Expand(Opening(c.folder) + Writes{L"File " + std::wstring(c.path) + L" not found\r\n"} + Prompt);
        expected.erase(expected.begin());
        EXPECT_EQ(writes, expected);
        EXPECT_EQ(std::vector<std::wstring>(S().trace.end() - 4, S().trace.end()),
                  (std::vector<std::wstring>{L"read", L"letgo", L"endcom", L"end:2"}));
    }
}

TEST_F(RunChecksTest, WindowsFolderIsShownAsReturnedAndJoinedWithOneBackslash) {
    Machine([] {
        S().folders[36] = L"C:\\Windows\\";
        test::UseWindows7(L"32-bit");
        test::InstallControl(L"C:\\Windows\\System32\\MsComCtl.OCX");
    });
    modVelmora::RunChecks();
    const auto writes = S().console.Texts();
    EXPECT_EQ(writes.at(1), L"Windows folder: \t\tC:\\Windows\\\r\n");
    EXPECT_EQ(writes.at(4 + test::Bar().size()), L"File C:\\Windows\\System32\\MsComCtl.OCX found\r\n");
    EXPECT_EQ(writes.at(writes.size() - 1 - test::Bar().size()), L"Supplement is valid\r\n");
}

// --- The registration, after the verdict -------------------------------------------------

const std::wstring& Slider = test::ControlClasses[0];
const std::wstring& Tree = test::ControlClasses[1];
const std::wstring Temp = L"C:\\Users\\tester\\AppData\\Local\\Temp";
const std::wstring Forms = L"C:\\Users\\tester\\AppData\\Roaming\\Microsoft\\Forms";

TEST_F(RunChecksTest, APlainRunReadsNoRegistration) {
    EXPECT_EQ(ReturnedOutcome(), modVelmora::ExitStatus::Valid);
    EXPECT_TRUE(S().registry.reads.empty());
    EXPECT_FALSE(modRunResult::Record().registration.has_value());
}

TEST_F(RunChecksTest, TheRegistrationSwitchShowsItsRowsAfterTheVerdict) {
    using platform::registry::Hive;
    const std::wstring run = L"run as an administrator: \"C:\\Windows\\SysWoW64\\regsvr32.exe\" \"" + Control + L"\"";
    const struct {
        const char* name;
        std::function<void()> change;
        Writes rows;
    } cases[] = {
        {"registered", [&] { test::RegisterAll(Control); }, {L"Registration: registered\r\n"}},
        {"registered, with Office caches older and newer than the file",
         [&] {
             test::RegisterAll(Control);
             S().environment[L"TEMP"] = Temp;
             S().environment[L"APPDATA"] = L"C:\\Users\\tester\\AppData\\Roaming";
             S().fileTimes[Control] = {test::FileTime(2024, 3, 1), test::FileTime(2024, 3, 1)};
             S().listings[Temp] = {{L"Excel8.0", true, {}}};
             S().listings[Temp + L"\\Excel8.0"] = {
                 {L"VelmoraStandInControls.exd", false, {0, test::FileTime(2023, 1, 2)}}};
             S().listings[Forms] = {{L"VelmoraStandInControls.exd", false, {0, test::FileTime(2024, 5, 6)}}};
         },
         {L"Registration: registered\r\n",
          L"Office cache " + Temp +
              L"\\Excel8.0\\VelmoraStandInControls.exd, written 1/2/2023 (older than the control "
              L"file)\r\n",
          L"Office cache " + Forms + L"\\VelmoraStandInControls.exd, written 5/6/2024\r\n",
          L"Office rebuilds these caches when they are gone: close Office, then delete the older ones:\r\n",
          L"del \"" + Temp + L"\\Excel8.0\\VelmoraStandInControls.exd\"\r\n"}},
        {"registered, with an Office cache dated after the year 9999",
         [&] {
             test::RegisterAll(Control);
             S().environment[L"APPDATA"] = L"C:\\Users\\tester\\AppData\\Roaming";
             const std::uint64_t day = 864000000000;
             S().listings[Forms] = {{L"VelmoraStandInControls.exd", false, {0, test::FileTime(9999, 12, 31) + day}}};
         },
         {L"Registration: registered\r\n",
          L"Office cache " + Forms + L"\\VelmoraStandInControls.exd, written 10000-01-01T00:00:00Z\r\n"}},
        {"registered, 64-bit Office installed",
         [&] {
             test::RegisterAll(Control);
             S().registry.values64[platform::registry::Hive::LocalMachine]
                                  [L"SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration"][L"Platform"] = {
                 platform::registry::ValueKind::Text, L"x64"};
         },
         // A warning beside the verdict, told once: it is the hint too.
         {L"Registration: registered\r\n",
          L"64-bit Office 16.0 cannot load this 32-bit control: forms that use it need 32-bit Office.\r\n"}},
        {"partly, an old version elsewhere",
         [&] {
             test::Register(test::LibraryKey(), Control);
             test::Register(test::LibraryKey(L"1.0"), L"C:\\Old\\MSCOMCTL.OCX");
             test::Register(test::ClassKey(Slider), L"C:\\App\\MSCOMCTL.OCX", Hive::CurrentUser);
             fake::AddFile(L"C:\\App\\MSCOMCTL.OCX", test::ControlBytes());
         },
         {L"Registration: partly registered\r\n",
          L"Class " + Slider + L" points to C:\\App\\MSCOMCTL.OCX (per user)\r\n",
          L"Class " + Tree + L" is not registered\r\n",
          L"Type library " + test::ControlLibrary +
              L" 1.0 (another version) points to C:\\Old\\MSCOMCTL.OCX (per machine), "
              L"which is not there\r\n",
          L"Entries of this account's own win over the machine's, and regsvr32 does not change them: as "
          L"TESTPC\\tester, run reg delete \"HKCU\\Software\\Classes\\CLSID\\" +
              Slider + L"\" /f /reg:32, then run Velmora again; if it is still not registered, " + run + L"\r\n"}},
        {"no type library",
         [] { S().files[Control].bytes = test::StandInFile(L"damaged-typelib"); },
         {L"Registration: no type library\r\n",
          L"This file holds no type library (its type library's segment directory is damaged), so it is no build "
          L"of the control: "
          L"put build 6.1.98.46 in its place, then " +
              run + L"\r\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine([&] {
            S().registry = {};
            c.change();
        });
        modRunResult::CurrentRun().options.registration = true;
        EXPECT_EQ(ReturnedOutcome(), modVelmora::ExitStatus::Valid);
        Writes rows = c.rows;  // the account's row follows the state's
        rows.insert(rows.begin() + 1, L"Per-user entries and caches of: TESTPC\\tester\r\n");
        EXPECT_EQ(S().console.Texts(),
                  Expand(Opening(L"C:\\Windows") +
                         FoundRun(Control, L"6.1.98.46", L"B97FD45E", {L"Supplement is valid\r\n"}) +
                         Writes{L"\r\n", L"Test registration MsComCtl.OCX\r\n"} + rows));
    }
}

TEST_F(RunChecksTest, AFileThatCannotBeReadIsToldSoNotCalledTheWrongBuild) {
    Machine([] { S().files[Control].openable = false; });
    modRunResult::CurrentRun().options.registration = true;
    EXPECT_EQ(ReturnedOutcome(), modVelmora::ExitStatus::Fail);
    EXPECT_EQ(S().console.Texts().back(), L"Another program holds the file (an installer, an antivirus scanner): "
                                          L"close it, then run Velmora again.\r\n");
}

TEST_F(RunChecksTest, AnotherControlIsHeldToWhetherItLoads) {
    const std::wstring grid = L"C:\\App\\Grid.ocx";
    Machine([&] {
        test::InstallControl(grid, L"other-version");  // its version and CRC are its own
        test::RegisterAll(grid);
    });
    modRunResult::CurrentRun().options.controlPath = grid;
    EXPECT_EQ(ReturnedOutcome(), modVelmora::ExitStatus::Valid);
    const auto texts = S().console.Texts();
    const auto verdict = std::find(texts.begin(), texts.end(), L"Control will load\r\n");
    ASSERT_NE(verdict, texts.end());
    EXPECT_EQ(*(verdict - 2), L"CRC32 is 0BADC0DE\r\n");
    EXPECT_NE(std::find(texts.begin(), texts.end(), L"Test registration Grid.ocx\r\n"), texts.end());
}

TEST_F(RunChecksTest, AnotherControlsDependencyRowsFollowItsVerdict) {
    const std::wstring grid = L"C:\\App\\Grid.ocx";
    Machine([&] {
        // No type library: its verdict is its dependencies'.
        fake::AddFile(grid, test::BuildPe({0x14C, {{"lib.dll", {"Gamma"}}, {"late.dll", {}, true}}}));
        S().pathExists[grid] = 1;
        fake::AddFile(L"C:\\App\\lib.dll", test::BuildPe({0x14C, {}, {"Alpha"}}));
    });
    modRunResult::CurrentRun().options.controlPath = grid;
    EXPECT_EQ(ReturnedOutcome(), modVelmora::ExitStatus::Fail);
    const auto texts = S().console.Texts();
    const auto verdict =
        std::find(texts.begin(), texts.end(), L"Control will not load: lib.dll does not export Gamma\r\n");
    ASSERT_NE(verdict, texts.end());
    const auto rows = Writes(verdict + 1 + test::Bar().size(), texts.end());
    EXPECT_EQ(rows, (Writes{L"\r\n", L"Test registration Grid.ocx\r\n", L"Registration: no type library\r\n",
                            L"Per-user entries and caches of: TESTPC\\tester\r\n",
                            L"Dependency lib.dll of Grid.ocx does not export Gamma\r\n",
                            L"Dependency late.dll of Grid.ocx is not found (loaded only when used)\r\n",
                            L"lib.dll (C:\\App\\lib.dll) does not export Gamma, which Grid.ocx needs: it is another "
                            L"build than Grid.ocx was made for; install the one it needs (the program's own "
                            L"installer); until then the control does not load\r\n"}));
}

TEST_F(RunChecksTest, MainShowsTheHeaderRunsTheChecksAndEndsWithTheOutcome) {
    const Writes fail = {L"Version fail\r\n", L"Supplement is fail\r\n"};
    const struct {
        const char* name;
        std::function<void()> change;
        std::uint32_t exitCode;
        Writes checks;
    } cases[] = {
        {"valid", [] {}, 0, FoundRun(Control, L"6.1.98.46", L"B97FD45E", {L"Supplement is valid\r\n"})},
        {"version fails", [] { test::InstallControl(Control, L"other-version-crc-ok"); }, 1,
         FoundRun(Control, L"6.1.98.39", L"B97FD45E", fail)},
        {"not found", [] { S().pathExists.clear(); }, 2, {L"File " + Control + L" not found\r\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine(c.change);
        S().trace.clear();
        EXPECT_EQ(test::ExitCodeOf([] { modVelmora::Main(); }), c.exitCode);
        auto writes = S().console.Texts();
        ASSERT_GT(writes.size(), 6u);
        EXPECT_EQ(writes[0], std::wstring(80, L'-'));  // the header's first row; the header has six writes
        writes.erase(writes.begin(), writes.begin() + 6);
        EXPECT_EQ(writes, Expand(Opening(L"C:\\Windows") + c.checks + Prompt));
        EXPECT_EQ(Writes(S().trace.begin(), S().trace.begin() + 2), (Writes{L"open", L"title:Velmora"}));
        EXPECT_EQ(S().trace.back(), L"end:" + std::to_wstring(c.exitCode));
    }
}

}  // namespace
