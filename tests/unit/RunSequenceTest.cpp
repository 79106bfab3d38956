// modVelmora's header, progress bar and exit prompt; the program version text.
#include "TestSupport.h"
#include "app/modRunResult.h"
#include "app/modVelmora.h"
#include "app/modVersion_v2.h"
#include "console/clsWinConsole.h"

namespace {

using fake::S;
using Texts = std::vector<std::wstring>;

class RunSequenceTest : public test::VelmoraTest {
protected:
    void SetUp() override {
        VelmoraTest::SetUp();
        modVelmora::Console().Show();
        S().trace.clear();
    }
};

TEST_F(RunSequenceTest, HeaderIsFiveUnbrokenRowsOf80ThenTheDescription) {
    modVelmora::ShowHeader();
    const auto texts = S().console.Texts();
    ASSERT_EQ(texts.size(), 6u);
    std::wstring rows;
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(texts[i].size(), 80u) << i;
        rows += texts[i];
    }
    EXPECT_EQ(rows.size(), 400u);
    EXPECT_EQ(rows.find_first_of(L"\r\n"), std::wstring::npos);

    const std::wstring edge = L"-----";
    auto spaces = [](std::size_t n) { return std::wstring(n, L' '); };
    EXPECT_EQ(texts[0], std::wstring(80, L'-'));
    EXPECT_EQ(texts[1],
              edge + spaces(18) + L"Velmora Tools Corporation ver. " + test::AppVersionText + spaces(14) + edge);
    EXPECT_EQ(texts[2], edge + spaces(25) + L"www.velmora-tool.org" + spaces(25) + edge);
    EXPECT_EQ(texts[3], edge + spaces(15) + L"ActiveX add-in checker, MsComCtl.OCX file" + spaces(14) + edge);
    EXPECT_EQ(texts[4], texts[0]);
    EXPECT_EQ(texts[5], L"The program tests the version of installed ActiveX add-on, MsComCtl.OCX file\r\n\r\n");
}

TEST_F(RunSequenceTest, ProgressBarWritesEveryStepAloneWithAPauseAfterEach) {
    modVelmora::ShowProgress();
    Texts expected{L"write:|", L"pause:30"};
    for (int step = 2; step <= 70; ++step) expected.insert(expected.end(), {L"write:-", L"pause:30"});
    expected.insert(expected.end(), {L"write:|", L"write:\r\n"});
    EXPECT_EQ(S().trace, expected);
    EXPECT_EQ(S().console.Texts(), test::Bar());
    EXPECT_EQ(S().pauses, std::vector<std::uint32_t>(70, 30));
}

TEST_F(RunSequenceTest, WaitForExitPromptsReadsLetsGoAndEndsTheRunWithItsOutcome) {
    S().console.reads.push_back(fake::ReadLeaves(L"\r\n"));
    bool returned = false;
    const auto code = test::ExitCodeOf([&] {
        modVelmora::WaitForExit(modVelmora::ExitStatus::Fail);
        returned = true;
    });
    EXPECT_EQ(code, 1u);
    EXPECT_FALSE(returned);
    EXPECT_EQ(S().trace,
              (Texts{L"write:\r\n\r\n", L"write:Press Enter to exit\r\n", L"read", L"letgo", L"endcom", L"end:1"}));
}

TEST_F(RunSequenceTest, AppVersionShowsZeroInPlaceOfTheBuildNumber) {
    EXPECT_EQ(modVersion_v2::GetAppVersion(), test::AppVersionText);
    S().app.Major = 2;
    S().app.Minor = 15;
    S().app.Revision = 120;
    EXPECT_EQ(modVersion_v2::GetAppVersion(), L"2.15.0.120");
}

}  // namespace
