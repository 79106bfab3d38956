// The program information the platform layer reads from the executable's own version
// resource. This test program is linked with the program's resource script, so it
// carries the same version resource as Velmora.exe.
#include <gtest/gtest.h>

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
    EXPECT_EQ(app.Major, VELMORA_VERSION_MAJOR);
    EXPECT_EQ(app.Minor, VELMORA_VERSION_MINOR);
    EXPECT_EQ(app.Revision, VELMORA_VERSION_REVISION);
}

}  // namespace
