// Unattended runs: the command line, the JSON result and a quiet run's ends.
#include "ControlImage.h"
#include "TestSupport.h"
#include "app/modCommandLine.h"
#include "app/modJson.h"
#include "app/modRunResult.h"
#include "platform/Entry.h"

namespace {

using fake::S;
using modCommandLine::ParseCommandLine;
using Args = std::vector<std::wstring>;

// --- The command line -----------------------------------------------------------------

TEST(CommandLine, SwitchesInAnyOrderAndCase) {
    const auto none = ParseCommandLine({});
    EXPECT_TRUE(none.error.empty());
    EXPECT_FALSE(none.options.quiet);
    EXPECT_FALSE(none.options.jsonPath);
    EXPECT_FALSE(none.options.timeoutSeconds);  // none interactively

    const auto fleet = ParseCommandLine({L"-QUIET", L"/Json", L"C:\\out.json"});
    EXPECT_TRUE(fleet.error.empty());
    EXPECT_TRUE(fleet.options.quiet);
    EXPECT_EQ(fleet.options.jsonPath, L"C:\\out.json");
    EXPECT_EQ(fleet.options.timeoutSeconds, 120u);  // quiet's default

    const auto timed = ParseCommandLine({L"/timeout", L"86400", L"/json", L"-", L"/quiet"});
    EXPECT_TRUE(timed.error.empty());
    EXPECT_EQ(timed.options.timeoutSeconds, 86400u);
    EXPECT_EQ(timed.options.jsonPath, L"-");

    EXPECT_FALSE(none.options.registration);
    EXPECT_TRUE(ParseCommandLine({L"-Registration", L"/quiet"}).options.registration);
    EXPECT_NE(modCommandLine::UsageText().find(L"/registration"), std::wstring::npos);

    EXPECT_TRUE(ParseCommandLine({L"/SCAN", L"/quiet"}).options.scan);
    EXPECT_NE(modCommandLine::UsageText().find(L"/scan"), std::wstring::npos);

    EXPECT_TRUE(ParseCommandLine({L"/?"}).options.usage);
    EXPECT_TRUE(ParseCommandLine({L"-?"}).options.usage);
    EXPECT_EQ(ParseCommandLine({L"/timeout", L"1"}).options.timeoutSeconds, 1u);
}

TEST(CommandLine, EveryMalformedFormIsAnError) {
    const Args wrong[] = {
        {L"/verbose"},
        {L"quiet"},
        {L"/json"},
        {L"/json", L""},
        {L"/timeout"},
        {L"/timeout", L"0"},
        {L"/timeout", L"86401"},
        {L"/timeout", L"-5"},
        {L"/timeout", L"1.5"},
        {L"/timeout", L" 5"},
        {L"/timeout", L"abc"},
        {L"/json", L"a", L"/json", L"b"},
        {L"/"},
        {L"/quiet", L"extra"},
        {L"/json", L"/quiet"},
        {L"/json", L"/"},
        {L"/timeout", L"/quiet"},
        {L"-json", L"-quiet"},
        {L"/control"},
        {L"/control", L"-quiet"},
        {L"/timeout", L"-quiet"},
        {L"/scan", L"/control", L"C:\\x.ocx"},
        {L"/registration", L"/scan"},
    };
    for (const auto& arguments : wrong) {
        std::wstring shown;
        for (const auto& argument : arguments) shown += L"[" + argument + L"]";
        EXPECT_FALSE(ParseCommandLine(arguments).error.empty()) << std::string(shown.begin(), shown.end());
    }
    // A switch in a value's place is the switch: this refusal is a quiet one.
    const auto switched = ParseCommandLine({L"/json", L"/quiet"});
    EXPECT_TRUE(switched.options.quiet);
    EXPECT_EQ(switched.error, L"/json needs a file name, or - for standard output; \"/quiet\" is a switch");
}

// --- JSON text ------------------------------------------------------------------------

TEST(Json, AnyTextBecomesAValidString) {
    using modJson::Quote;
    EXPECT_EQ(Quote(L""), L"\"\"");
    EXPECT_EQ(Quote(L"say \"hi\" C:\\x"), L"\"say \\\"hi\\\" C:\\\\x\"");
    EXPECT_EQ(Quote(L"a\tb\r\nc\x01\x1f"), L"\"a\\tb\\r\\nc\\u0001\\u001f\"");
    EXPECT_EQ(Quote(L"\u010Ce\u0161tina \u00E9"), L"\"\u010Ce\u0161tina \u00E9\"");  // kept: written as UTF-8
    const std::wstring pair = {wchar_t(0xD83D), wchar_t(0xDE00)};
    EXPECT_EQ(Quote(pair), L"\"" + pair + L"\"");
    const std::wstring lone = {L'a', wchar_t(0xD83D), L'b', wchar_t(0xDE00)};
    EXPECT_EQ(Quote(lone), L"\"a\uFFFDb\uFFFD\"");
    EXPECT_EQ(modRunResult::ErrorNumberText(static_cast<std::int32_t>(0x80041003u)), L"0x80041003");
    EXPECT_EQ(modRunResult::ErrorNumberText(5), L"0x00000005");
}

// --- A run through the entry hook, unattended -------------------------------------------

using test::Control;

class UnattendedTest : public test::VelmoraTest {
protected:
    void SetUp() override {
        VelmoraTest::SetUp();
        test::UseWindows7WithControlFile();
        S().errorGiven = true;
    }

    // The exit code of a run with these arguments; an error's report as the entry makes it.
    static std::uint32_t Run(const Args& arguments) {
        try {
            if (const auto code = test::ExitCodeOf([&] { platform::entry::RunProgram(arguments); })) return *code;
        } catch (const platform::RunError& error) {
            return platform::entry::ReportRunFailure(error);
        }
        ADD_FAILURE() << "the run returned";
        return 99;
    }

    static const std::wstring& Json() { return S().writtenFiles.at(L"C:\\out.json"); }

    static void ExpectNoUserInterface() {
        EXPECT_EQ(S().console.opens, 0);
        EXPECT_TRUE(S().console.writes.empty());
        EXPECT_TRUE(S().console.readHandles.empty());
        EXPECT_TRUE(S().pauses.empty());
        EXPECT_TRUE(S().messages.empty());
    }
};

TEST_F(UnattendedTest, QuietValidRunWritesTheWholeResultAndNothingElse) {
    EXPECT_EQ(Run({L"/quiet", L"/json", L"C:\\out.json"}), 0u);
    ExpectNoUserInterface();
    EXPECT_EQ(S().watchdogSeconds, 120u);
    const auto& json = Json();
    const std::wstring head =
        L"{\n  \"schema\": 1,\n  \"tool\": \"Velmora\",\n  \"version\": \"" + test::AppVersionText +
        L"\",\n  \"result\": \"valid\",\n"
        L"  \"exitCode\": 0,\n  \"windowsFolder\": \"C:\\\\Windows\",\n  \"controlFile\": {\n"
        L"    \"path\": \"C:\\\\Windows\\\\SysWoW64\\\\MsComCtl.OCX\",\n    \"found\": true,\n"
        L"    \"version\": \"6.1.98.46\",\n    \"crc32\": \"B97FD45E\",\n    \"readError\": null,\n"
        L"    \"expectedVersion\": \"6.1.98.46\",\n"
        L"    \"expectedCrc32\": \"B97FD45E\"\n  },\n"
        L"  \"registration\": {\n    \"state\": \"registered\",\n    \"reason\": null,\n"
        L"    \"typeLibrary\": {\"id\": \"" +
        test::ControlLibrary +
        L"\", \"version\": \"2.2\", "
        L"\"path\": \"C:\\\\Windows\\\\SysWoW64\\\\MsComCtl.OCX\", \"scope\": \"machine\", \"here\": true, \"exists\": "
        L"true},\n"
        L"    \"classes\": [\n      {\"id\": \"" +
        test::ControlClasses[0] +
        L"\", "
        L"\"path\": \"C:\\\\Windows\\\\SysWoW64\\\\MsComCtl.OCX\", \"scope\": \"machine\", \"here\": true, \"exists\": "
        L"true},\n      {\"id\": \"" +
        test::ControlClasses[1] +
        L"\", "
        L"\"path\": \"C:\\\\Windows\\\\SysWoW64\\\\MsComCtl.OCX\", \"scope\": \"machine\", \"here\": true, \"exists\": "
        L"true}\n    ],\n"
        L"    \"otherVersions\": [],\n    \"hint\": null,\n    \"account\": \"TESTPC\\\\tester\",\n"
        L"    \"officeCache\": [],\n    \"office\": [],\n    \"dependencies\": [],\n"
        L"    \"dependenciesReason\": null,\n    \"loads\": true\n  },\n"
        L"  \"scan\": null,\n"
        L"  \"report\": [\n"
        L"    {\"label\": \"OS\", \"value\": \"Microsoft Windows 7 Professional\"},\n"
        L"    {\"label\": \"Version OS\", \"value\": \"6.1.7601\"},\n"
        L"    {\"label\": \"Bit version\", \"value\": \"64bit\"},\n"
        L"    {\"label\": \"GetOSVerEnum()\", \"value\": \"10\"},\n";
    EXPECT_EQ(json.substr(0, head.size()), head);
    EXPECT_NE(json.find(L"    {\"label\": \"Licenced user\", \"value\": \"\"},\n"), std::wstring::npos);
    const std::wstring tail =
        L"    {\"label\": \"Boot drive\", \"value\": \"\\\\Device\\\\HarddiskVolume1\"}\n  ],\n"
        L"  \"error\": null\n}\n";
    ASSERT_GE(json.size(), tail.size());
    EXPECT_EQ(json.substr(json.size() - tail.size()), tail);
    // The result, the control file, the registration with its three entries and their
    // GUIDs' own braces, the rows.
    EXPECT_EQ(std::count(json.begin(), json.end(), L'{'), 2 + 3 + 3 + 2 + 2 + 21);
    EXPECT_TRUE(S().watchdogStopped);
    EXPECT_TRUE(S().error.empty());
}

TEST_F(UnattendedTest, EachOutcomeHasItsResultAndExitCode) {
    const std::wstring registered = L"\"registration\": {\n    \"state\": \"registered\"";
    const struct {
        const char* name;
        std::function<void()> change;
        std::uint32_t code;
        std::wstring result, controlFile, registration;
    } cases[] = {
        {"fail", [] { S().files[Control].bytes = test::StandInFile(L"other-crc"); }, 1, L"\"result\": \"fail\"",
         L"\"version\": \"6.1.98.46\",\n    \"crc32\": \"12345678\"", registered},
        {"missing", [] { S().pathExists[Control] = 0; }, 2, L"\"result\": \"missing\"",
         L"\"found\": false,\n    \"version\": null,\n    \"crc32\": null", L"\"registration\": null,\n"},
        {"no version information", [] { S().files[Control].bytes = test::StandInFile(L"no-version"); }, 1,
         L"\"result\": \"fail\"", L"\"version\": \"\",\n    \"crc32\": \"B97FD45E\"",
         L"\"state\": \"no type library\""},
        {"no type library", [] { S().files[Control].bytes = test::StandInFile(L"damaged-typelib"); }, 0,
         L"\"result\": \"valid\"", L"\"found\": true",
         L"\"registration\": {\n    \"state\": \"no type library\",\n"
         L"    \"reason\": \"its type library's segment directory is damaged\",\n    \"typeLibrary\": null,\n"
         L"    \"classes\": [],\n    \"otherVersions\": [],\n    \"hint\": \"This file holds no type library"},
        {"not registered", [] { S().registry = {}; }, 0, L"\"result\": \"valid\"", L"\"found\": true",
         L"\"state\": \"not registered\",\n    \"reason\": null,\n    \"typeLibrary\": {\"id\": \"" +
             test::ControlLibrary +
             L"\", \"version\": \"2.2\", \"path\": null, \"scope\": null, \"here\": false, \"exists\": false},"},
        {"held without sharing", [] { S().files[Control].openable = false; }, 1, L"\"result\": \"fail\"",
         L"\"crc32\": \"00000000\",\n    \"readError\": {\"number\": \"0x80070020\", \"description\": \"the file "
         L"could not be opened\"}",
         L"\"registration\": null,\n"},
        {"a read that stops part-way", [] { S().files[Control].failingRead = 0; }, 1, L"\"result\": \"fail\"",
         L"\"readError\": {\"number\": \"0x80070020\", \"description\": \"the file could not be read past byte 0\"}",
         L"\"registration\": null,\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.change();
        EXPECT_EQ(Run({L"/quiet", L"/json", L"C:\\out.json"}), c.code);
        ExpectNoUserInterface();
        EXPECT_NE(Json().find(c.result + L",\n  \"exitCode\": " + std::to_wstring(c.code)), std::wstring::npos);
        EXPECT_NE(Json().find(c.controlFile), std::wstring::npos) << std::string(Json().begin(), Json().end());
        EXPECT_NE(Json().find(c.registration), std::wstring::npos) << std::string(Json().begin(), Json().end());
    }
}

TEST_F(UnattendedTest, AnotherControlsResultSaysWhetherItLoads) {
    test::InstallControl(L"C:\\App\\Grid.ocx");  // registered nowhere
    EXPECT_EQ(Run({L"/quiet", L"/control", L"C:\\App\\Grid.ocx", L"/json", L"C:\\out.json"}), 1u);
    for (const wchar_t* member :
         {L"\"result\": \"will not load\"", L"\"expectedVersion\": null", L"\"loads\": false"}) {
        EXPECT_NE(Json().find(member), std::wstring::npos) << std::string(member, member + wcslen(member));
    }
    // Registered, beside a 64-bit Office: a program of its bitness loads it, that Office cannot.
    test::RegisterAll(L"C:\\App\\Grid.ocx");
    S().registry.values64[platform::registry::Hive::LocalMachine]
                         [L"SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration"][L"Platform"] = {
        platform::registry::ValueKind::Text, L"x64"};
    EXPECT_EQ(Run({L"/quiet", L"/control", L"C:\\App\\Grid.ocx", L"/json", L"C:\\out.json"}), 0u);
    for (const wchar_t* member :
         {L"\"result\": \"loads\"",
          L"\"hint\": \"64-bit Office 16.0 cannot load this 32-bit control: forms that use it "
          L"need 32-bit Office.\"",
          L"{\"version\": \"16.0\", \"bitness\": \"x64\", \"source\": \"Click-to-Run\", \"loads\": false}",
          L"\"loads\": true\n  }"}) {
        EXPECT_NE(Json().find(member), std::wstring::npos) << std::string(member, member + wcslen(member));
    }
}

TEST_F(UnattendedTest, AnotherControlsPathIsMadeFullAndOneThatCannotBeReadIsAnError) {
    const std::wstring grid = S().currentFolder + L"\\Grid.ocx";
    test::InstallControl(grid);
    test::RegisterAll(grid);
    EXPECT_EQ(Run({L"/quiet", L"/control", L"Grid.ocx", L"/json", L"C:\\out.json"}), 0u);
    EXPECT_NE(Json().find(L"\"path\": \"C:\\\\Work\\\\Grid.ocx\",\n    \"found\": true"), std::wstring::npos);
    EXPECT_NE(Json().find(L"\"result\": \"loads\""), std::wstring::npos);
    // Held by another program: no verdict, but the error that says why.
    S().files[grid].openable = false;
    EXPECT_EQ(Run({L"/quiet", L"/control", L"Grid.ocx", L"/json", L"C:\\out.json"}), 3u);
    EXPECT_NE(Json().find(L"\"result\": \"error\""), std::wstring::npos);
    EXPECT_NE(Json().find(L"\"error\": {\"number\": \"0x80070020\", \"description\": \"Reading the registration: the "
                          L"file could not be opened"),
              std::wstring::npos);
}

TEST_F(UnattendedTest, ADependencysProblemInTheResult) {
    const std::wstring grid = L"C:\\App\\Grid.ocx";
    fake::AddFile(grid, test::BuildPe({0x14C, {{"lib.dll", {"Gamma"}}}}));
    S().pathExists[grid] = 1;
    fake::AddFile(L"C:\\App\\lib.dll", test::BuildPe({0x14C, {}, {"Alpha"}}));
    EXPECT_EQ(Run({L"/quiet", L"/control", grid, L"/json", L"C:\\out.json"}), 1u);
    // The DLL once, then the import that fails.
    EXPECT_NE(Json().find(L"},\n      {\"name\": \"lib.dll\", \"path\": \"C:\\\\App\\\\lib.dll\", "
                          L"\"neededBy\": \"Grid.ocx\", \"delayLoaded\": false, \"problem\": \"missing export\", "
                          L"\"export\": \"Gamma\", \"assembly\": null, \"error\": null, \"damage\": null}\n    ],\n"
                          L"    \"dependenciesReason\": null,\n    \"loads\": false\n"),
              std::wstring::npos)
        << std::string(Json().begin(), Json().end());
}

TEST_F(UnattendedTest, AnErrorGoesToTheResultAndStandardErrorNotAMessageBox) {
    S().wmi.failures[test::Cimv2Moniker] = static_cast<std::int32_t>(0x80041003u);
    EXPECT_EQ(Run({L"/quiet", L"/json", L"C:\\out.json"}), 3u);
    ExpectNoUserInterface();
    const auto& json = Json();
    EXPECT_NE(json.find(L"\"result\": \"error\",\n  \"exitCode\": 3,\n  \"windowsFolder\": null,\n"
                        L"  \"controlFile\": null,\n  \"registration\": null,\n  \"scan\": null,\n  \"report\": null,\n"
                        L"  \"error\": {\"number\": \"0x80041003\", \"description\": \"Injected failure: "),
              std::wstring::npos)
        << std::string(json.begin(), json.end());
    EXPECT_EQ(S().error.rfind(L"Velmora: error 0x80041003: Injected failure: ", 0), 0u);
    EXPECT_EQ(std::count(S().error.begin(), S().error.end(), L'\n'), 1);
}

TEST_F(UnattendedTest, InteractiveRunWithJsonShowsTheUsualScreenAndWritesTheSameResult) {
    S().console.reads.push_back(fake::ReadLeaves(L"\r\n"));
    EXPECT_EQ(Run({L"/json", L"C:\\out.json"}), 0u);
    EXPECT_EQ(S().console.opens, 1);
    EXPECT_EQ(S().pauses.size(), 4u * 70u);
    // No watchdog before the verdict; after it, the registration's reading is bounded.
    EXPECT_EQ(S().watchdogStarts, std::vector<std::uint32_t>{120});
    const auto interactive = Json();

    SetUp();
    EXPECT_EQ(Run({L"/quiet", L"/json", L"C:\\out.json"}), 0u);
    EXPECT_EQ(Json(), interactive);
}

TEST_F(UnattendedTest, JsonToStandardOutput) {
    S().outputGiven = true;
    EXPECT_EQ(Run({L"/quiet", L"/json", L"-"}), 0u);
    EXPECT_EQ(S().output.rfind(L"{\n  \"schema\": 1,", 0), 0u);
    EXPECT_TRUE(S().writtenFiles.empty());
}

TEST_F(UnattendedTest, AWrongCommandLineChecksNothing) {
    const struct {
        const char* name;
        Args arguments;
        bool errorGiven, outputGiven;
        std::size_t messages;
    } cases[] = {
        {"unknown switch, standard error", {L"/bogus"}, true, false, 0},
        {"unknown switch, no standard error", {L"/bogus"}, false, false, 1},
        {"quiet: never a message box", {L"/quiet", L"/bogus"}, false, false, 0},
        {"json to a missing standard output", {L"/json", L"-"}, true, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        S().errorGiven = c.errorGiven;
        S().outputGiven = c.outputGiven;
        EXPECT_EQ(Run(c.arguments), 4u);
        EXPECT_TRUE(S().wmi.connections.empty());
        EXPECT_EQ(S().console.opens, 0);
        EXPECT_EQ(S().messages.size(), c.messages);
        if (c.errorGiven) {
            EXPECT_NE(S().error.find(L"Velmora.exe /quiet"), std::wstring::npos);
        }
    }
}

TEST_F(UnattendedTest, UsageGoesToStandardOutputOrAMessageBox) {
    S().outputGiven = true;
    EXPECT_EQ(Run({L"/?"}), 0u);
    EXPECT_EQ(S().output, modCommandLine::UsageText());
    EXPECT_TRUE(S().wmi.connections.empty());

    SetUp();
    EXPECT_EQ(Run({L"/?"}), 0u);
    ASSERT_EQ(S().messages.size(), 1u);
    EXPECT_EQ(S().messages[0], L"info:" + modCommandLine::UsageText());

    SetUp();
    EXPECT_EQ(Run({L"/quiet", L"/?"}), 0u);
    EXPECT_TRUE(S().messages.empty()) << "quiet: no box, and no stream to write it to";
}

TEST_F(UnattendedTest, AResultThatCannotBeWrittenIsAnError) {
    S().unwritableFolders.push_back(L"C:\\missing\\");
    EXPECT_EQ(Run({L"/quiet", L"/json", L"C:\\missing\\out.json"}), 3u);
    EXPECT_TRUE(S().writtenFiles.empty());
    EXPECT_NE(S().error.find(L"Writing the result to C:\\missing\\out.json"), std::wstring::npos);
}

TEST_F(UnattendedTest, TheWatchdogEndsAHangingRunAsAnErrorWithWhatWasFound) {
    // Fired while the run reads the control file, as if it hung there.
    S().duringRead = [] { S().watchdogCallback(); };
    EXPECT_EQ(Run({L"/quiet", L"/timeout", L"5", L"/json", L"C:\\out.json"}), 3u);
    EXPECT_EQ(S().watchdogSeconds, 5u);
    const auto& json = Json();
    EXPECT_NE(json.find(L"\"result\": \"error\""), std::wstring::npos);
    EXPECT_NE(json.find(L"\"windowsFolder\": \"C:\\\\Windows\""), std::wstring::npos);
    EXPECT_NE(json.find(L"\"description\": \"the run did not reach its verdict within 5 seconds\""),
              std::wstring::npos);
}

TEST_F(UnattendedTest, OneOfTheRunAndTheWatchdogEndsTheRun) {
    // The run ended first: the watchdog, firing late, writes nothing and ends nothing.
    EXPECT_EQ(Run({L"/quiet", L"/json", L"C:\\out.json"}), 0u);
    S().writtenFiles.clear();
    EXPECT_EQ(test::ExitCodeOf(S().watchdogCallback), std::nullopt);
    EXPECT_TRUE(S().writtenFiles.empty());

    // The watchdog ended first: the run, reaching its end, neither writes nor ends.
    SetUp();
    S().duringRead = [] { EXPECT_EQ(test::ExitCodeOf(S().watchdogCallback), 3u); };
    EXPECT_THROW(Run({L"/quiet", L"/json", L"C:\\out.json"}), fake::FakeWaitToBeEnded);
    EXPECT_NE(Json().find(L"\"exitCode\": 3"), std::wstring::npos);
    const auto& trace = S().trace;
    EXPECT_NE(std::find(trace.begin(), trace.end(), L"wait to be ended"), trace.end());
    EXPECT_EQ(std::count_if(trace.begin(), trace.end(),
                            [](const auto& e) { return e.rfind(L"end:", 0) == 0 || e.rfind(L"end at once:", 0) == 0; }),
              1);
}

TEST_F(UnattendedTest, AReadingThatStallsAfterTheVerdictKeepsIt) {
    // The registry's first read blocks until the watchdog, armed anew at the verdict, fires.
    S().registry.duringRead = [] { S().watchdogCallback(); };
    EXPECT_EQ(Run({L"/quiet", L"/timeout", L"5", L"/json", L"C:\\out.json"}), 0u);
    EXPECT_EQ(S().watchdogStarts, (std::vector<std::uint32_t>{5, 5}));
    for (const wchar_t* member : {L"\"exitCode\": 0,", L"\"state\": \"not read in time\",", L"\"error\": null"}) {
        EXPECT_NE(Json().find(member), std::wstring::npos) << std::string(member, member + wcslen(member));
    }
    // On screen the watchdog shows its row and the prompt: the run's thread still waits.
    SetUp();
    S().registry.duringRead = [] { S().watchdogCallback(); };
    EXPECT_EQ(Run({L"/registration"}), 0u);
    const auto texts = S().console.Texts();
    EXPECT_EQ(texts.at(texts.size() - 4),
              L"Registration: not read in time (reading it did not finish within 120 seconds)\r\n");
}

TEST_F(UnattendedTest, TheVerdictStandsFromTheMomentItIsShown) {
    // The watchdog fires in the progress bar after the verdict: the verdict is the exit code.
    const struct {
        const char* name;
        std::vector<std::wstring> arguments;
        const wchar_t* lastRow;  // before the prompt
    } runs[] = {
        {"a plain run", {L"/timeout", L"5"}, L"Supplement is valid\r\n"},
        {"with the registration",
         {L"/timeout", L"5", L"/registration"},
         L"Registration: not read in time (reading it did not finish within 5 seconds)\r\n"},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        SetUp();
        std::optional<std::uint32_t> ended;
        S().duringPause = [&ended] {
            const auto texts = S().console.Texts();
            if (ended || std::find(texts.begin(), texts.end(), L"Supplement is valid\r\n") == texts.end()) return;
            ended = test::ExitCodeOf(S().watchdogCallback);
        };
        EXPECT_THROW(Run(run.arguments), fake::FakeWaitToBeEnded);
        EXPECT_EQ(ended, 0u);
        const auto texts = S().console.Texts();
        const auto prompt = std::find(texts.begin(), texts.end(), L"Press Enter to exit\r\n");
        ASSERT_NE(prompt, texts.end());
        EXPECT_NE(std::find(texts.begin(), prompt, run.lastRow), prompt);
        EXPECT_EQ(prompt + 1, texts.end()) << "the bar stopped at the watchdog's end";
    }
}

TEST_F(UnattendedTest, TheEndReadsNothingItCouldWaitFor) {
    // The watchdog's end comes while the run's thread may be inside the loader: what it
    // tells was read before the watchdog started.
    int readsAtTheEnd = -1;
    S().descriptionsPrepared = false;
    S().duringRead = [&readsAtTheEnd] {
        readsAtTheEnd = S().appReads;
        S().watchdogCallback();
    };
    EXPECT_EQ(Run({L"/quiet", L"/timeout", L"5", L"/json", L"C:\\out.json"}), 3u);
    EXPECT_GT(readsAtTheEnd, 0);
    EXPECT_EQ(S().appReads, readsAtTheEnd);
    EXPECT_NE(Json().find(L"\"version\": \"" + test::AppVersionText + L"\""), std::wstring::npos);
    EXPECT_FALSE(S().descriptionsPrepared) << "a quiet run shows no message box";
    SetUp();
    S().descriptionsPrepared = false;
    S().duringRead = [] { S().watchdogCallback(); };
    EXPECT_EQ(Run({L"/timeout", L"5"}), 3u);
    EXPECT_TRUE(S().descriptionsPrepared) << "the message box's words";
}

TEST_F(UnattendedTest, AWatchdogThatCannotWriteItsResultEndsAsAnErrorAndClaimsIt) {
    S().unwritableFolders.push_back(L"C:\\missing\\");
    S().registry.duringRead = [] { EXPECT_EQ(test::ExitCodeOf(S().watchdogCallback), 3u); };
    EXPECT_THROW(Run({L"/quiet", L"/timeout", L"5", L"/json", L"C:\\missing\\out.json"}), fake::FakeWaitToBeEnded);
    EXPECT_EQ(modRunResult::ClaimedEnd(), modRunResult::ExitStatus::Error);
}

TEST_F(UnattendedTest, AStallAmongTheDependenciesCostsThemAlone) {
    // The registry is read first: a folder of the search that does not answer stalls the walk after it.
    const auto importing = test::BuildPe({0x14C, {{"lib.dll", {}}}});
    S().files[Control].bytes = importing;
    S().duringListing = [] { S().watchdogCallback(); };
    EXPECT_EQ(Run({L"/quiet", L"/timeout", L"5", L"/json", L"C:\\out.json"}), 1u);
    for (const wchar_t* member :
         {L"\"exitCode\": 1,", L"\"state\": \"no type library\",", L"\"dependencies\": null,",
          L"\"dependenciesReason\": \"reading them did not finish within 5 seconds\",", L"\"loads\": false"}) {
        EXPECT_NE(Json().find(member), std::wstring::npos) << std::string(member, member + wcslen(member));
    }
    // Another control's verdict waits on them: no verdict, but the registration as read.
    SetUp();
    fake::AddFile(L"C:\\App\\Grid.ocx", importing);
    S().pathExists[L"C:\\App\\Grid.ocx"] = 1;
    S().duringListing = [] { S().watchdogCallback(); };
    EXPECT_EQ(Run({L"/quiet", L"/timeout", L"5", L"/control", L"C:\\App\\Grid.ocx", L"/json", L"C:\\out.json"}), 3u);
    EXPECT_NE(Json().find(L"\"state\": \"no type library\","), std::wstring::npos);
    EXPECT_NE(Json().find(L"\"dependenciesReason\": \"reading them did not finish within 5 seconds\","),
              std::wstring::npos);
    EXPECT_NE(Json().find(L"\"description\": \"the run did not reach its verdict within 5 seconds\""),
              std::wstring::npos);
}

// --- Who ends the run -----------------------------------------------------------------------

// --- The scan ---------------------------------------------------------------------------

class ScanRun : public UnattendedTest {
protected:
    void SetUp() override {
        UnattendedTest::SetUp();
        S().registry.values.clear();  // the machine registers the scan's files alone
        S().registry.values64.clear();
    }
    static void Class(const wchar_t* id, const std::wstring& path, std::vector<std::uint8_t> bytes = {}) {
        S().registry.values64[platform::registry::Hive::LocalMachine]
                             [L"Software\\Classes\\CLSID\\{" + std::wstring(id) + L"}\\InprocServer32"][L""] = {
            platform::registry::ValueKind::Text, path};
        if (!bytes.empty()) fake::AddFile(path, std::move(bytes));
    }
    static std::vector<std::uint8_t> Dll(std::vector<test::Import> imports = {}) {
        return test::BuildPe({0x8664, std::move(imports)});
    }
};

TEST_F(ScanRun, ItsResultHoldsEveryFileAndTheExitCodeIsTheAnswer) {
    Class(L"1", L"C:\\App\\a.dll", Dll());
    Class(L"2", L"C:\\Gone\\b.dll");  // a leftover: no file that is there
    EXPECT_EQ(Run({L"/scan", L"/quiet", L"/json", L"C:\\out.json"}), 0u);
    ExpectNoUserInterface();
    const auto& json = Json();
    EXPECT_NE(json.find(L"\"result\": \"loads\",\n  \"exitCode\": 0,"), std::wstring::npos) << json;
    EXPECT_NE(
        json.find(L"\"controlFile\": null,\n  \"registration\": null,\n  \"scan\": {\n"
                  L"    \"complete\": true,\n"
                  L"    \"counts\": {\"files\": 2, \"load\": 1, \"missing\": 1, \"willNotLoad\": 0, \"other\": 0},\n"
                  L"    \"files\": [\n"
                  L"      {\"path\": \"C:\\\\App\\\\a.dll\", \"status\": \"loads\", \"bitness\": \"64\", \"views\": "
                  L"[\"64\"], "
                  L"\"classes\": 1, \"typeLibraries\": 0, \"found\": true, \"readError\": null, \"loads\": true, "
                  L"\"registration\": null, \"cause\": null, \"dependencies\": [], \"hint\": null},\n"
                  L"      {\"path\": \"C:\\\\Gone\\\\b.dll\", \"status\": \"missing\", \"bitness\": null, \"views\": "
                  L"[\"64\"], "
                  L"\"classes\": 1, \"typeLibraries\": 0, \"found\": false, \"readError\": null, \"loads\": false, "
                  L"\"registration\": null, \"cause\": \"it is not there, nor its folder\", \"dependencies\": null, "
                  L"\"hint\": \"A program"),
        std::wstring::npos)
        << json;

    SetUp();
    Class(L"1", L"C:\\App\\a.dll", Dll({{"x.dll", {"F"}}}));
    EXPECT_EQ(Run({L"/scan", L"/quiet", L"/json", L"C:\\out.json"}), 1u);
    EXPECT_NE(Json().find(L"\"result\": \"will not load\",\n  \"exitCode\": 1,"), std::wstring::npos);
    EXPECT_NE(Json().find(L"\"dependencies\": [\n        {\"name\": \"x.dll\""), std::wstring::npos) << Json();
}

// The watchdog's end holds the files read until then. One that needs attention is the
// answer (exit 1), and the screen shows what was read; else the end is an error.
TEST_F(ScanRun, TheWatchdogsEndHoldsWhatWasRead) {
    for (const bool firstFails : {true, false}) {
        SetUp();
        Class(L"1", L"C:\\App\\a.dll", firstFails ? std::vector<std::uint8_t>{'M', 'Z'} : Dll());
        Class(L"2", L"C:\\App\\b.dll", Dll({{"x.dll", {"F"}}}));
        S().duringListing = [] { S().watchdogCallback(); };  // b.dll's search for x.dll stalls
        EXPECT_EQ(Run({L"/scan", L"/json", L"C:\\out.json"}), firstFails ? 1u : 3u);
        EXPECT_NE(Json().find(firstFails ? L"\"result\": \"will not load\"" : L"\"result\": \"error\""),
                  std::wstring::npos);
        EXPECT_NE(Json().find(L"\"complete\": false,\n    \"counts\": {\"files\": 1,"), std::wstring::npos) << Json();
        const auto texts = S().console.Texts();
        if (firstFails) {
            EXPECT_EQ(std::vector<std::wstring>(texts.end() - 5, texts.end() - 2),
                      (std::vector<std::wstring>{
                          L"    Put an intact copy in its place: repair or reinstall the program it belongs to\r\n",
                          L"\r\n", L"1 registered file: 0 load, 0 missing, 0 will not load, 1 other\r\n"}));
        } else {
            EXPECT_NE(S().messages.at(0).find(L"the scan did not finish within 120 seconds"), std::wstring::npos);
        }
    }
}

TEST(EndOfRun, ACrashTellsItselfWaitsOrEndsWithTheResultThatIsOut) {
    using modRunResult::CrashAction;
    using modRunResult::ExitStatus;
    // The run's thread (1) claimed the end, unless 0; whether its result is out; the crashing thread.
    const struct {
        const char* name;
        std::uint32_t claimant, written, crashing;
        CrashAction action;
    } cases[] = {
        {"nobody claimed it", 0, 0, 1, CrashAction::Tell},
        {"the claimant itself, its result not out", 1, 0, 1, CrashAction::Tell},
        {"another thread, the claimant's result not out", 1, 0, 2, CrashAction::Wait},
        {"the claimant, its result out", 1, 1, 1, CrashAction::EndWithClaimed},
        {"another thread, the claimant's result out", 1, 1, 2, CrashAction::EndWithClaimed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        modRunResult::StartRun();
        S().thread = c.claimant;
        if (c.claimant) {
            ASSERT_TRUE(modRunResult::ClaimEnd(modRunResult::Ender::RunThread, ExitStatus::Valid));
        }
        if (c.written) modRunResult::MarkResultWritten();
        S().thread = c.crashing;
        EXPECT_EQ(modRunResult::ClaimEndForCrash(), c.action);
        EXPECT_EQ(modRunResult::ClaimedEnd(), c.action == CrashAction::Tell ? ExitStatus::Error : ExitStatus::Valid);
    }
}

TEST(EndOfRun, AClaimWithAnotherCodeTakesBackTheResultThatIsOut) {
    using modRunResult::CrashAction;
    using modRunResult::ExitStatus;
    for (const auto again : {ExitStatus::Valid, ExitStatus::Error}) {
        modRunResult::StartRun();
        S().thread = 1;
        ASSERT_TRUE(modRunResult::ClaimEnd(modRunResult::Ender::RunThread, ExitStatus::Valid));
        modRunResult::MarkResultWritten();
        ASSERT_TRUE(modRunResult::ClaimEnd(modRunResult::Ender::RunThread, again));
        S().thread = 2;  // a crash on another thread: the result out is the claim's only with its code
        EXPECT_EQ(modRunResult::ClaimEndForCrash(),
                  again == ExitStatus::Valid ? CrashAction::EndWithClaimed : CrashAction::Wait);
        EXPECT_EQ(modRunResult::ClaimedEnd(), again);
    }
}

TEST(EndOfRun, TheCrashLineIsMadeWithoutTheHeap) {
    char line[modRunResult::CrashLineSize];
    modRunResult::FormatCrashLine(line, 0xC0000005u, L"k\u00F6rnel.dll");
    EXPECT_STREQ(line, "Velmora: error 0xC0000005: A crash in k?rnel.dll\r\n");
}

}  // namespace
