// The desktop host's small decisions: the scale factor. (What the keys do is tested through the real
// program in a virtual display.)
#include <gtest/gtest.h>

#include <string>

#include "sdl_host.h"

namespace {

TEST(ScaleFactor, LargestWholeFactorWhoseWindowFitsTheWorkArea) {
    EXPECT_EQ(sdlhost::ChooseScale(1366, 741, nullptr, nullptr), 2);   // 1366 x 768 less a panel
    EXPECT_EQ(sdlhost::ChooseScale(1920, 1053, nullptr, nullptr), 3);  // 1080 lines less a panel
    EXPECT_EQ(sdlhost::ChooseScale(3840, 2100, nullptr, nullptr), 6);  // a high-density display
    EXPECT_EQ(sdlhost::ChooseScale(480, 2000, nullptr, nullptr), 2);   // a narrow portrait area
    EXPECT_EQ(sdlhost::ChooseScale(1024, 640, nullptr, nullptr), 2);   // exactly twice 320 fits
    EXPECT_EQ(sdlhost::ChooseScale(1024, 639, nullptr, nullptr), 1);
    EXPECT_EQ(sdlhost::ChooseScale(0, 0, nullptr, nullptr), 1);  // nothing fits: at least 1
    EXPECT_EQ(sdlhost::ChooseScale(-5, -5, nullptr, nullptr), 1);
}

TEST(ScaleFactor, TheEnvironmentOverridesWithAnyWholeFactorUpTo16AndABadOneIsReported) {
    std::string warning;
    EXPECT_EQ(sdlhost::ChooseScale(1920, 1053, "1", &warning), 1);
    EXPECT_EQ(sdlhost::ChooseScale(800, 600, "4", &warning), 4);
    EXPECT_EQ(sdlhost::ChooseScale(1920, 1053, "16", &warning), 16);
    EXPECT_EQ(warning, "");
    EXPECT_EQ(sdlhost::ChooseScale(1920, 1053, "", &warning), 3);
    EXPECT_EQ(warning, "") << "an empty value is no value";
    // Anything else is ignored, in one line that names it.
    for (const char *bad : {"17", "0", "2x", "abc", "-2"}) {
        warning.clear();
        EXPECT_EQ(sdlhost::ChooseScale(1920, 1053, bad, &warning), 3) << bad;
        EXPECT_EQ(warning, std::string("CADENZO_SCALE=") + bad + " is not a whole number from 1 to 16; ignored");
    }
}

}  // namespace
