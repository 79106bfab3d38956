// Faults that once gave a wrong verdict or an unclean end: each ends the run as an
// error, in the Parts' order, with nothing of WMI or COM left behind.
#include <algorithm>

#include "TestSupport.h"
#include "app/modRunResult.h"
#include "app/modVelmora.h"
#include "console/clsWinConsole.h"
#include "platform/Entry.h"

namespace {

using fake::S;
using modVelmora::ExitStatus;

using test::Control;

class FaultsTest : public test::VelmoraTest {
protected:
    void SetUp() override {
        VelmoraTest::SetUp();
        test::UseWindows7WithControlFile();
        S().console.reads.push_back(fake::ReadLeaves(L"\r\n"));
    }

    // The run through the program's entry hook; the error that escaped it, if any.
    static std::optional<platform::RunError> RunThroughEntry() {
        try {
            (void)test::ExitCodeOf([] { platform::entry::RunProgram({}); });
        } catch (const platform::RunError& error) {
            return error;
        }
        return std::nullopt;
    }
};

// --- The Windows folder -------------------------------------------------------------------

TEST_F(FaultsTest, NoWindowsFolderIsAnErrorBeforeAnyPathIsBuilt) {
    S().folders.clear();
    // A control file on the current drive must not be taken for the Windows folder's.
    test::InstallControl(L"\\SysWoW64\\MsComCtl.OCX");
    modVelmora::Console().Show();
    try {
        (void)test::ExitCodeOf([] { modVelmora::RunChecks(); });
        FAIL() << "the run went on without a Windows folder";
    } catch (const platform::RunError& error) {
        EXPECT_EQ(error.Number(), platform::errors::PathNotFound);
        EXPECT_EQ(error.Description(), L"Finding the Windows folder");
    }
    const auto writes = S().console.Texts();
    ASSERT_EQ(writes.size(), 1u);  // the report only: no folder row, no test
    EXPECT_EQ(S().opened, std::vector<std::wstring>{});
    EXPECT_TRUE(S().folderTests.empty());
}

// --- Order of the reads -------------------------------------------------------------------

TEST_F(FaultsTest, WmiBranchReadsCaptionVersionAndBitnessInTheReportsOrder) {
    (void)modVelmora::GetAboutOS();
    const auto& reads = S().wmi.propertyReads;
    const auto caption = std::find(reads.begin(), reads.end(), L"Caption");
    ASSERT_NE(caption, reads.end());
    // The line after the caption reads the version, and only then the bitness its architecture.
    const auto version = std::find(caption, reads.end(), L"Version");
    const auto architecture = std::find(reads.begin(), reads.end(), L"OSArchitecture");
    EXPECT_LT(caption, version);
    EXPECT_LT(version, architecture);
}

TEST_F(FaultsTest, FirstFailingReadOfTheReportIsTheOneReported) {
    // The caption's line fails (a value the date form refuses) and so would the bitness'.
    auto os = test::Windows7Instance();
    os[L"Caption"] = platform::TaggedValue(platform::DateTime{1e9});
    test::UseOperatingSystems({os});
    S().wmi.failures[test::ShortMoniker] = static_cast<std::int32_t>(0x80041003u);
    try {
        (void)modVelmora::GetAboutOS();
        FAIL() << "the report was built";
    } catch (const platform::RunError& error) {
        EXPECT_EQ(error.Number(), platform::errors::Overflow) << "the bitness was read before the caption";
    }
}

// --- What the run leaves behind -----------------------------------------------------------

// COM ends, with nothing of WMI still held, before the process ends (the fake's
// end of the process unwinds, so the entry's guard may end it a second time: a no-op).
void ExpectComEndedBeforeTheEnd(const std::wstring& end) {
    const auto& trace = S().trace;
    const auto endCom = std::find(trace.begin(), trace.end(), L"endcom");
    EXPECT_LT(endCom, std::find(trace.begin(), trace.end(), end));
    ASSERT_FALSE(S().wmi.liveObjectsAtEndCom.empty());
    EXPECT_EQ(S().wmi.liveObjectsAtEndCom.front(), 0);
}

TEST_F(FaultsTest, ComEndsAfterEveryObjectIsReleasedWhenTheRunEndsAtThePrompt) {
    EXPECT_EQ(test::ExitCodeOf([] { platform::entry::RunProgram({}); }), 0u);
    ExpectComEndedBeforeTheEnd(L"end:0");
}

TEST_F(FaultsTest, ComEndsAfterEveryObjectIsReleasedWhenTheControlFileIsMissing) {
    S().pathExists[Control] = 0;
    EXPECT_EQ(test::ExitCodeOf([] { platform::entry::RunProgram({}); }), 2u);
    ExpectComEndedBeforeTheEnd(L"end:2");
}

TEST_F(FaultsTest, ComEndsAfterEveryObjectIsReleasedWhenAnErrorEndsTheRun) {
    S().wmi.failures[test::ShortMoniker] = static_cast<std::int32_t>(0x80041003u);  // the bitness
    const auto error = RunThroughEntry();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->Number(), static_cast<std::int32_t>(0x80041003u));
    EXPECT_EQ(S().wmi.liveObjectsAtEndCom, std::vector<int>{0});
    EXPECT_EQ(S().wmi.liveObjects, 0);
}

TEST_F(FaultsTest, ARunThatNeverReachesItsVerdictEndsAsAnError) {
    auto os = test::Windows7Instance();
    os[L"BootDevice"] = platform::TaggedValue(platform::DateTime{1e9});  // the report's last value
    test::UseOperatingSystems({os});
    const auto error = RunThroughEntry();
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(std::none_of(S().trace.begin(), S().trace.end(),
                             [](const std::wstring& event) { return event.rfind(L"end:", 0) == 0; }));
    EXPECT_EQ(platform::entry::ReportRunFailure(*error), static_cast<std::uint32_t>(ExitStatus::Error));
    ASSERT_EQ(S().messages.size(), 1u);
    EXPECT_EQ(S().messages[0].rfind(L"error:The check could not be finished.", 0), 0u);
}

}  // namespace
