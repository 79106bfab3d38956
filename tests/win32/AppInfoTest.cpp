// The program information the platform layer reads from the executable's own version
// resource. This test program is linked with the program's resource script, so it
// carries the same version resource as Velmora.exe.
#include <gtest/gtest.h>

#include "app/modVersion_v2.h"
#include "platform/AppInfo.h"

namespace {

TEST(AppInfo, TextsComeFromTheStringTable) {
    const auto& app = platform::App();
    EXPECT_EQ(app.Title, L"Velmora");
    EXPECT_EQ(app.CompanyName, L"Velmora Software Workshop");
    // The whole name and nothing behind it (no terminating NUL, no padding).
    EXPECT_EQ(app.CompanyName.size(), 25u);
}

TEST(AppInfo, NumbersComeFromTheFixedFileVersion) {
    const auto& app = platform::App();
    EXPECT_EQ(app.Major, 1);
    EXPECT_EQ(app.Minor, 0);
    EXPECT_EQ(app.Revision, 6);
}

TEST(AppInfo, IsReadOnceAndKept) {
    const platform::AppInfo* first = &platform::App();
    const platform::AppInfo* second = &platform::App();
    EXPECT_EQ(first, second);
    EXPECT_EQ(second->Title, L"Velmora");
}

TEST(AppInfo, VersionTextLeavesTheBuildNumberAtZero) { EXPECT_EQ(modVersion_v2::GetAppVersion(), L"1.0.0.6"); }

}  // namespace
