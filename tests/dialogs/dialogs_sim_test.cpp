// The menu bar, the About and Help dialogs and the keys, through the simulator: real taps and keys
// through the program's message loop, the screen read back from the simulator's screenshots.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <functional>
#include <map>

#include "sim_runner.h"

namespace {

// ---- The screen as the simulator wrote it ----

struct Screen {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0xRRGGBB

    std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
    // Pixels in [x0, x1) x [y0, y1) that satisfy `test`.
    int Count(int x0, int y0, int x1, int y1, const std::function<bool(std::uint32_t)> &test) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += test(At(x, y));
        return n;
    }
};

Screen ReadPng(const std::string &path) {
    Screen s;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return s;
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return s;
    s.width = int(image.width);
    s.height = int(image.height);
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3)
        s.pixels.push_back((rgb[i] << 16) | (rgb[i + 1] << 8) | rgb[i + 2]);
    return s;
}

bool Dark(std::uint32_t p) { return ((p >> 16) & 0xFF) < 0x60 && ((p >> 8) & 0xFF) < 0x60 && (p & 0xFF) < 0x60; }
bool White(std::uint32_t p) { return p == 0xFFFFFF; }

// Runs a script whose "shot NAME" lines are given bare names; returns the screens by name.
struct Shots {
    sim::Result result;
    std::string dir;
    std::map<std::string, Screen> shots;
};
Shots RunWithShots(const std::string &script, const std::vector<std::string> &names,
                   const std::string &dir = sim::MakeDir()) {
    std::string text = script;
    for (const std::string &name : names) {
        std::string from = "shot " + name + "\n", to = "shot " + dir + "/" + name + ".png\n";
        auto at = text.find(from);
        if (at != std::string::npos) text.replace(at, from.size(), to);
    }
    Shots run;
    run.dir = dir;
    run.result = sim::Run(text, dir);
    for (const std::string &name : names) run.shots[name] = ReadPng(dir + "/" + name + ".png");
    return run;
}

// The navigation bar: its title runs from x = 26; "ok" is a white button at (210, 4)-(236, 22).
bool ShowsOk(const Screen &s) { return s.At(213, 6) == 0xFFFFFF; }
int TitlePixels(const Screen &s, int x0, int x1) { return s.Count(x0, 4, x1, 22, White); }

// The Tools pop-up above the menu bar: rows About, Help (18 px each), a separator, Exit.
constexpr int kToolsTap[] = {16, 307};
constexpr int kAboutRow = 241, kHelpRow = 259, kExitRow = 284;

std::string Tap(int x, int y) { return "tap " + std::to_string(x) + " " + std::to_string(y) + "\n"; }
const std::string kTools = Tap(kToolsTap[0], kToolsTap[1]);
const std::string kOk = Tap(223, 13);

TEST(DialogsSim, CtrlAOpensAboutWithItsTextsAndItsOkClosesIt) {
    // The Color box is tapped first: the keys still reach the main window.
    Shots run = RunWithShots("tap 140 94\ntap 140 94\nkey ctrl+a\nshot about\n" + kOk + "shot after\nkey ctrl+q\n",
                             {"about", "after"});
    ASSERT_EQ(run.result.status, 0) << run.result.errors;
    const Screen &about = run.shots["about"];
    const Screen &after = run.shots["after"];
    ASSERT_EQ(about.width, 240);
    ASSERT_EQ(after.width, 240);

    // The navigation bar titles the dialog "About Cadenzo" and offers "ok".
    EXPECT_TRUE(ShowsOk(about));
    EXPECT_GT(TitlePixels(about, 26, 60), 10) << "\"About\"";
    EXPECT_GT(TitlePixels(about, 80, 140), 10) << "\"Cadenzo\"";
    // The dialog fills the screen between the bars, white, with dark text in each of its statics
    // (pixel rectangles of the template at 7 x 14 base units, client row 0 = screen row 26).
    EXPECT_GT(about.Count(39, 30, 239, 62, Dark), 100) << "the two title lines";
    EXPECT_GT(about.Count(5, 70, 233, 161, Dark), 300) << "the description and the terms";
    EXPECT_GT(about.Count(7, 191, 231, 277, Dark), 300) << "the maker's lines";
    EXPECT_GT(about.Count(2, 30, 34, 62, [](std::uint32_t p) { return p == 0x000080; }), 50) << "the navy logo icon";
    EXPECT_TRUE(White(about.At(120, 292))) << "the dialog's white background reaches the menu bar";
    EXPECT_EQ(about.At(120, 310), 0xD6D3CEu) << "the menu bar stays below the dialog";

    // Closed: the main window is back, with its blue tempo bar, and no "ok".
    EXPECT_FALSE(ShowsOk(after));
    EXPECT_EQ(TitlePixels(after, 26, 140), 0) << "the main window's title is empty";
    EXPECT_EQ(after.At(6, 29), 0x0000C0u);
    EXPECT_TRUE(run.result.Has("0 exit 0")) << "Ctrl+Q works again once About is closed";
    EXPECT_EQ(sim::ReadBytes(run.dir + "/Cadenzo.ini"), (std::vector<unsigned char>{30, 0, 1, 0, 0, 1, 1}));
}

TEST(DialogsSim, TheToolsMenuOpensHelpAndAbout) {
    Shots run = RunWithShots(kTools + "shot menu\n" + Tap(30, kHelpRow) + "shot help\n" + kOk + kTools +
                                 Tap(30, kAboutRow) + "shot about\n" + kOk + "shot closed\n",
                             {"menu", "help", "about", "closed"});
    ASSERT_EQ(run.result.status, 0) << run.result.errors;
    const Screen &menu = run.shots["menu"];
    // The pop-up: white, black-bordered, above the bar, its items in dark letters.
    EXPECT_EQ(menu.At(0, 250), 0u) << "left border";
    EXPECT_TRUE(White(menu.At(60, 236)));
    EXPECT_GT(menu.Count(4, 232, 60, 250, Dark), 20) << "About";
    EXPECT_GT(menu.Count(4, 250, 60, 268, Dark), 20) << "Help";
    EXPECT_GT(menu.Count(4, 276, 60, 293, Dark), 20) << "Exit";

    const Screen &help = run.shots["help"];
    EXPECT_TRUE(ShowsOk(help));
    EXPECT_GT(TitlePixels(help, 26, 60), 10) << "\"Help\"";
    EXPECT_EQ(TitlePixels(help, 70, 140), 0) << "nothing after \"Help\"";
    EXPECT_GT(help.Count(7, 65, 231, 181, Dark), 600) << "the metronome text";
    EXPECT_GT(help.Count(7, 178, 231, 292, Dark), 600) << "the tuning text";

    const Screen &about = run.shots["about"];
    EXPECT_TRUE(ShowsOk(about));
    EXPECT_GT(TitlePixels(about, 80, 140), 10) << "\"About Cadenzo\"";

    EXPECT_FALSE(ShowsOk(run.shots["closed"]));
    EXPECT_EQ(run.shots["closed"].At(6, 276), 0x0000C0u) << "the web-address bar is painted again";
    EXPECT_TRUE(run.result.Has("0 end")) << "nothing ended the program";
}

TEST(DialogsSim, ExitFromTheToolsMenuEndsTheProgramAndSavesTheSettings) {
    std::string dir = sim::MakeDir();
    sim::Result r = sim::Run("wait 50\n" + kTools + "wait 50\n" + Tap(30, kExitRow), dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_TRUE(r.Has("100 exit 0"));
    EXPECT_EQ(sim::ReadBytes(dir + "/Cadenzo.ini").size(), 7u);
}

TEST(DialogsSim, TheMetronomeKeepsItsBeatWhileAboutOrHelpIsOpen) {
    // 4/4 with the colour off, so that the ticks alone count the beats.
    std::string dir = sim::MakeDir();
    sim::WriteBytes(dir + "/Cadenzo.ini", {30, 0, 1, 0, 3, 1, 0});
    sim::Result r = sim::Run("tap 61 88\nwait 1500\nkey ctrl+a\nwait 3000\n" + kOk + "wait 500\n" + kTools +
                                 Tap(30, kHelpRow) + "wait 3000\nkey return\nwait 200\nkey ctrl+q\n",
                             dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    std::vector<std::pair<std::uint32_t, int>> expected;
    const int pattern[] = {1025, 1027, 1026, 1027};
    for (int beat = 0; beat < 8; ++beat) expected.push_back({1000u * (beat + 1), pattern[beat % 4]});
    EXPECT_EQ(r.Sounds(), expected) << "About from 1500 to 4500, Help from 5000 to 8000: no beat lost or moved";
    EXPECT_TRUE(r.Has("8200 exit 0")) << "Return closed Help; Ctrl+Q then reached the main window";
}

TEST(DialogsSim, TheBarsKeepFlashingWhileADialogIsOpen) {
    // "None" with colour on: beats alternate light blue and blue; the probes look right after a tick.
    Shots run = RunWithShots("tap 61 88\nwait 500\nkey ctrl+a\nwait 2600\n" + kOk +
                                 "wait 400\nprobe 6 29\nwait 1000\nprobe 6 29\n"
                                 "key ctrl+q\n",
                             {});
    ASSERT_EQ(run.result.status, 0) << run.result.errors;
    EXPECT_EQ(run.result.Sounds().size(), 4u);
    std::string first = run.result.ProbeAt(3500, 6, 29), second = run.result.ProbeAt(4500, 6, 29);
    EXPECT_TRUE((first == "8080FF" && second == "0000C0") || (first == "0000C0" && second == "8080FF"))
        << first << " then " << second << ": the beats still alternate after About";
}

TEST(DialogsSim, KeysWhileADialogIsOpenGoToTheDialog) {
    sim::Result r = sim::Run("key ctrl+a\nkey ctrl+q\nkey f1\nwait 100\nkey escape\nwait 100\nkey f1\nkey ctrl+q\n");
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_FALSE(r.Has("0 exit 0")) << "About takes no accelerators";
    EXPECT_TRUE(r.Has("200 process peghelp.exe file:Cadenzo.htm#Main_Contents"))
        << "after Escape closed About, the help key reaches the main window";
    EXPECT_EQ(r.Events("process").size(), 1u) << "not while About was open";
    EXPECT_TRUE(r.Has("200 exit 0"));
}

TEST(Screenshots, AScaledShotIsTheScreenWithEveryPixelDrawnSoManyTimes) {
    std::string dir = sim::MakeDir();
    sim::Result r = sim::Run("shot " + dir + "/one.png\nshot " + dir + "/three.png 3\n", dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    Screen one = ReadPng(dir + "/one.png"), three = ReadPng(dir + "/three.png");
    ASSERT_EQ(one.width, 240);
    ASSERT_EQ(three.width, 720);
    ASSERT_EQ(three.height, 960);
    int different = 0;
    for (int y = 0; y < 960; ++y)
        for (int x = 0; x < 720; ++x) different += three.At(x, y) != one.At(x / 3, y / 3);
    EXPECT_EQ(different, 0);
    for (const char *bad : {"shot a.png 0\n", "shot a.png 9\n", "shot a.png x\n", "shot a.png 2 2\n"})
        EXPECT_EQ(sim::Run(bad, dir).status, 2) << bad;
}

}  // namespace
