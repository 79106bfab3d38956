// main of the test programs that need a display: Wine's console and message boxes
// are windows, and Wine makes windows on the X display named by DISPLAY (source
// tools/wine-env.sh, which starts Xvfb when there is none).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "Win32TestSupport.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (velmora_test::RunningUnderWine() && GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
        std::printf(
            "DISPLAY is not set: under Wine this test needs an X display. "
            "Run it after 'source tools/wine-env.sh'.\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
