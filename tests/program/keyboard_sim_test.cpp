// The program used with the keyboard alone, through the simulator: Tab and Shift+Tab move the focus
// through the main window's controls in creation order (the tempo bar, Start, Sound, Color, the time
// signature, the eight note buttons, then the delay group, the repeat group and the instrument), the
// focused control answers its keys, and the accelerators keep working wherever the focus is.
#include <gtest/gtest.h>

#include <string>

#include "sim_runner.h"

namespace {

std::string Tabs(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "key tab\n";
    return s;
}

TEST(KeyboardOnly, TabToStartAndSpaceStartsTheMetronome) {
    sim::Result r = sim::Run(Tabs(2) + "key space\nwait 2100\nkey ctrl+q\n");
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::vector<std::pair<std::uint32_t, int>> expected = {{1000, 1026}, {2000, 1026}};
    EXPECT_EQ(r.Sounds(), expected) << "a click each second at 60 beats a minute";
    EXPECT_TRUE(r.Has("2100 exit 0"));
}

TEST(KeyboardOnly, SpaceAgainStopsIt) {
    sim::Result r = sim::Run(Tabs(2) + "key space\nwait 1500\nkey space\nwait 3000\nkey ctrl+q\n");
    const std::vector<std::pair<std::uint32_t, int>> expected = {{1000, 1026}};
    EXPECT_EQ(r.Sounds(), expected) << "no click after the second Space";
}

TEST(KeyboardOnly, TabToTheTempoAndRightThreeTimesGives63BeatsAMinute) {
    // 63 beats a minute: a click every 60000 / 63 = 952 ms.
    sim::Result r =
        sim::Run(Tabs(1) + "key right\nkey right\nkey right\n" + Tabs(1) + "key space\nwait 2000\nkey ctrl+q\n");
    const std::vector<std::pair<std::uint32_t, int>> expected = {{952, 1026}, {1904, 1026}};
    EXPECT_EQ(r.Sounds(), expected);
}

TEST(KeyboardOnly, TheTempoBarAnswersPagesAndEnds) {
    // Page Down: +10 (70 beats, 857 ms); End: 240 beats (250 ms); Home then Page Up: 30 beats (2000 ms).
    auto firstClick = [](const std::string &keys) {
        sim::Result r = sim::Run(Tabs(1) + keys + Tabs(1) + "key space\nwait 2500\nkey ctrl+q\n");
        return r.Sounds().empty() ? 0u : r.Sounds().front().first;
    };
    EXPECT_EQ(firstClick("key pagedown\n"), 857u);
    EXPECT_EQ(firstClick("key end\n"), 250u);
    EXPECT_EQ(firstClick("key home\nkey pageup\n"), 2000u) << "Page Up at the lowest tempo stays there";
    EXPECT_EQ(firstClick("key pagedown\nkey left\n"), 869u) << "69 beats: Left takes one off";
}

TEST(KeyboardOnly, TabToANoteButtonAndSpacePlaysItsSound) {
    // The sixth stop is the first note button: "A1" of the concert notes, sound 1002.
    sim::Result r = sim::Run(Tabs(6) + "key space\nwait 100\nkey tab\nkey space\nkey ctrl+q\n");
    const std::vector<std::pair<std::uint32_t, int>> expected = {{0, 1002}, {100, 1003}};
    EXPECT_EQ(r.Sounds(), expected) << "A1 at once, then the next button, A2";
}

TEST(KeyboardOnly, ShiftTabReachesTheInstrumentListAndDownChoosesTheNextInstrument) {
    // The last stop is the instrument list; Down chooses "Guitar", whose first note button is E2 (1001...).
    sim::Result r = sim::Run("key shift+tab\nkey down\n" + Tabs(6) + "key space\nkey ctrl+q\n");
    ASSERT_EQ(r.Sounds().size(), 1u);
    EXPECT_NE(r.Sounds()[0].second, 1002) << "the note buttons carry the guitar's notes now";
}

TEST(KeyboardOnly, SpaceOnTheSoundBoxSilencesTheClicks) {
    // Sound off by its key, the metronome started by a tap: the bars still flash but nothing clicks.
    sim::Result on = sim::Run(Tabs(3) + "tap 61 88\nwait 1100\nkey ctrl+q\n");
    EXPECT_EQ(on.Sounds().size(), 1u) << "Tab alone changes nothing";
    sim::Result off = sim::Run(Tabs(3) + "key space\ntap 61 88\nwait 1100\nkey ctrl+q\n");
    EXPECT_TRUE(off.Sounds().empty());
}

TEST(KeyboardOnly, ArrowsChooseTheDelayInItsGroup) {
    // Stop 14 is the delay group, on "none": Down chooses "1 sec". Stop 15 is the repeat group, on
    // "1x": Down chooses "3x". Seven more Tabs (the instrument, then round) reach the first note button,
    // which then sounds three times, 2.05 s apart.
    sim::Result r =
        sim::Run(Tabs(14) + "key down\n" + Tabs(1) + "key down\n" + Tabs(7) + "key space\nwait 5000\nkey ctrl+q\n");
    ASSERT_EQ(r.Sounds().size(), 3u) << "three times (3x)";
    EXPECT_EQ(r.Sounds()[1].first - r.Sounds()[0].first, 2050u) << "1 sec of delay";
}

TEST(KeyboardOnly, EscapeAndReturnCloseAbout) {
    // While About is open the main loop (and so Ctrl+Q) waits: the exit shows it was closed.
    for (const char *key : {"escape", "return"}) {
        sim::Result r =
            sim::Run(std::string("key ctrl+a\nprobe 120 150\nkey ") + key + "\nprobe 120 150\nkey ctrl+q\n");
        const std::vector<std::string> openThenClosed = {"probe 120 150 000000", "probe 120 150 FFFFFF"};
        EXPECT_EQ(r.Events("probe 120 150"), openThenClosed) << key;
        EXPECT_TRUE(r.Has("0 exit 0")) << key << " closes About";
    }
    sim::Result open = sim::Run("key ctrl+a\nkey ctrl+q\n");
    EXPECT_FALSE(open.Has("0 exit 0")) << "About stays open without Escape or Return";
}

TEST(KeyboardOnly, TheFocusedStartButtonShowsTheFocusRectangle) {
    // Start spans screen (4, 74)-(118, 102): the dotted outline runs two pixels inside its frame.
    sim::Result r = sim::Run("probe 6 76\n" + Tabs(2) + "probe 6 76\nprobe 7 76\nprobe 8 76\nprobe 6 78\n" +
                             "probe 115 99\n" + Tabs(1) + "probe 6 76\n");
    const std::vector<std::string> expected = {"probe 6 76 FFFFFF", "probe 6 76 000000", "probe 7 76 FFFFFF",
                                               "probe 8 76 000000", "probe 6 78 000000", "probe 115 99 000000",
                                               "probe 6 76 FFFFFF"};
    EXPECT_EQ(r.Events("probe"), expected);
}

TEST(KeyboardOnly, AcceleratorsWorkWithTheFocusOnAControl) {
    // Focus on the time-signature list (by Tab) and on Start (by a tap): Ctrl+A still opens About
    // (Escape closes it), Ctrl+Q still exits.
    sim::Result byTab = sim::Run(Tabs(5) + "key ctrl+a\nprobe 120 150\nkey escape\nkey ctrl+q\n");
    EXPECT_EQ(byTab.ProbeAt(0, 120, 150), "000000") << "About is open";
    EXPECT_TRUE(byTab.Has("0 exit 0"));
    sim::Result byTap = sim::Run("tap 61 88\nwait 500\nkey ctrl+q\n");
    EXPECT_TRUE(byTap.Has("500 exit 0"));
    sim::Result onTheBar = sim::Run("tap 120 57\nkey f1\nkey ctrl+q\n");
    EXPECT_EQ(onTheBar.Events("process").size(), 1u) << "the help key too";
    EXPECT_TRUE(onTheBar.Has("0 exit 0"));
}

}  // namespace
