// The desktop host's small decisions: the scale factor and the keys the program receives.
#include <gtest/gtest.h>

#include <SDL.h>

#include "sdl_host.h"
#include "windows.h"

namespace {

TEST(ScaleFactor, LargestWholeFactorFittingMostOfTheDisplay) {
    EXPECT_EQ(sdlhost::ChooseScale(1040, nullptr), 2);   // a 1080-line display less its panel
    EXPECT_EQ(sdlhost::ChooseScale(1400, nullptr), 3);   // 1440 lines
    EXPECT_EQ(sdlhost::ChooseScale(2100, nullptr), 5);   // a high-density 2160-line display
    EXPECT_EQ(sdlhost::ChooseScale(700, nullptr), 1);    // too short for twice 320
    EXPECT_EQ(sdlhost::ChooseScale(0, nullptr), 1);
    EXPECT_EQ(sdlhost::ChooseScale(-5, nullptr), 1);
}

TEST(ScaleFactor, TheEnvironmentOverridesWithAnyWholeFactorUpTo16) {
    EXPECT_EQ(sdlhost::ChooseScale(1040, "1"), 1);
    EXPECT_EQ(sdlhost::ChooseScale(700, "4"), 4);
    EXPECT_EQ(sdlhost::ChooseScale(1040, "16"), 16);
    // Anything else is ignored.
    EXPECT_EQ(sdlhost::ChooseScale(1040, "17"), 2);
    EXPECT_EQ(sdlhost::ChooseScale(1040, "0"), 2);
    EXPECT_EQ(sdlhost::ChooseScale(1040, "2x"), 2);
    EXPECT_EQ(sdlhost::ChooseScale(1040, ""), 2);
}

TEST(VirtualKeys, LettersDigitsAndTheKeysTheProgramUses) {
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_a), unsigned('A'));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_q), unsigned('Q'));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_z), unsigned('Z'));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_0), unsigned('0'));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_9), unsigned('9'));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_RETURN), unsigned(VK_RETURN));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_KP_ENTER), unsigned(VK_RETURN));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_ESCAPE), unsigned(VK_ESCAPE));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_LEFT), unsigned(VK_LEFT));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_RIGHT), unsigned(VK_RIGHT));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_UP), unsigned(VK_UP));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_DOWN), unsigned(VK_DOWN));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_F1), unsigned(VK_F1));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_RCTRL), unsigned(VK_CONTROL));
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_F5), 0u);
    EXPECT_EQ(sdlhost::VirtualKey(SDLK_KP_5), 0u);
    EXPECT_EQ(sdlhost::VirtualKey(0), 0u);
}

}  // namespace
