// The desktop host's small decisions: the scale factor, the window's icons found in the theme. (What
// the keys do is tested through the real program in a virtual display.)
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

// The theme folder of an installed copy, from the executable's folder bin/.
const std::string kInstalled = "bin/" CADENZO_ICONS_FROM_BIN;

// A theme folder made for the test: SIZExSIZE/apps/ID.png files of given contents.
class ThemeFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/cadenzo-icons-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    std::string Place(const std::string &theme, int folderSize) {
        std::string side = std::to_string(folderSize);
        std::string folder = dir_ + "/" + theme + "/" + side + "x" + side + "/apps";
        std::string command = "mkdir -p '" + folder + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return folder + "/org.example.Test.png";
    }
    // A PNG of `pixelSize` square whose every pixel is `argb`, in the folder of `folderSize`.
    void WritePng(const std::string &theme, int folderSize, int pixelSize, std::uint32_t argb) {
        png_image png;
        std::memset(&png, 0, sizeof png);
        png.version = PNG_IMAGE_VERSION;
        png.width = png_uint_32(pixelSize);
        png.height = png_uint_32(pixelSize);
        png.format = PNG_FORMAT_ARGB;
        std::vector<unsigned char> bytes;
        for (int i = 0; i < pixelSize * pixelSize; ++i)
            for (int shift : {24, 16, 8, 0}) bytes.push_back((unsigned char)(argb >> shift));
        ASSERT_TRUE(png_image_write_to_file(&png, Place(theme, folderSize).c_str(), 0, bytes.data(), 0, nullptr));
    }
    void WriteText(const std::string &theme, int folderSize, const std::string &text) {
        FILE *file = std::fopen(Place(theme, folderSize).c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fputs(text.c_str(), file);
        std::fclose(file);
    }
    std::vector<int> Sizes(const std::vector<sdlhost::IconImage> &images) {
        std::vector<int> sizes;
        for (const auto &image : images) sizes.push_back(image.size);
        return sizes;
    }
    std::string dir_;
};

TEST_F(ThemeFolder, EverySizeThatIsThereAndSoundIsTakenWithItsPixels) {
    // The executable in bin/, the theme installed beside it (share/icons/hicolor).
    WritePng(kInstalled, 16, 16, 0xFF102030u);
    WritePng(kInstalled, 48, 48, 0x80FF0000u);
    WriteText(kInstalled, 32, "not a picture");  // damaged: left out
    WritePng(kInstalled, 64, 32, 0xFF000000u);   // the wrong size for its folder: left out
    auto images = sdlhost::ThemeIcons(dir_ + "/bin", "org.example.Test", {16, 32, 48, 64, 128});
    ASSERT_EQ(Sizes(images), (std::vector<int>{16, 48}));
    ASSERT_EQ(images[0].pixels.size(), 16u * 16);
    EXPECT_EQ(images[0].pixels[0], 0xFF102030u) << "0xAARRGGBB, as the window's icon property holds it";
    EXPECT_EQ(images[1].pixels[48 * 48 - 1], 0x80FF0000u) << "alpha kept";
}

TEST_F(ThemeFolder, ABuildFolderHasItsOwnAndNoThemeGivesNone) {
    EXPECT_TRUE(sdlhost::ThemeIcons(dir_ + "/bin", "org.example.Test", {16, 32}).empty());
    WritePng("bin/data/hicolor", 32, 32, 0xFFFFFFFFu);
    auto images = sdlhost::ThemeIcons(dir_ + "/bin", "org.example.Test", {16, 32});
    EXPECT_EQ(Sizes(images), (std::vector<int>{32}));
    // An installed theme comes first when both are there.
    WritePng(kInstalled, 16, 16, 0xFF000000u);
    EXPECT_EQ(Sizes(sdlhost::ThemeIcons(dir_ + "/bin", "org.example.Test", {16, 32})), (std::vector<int>{16}));
    EXPECT_TRUE(sdlhost::ThemeIcons(dir_ + "/bin", "org.example.Other", {16, 32}).empty());
}

}  // namespace
