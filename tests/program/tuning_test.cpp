// The instrument catalogue and the note player, in-process on the test host with its exact clock.
#include "program_fixture.h"

namespace {

using Tuning = ProgramTest;
using Sounds = std::vector<std::pair<std::uint32_t, int>>;

struct Expected {
    const char16_t *captions[8];
    int sounds[8];
    bool allShown;
};

// Each row as the catalogue gives it, written out here independently of the program's table.
const Expected kCatalogue[] = {
    {{u"A1", u"A2", u"A3", u"D min", u"Bb1", u"Bb2", u"Bb3", u"Bb maj"}, {1002, 1003, 1004, 1022, 1006, 1007, 1008, 1020}, false},
    {{u"E1", u"A2", u"D3", u"G4", u"B5", u"E6", u"G maj", u"E maj"}, {1015, 1002, 1012, 1019, 1005, 1016, 1024, 1023}, true},
    {{u"E1", u"A2", u"D3", u"G4", u"D min", u"C maj", u"G maj", u"E maj"}, {1014, 1001, 1011, 1018, 1022, 1021, 1024, 1023}, true},
    {{u"C1", u"G2", u"D3", u"A4", u"D min", u"C maj", u"G maj", u"E maj"}, {1009, 1018, 1012, 1003, 1022, 1021, 1024, 1023}, true},
    {{u"C1", u"G2", u"D3", u"A4", u"D min", u"C maj", u"G maj", u"E maj"}, {1010, 1019, 1013, 1004, 1022, 1021, 1024, 1023}, true},
    {{u"G1", u"D2", u"A3", u"E4", u"D min", u"C maj", u"G maj", u"E maj"}, {1019, 1013, 1004, 1017, 1022, 1021, 1024, 1023}, true},
};

TEST_F(Tuning, EachInstrumentLabelsTheButtonsAndPlaysItsSounds) {
    for (int i = 0; i < 6; ++i) {
        Choose(app.instrumentCombo, IDC_INSTRUMENT, i);
        EXPECT_EQ(app.instrumentIndex, i);
        EXPECT_EQ(IsWindowVisible(app.allButton) != FALSE, kCatalogue[i].allShown) << i;
        testhost::ClearRecord();
        start = testhost::Now();
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(Text(app.noteButtons[k]), kCatalogue[i].captions[k]) << i << " " << k;
            Command(IDC_NOTE_1 + k);
            testhost::Advance(10);
        }
        Sounds heard = Heard();
        ASSERT_EQ(heard.size(), 8u) << i;
        for (int k = 0; k < 8; ++k) EXPECT_EQ(heard[k].second, kCatalogue[i].sounds[k]) << i << " " << k;
    }
}

TEST_F(Tuning, OneRepeatSoundsOnceAndStopDisappearsOneDelayLater) {
    Command(IDC_NOTE_1);
    EXPECT_TRUE(IsWindowVisible(app.stopButton));
    testhost::Advance(1049);
    EXPECT_TRUE(IsWindowVisible(app.stopButton));
    testhost::Advance(1);
    EXPECT_FALSE(IsWindowVisible(app.stopButton));
    EXPECT_EQ(Heard(), (Sounds{{0, 1002}}));
}

TEST_F(Tuning, ThreeRepeatsWithoutDelayStartEvery1050Milliseconds) {
    Command(IDC_REPEAT_3X);
    EXPECT_EQ(SendMessageW(app.repeat3xRadio, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(app.repeat1xRadio, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    Command(IDC_NOTE_1 + 2);
    testhost::Advance(3149);
    EXPECT_TRUE(IsWindowVisible(app.stopButton));
    testhost::Advance(1);
    EXPECT_FALSE(IsWindowVisible(app.stopButton));
    EXPECT_EQ(Heard(), (Sounds{{0, 1004}, {1050, 1004}, {2100, 1004}}));
}

TEST_F(Tuning, AllPlaysTheOpenStringsFromTheLowestAndNeverTheChords) {
    Choose(app.instrumentCombo, IDC_INSTRUMENT, 1);   // Guitar
    Command(IDC_ALL);
    testhost::Advance(7000);
    EXPECT_EQ(Heard(), (Sounds{{0, 1015}, {1050, 1002}, {2100, 1012}, {3150, 1019}, {4200, 1005}, {5250, 1016}}));
    EXPECT_FALSE(IsWindowVisible(app.stopButton));

    Choose(app.instrumentCombo, IDC_INSTRUMENT, 2);   // Bass, three times each: twelve sounds
    Command(IDC_REPEAT_3X);
    testhost::ClearRecord();
    start = testhost::Now();
    Command(IDC_ALL);
    testhost::Advance(14000);
    Sounds heard = Heard();
    ASSERT_EQ(heard.size(), 12u);
    const int strings[] = {1014, 1001, 1011, 1018};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(heard[i].first, std::uint32_t(1050 * i));
        EXPECT_EQ(heard[i].second, strings[i / 3]);
    }
}

TEST_F(Tuning, LoweringTheRepeatCountEndsARepeatingNoteAtTheNextTick) {
    Command(IDC_REPEAT_5X);
    Command(IDC_NOTE_1);
    testhost::Advance(1500);   // two plays so far
    Command(IDC_REPEAT_1X);
    testhost::Advance(599);
    EXPECT_TRUE(IsWindowVisible(app.stopButton));
    testhost::Advance(1);
    EXPECT_FALSE(IsWindowVisible(app.stopButton));
    EXPECT_EQ(Heard(), (Sounds{{0, 1002}, {1050, 1002}}));
}

TEST_F(Tuning, ADelayChangeOnlyStoresWhileIdleAndRetimesFromNowWhilePlaying) {
    Command(IDC_DELAY_1S);
    EXPECT_EQ(app.noteDelayMs, 2050);
    EXPECT_EQ(SendMessageW(app.delay1sRadio, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(app.delayNoneRadio, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    testhost::Advance(3000);
    EXPECT_TRUE(Heard().empty());

    Command(IDC_REPEAT_3X);
    testhost::ClearRecord();
    start = testhost::Now();
    Command(IDC_NOTE_1);
    testhost::Advance(500);
    Command(IDC_DELAY_3S);   // 5050 ms from now
    EXPECT_EQ(app.noteDelayMs, 5050);
    testhost::Advance(11000);
    EXPECT_EQ(Heard(), (Sounds{{0, 1002}, {5550, 1002}, {10600, 1002}}));
}

TEST_F(Tuning, ANoteButtonDuringAllSwitchesToThatNote) {
    Choose(app.instrumentCombo, IDC_INSTRUMENT, 1);
    Command(IDC_ALL);
    testhost::Advance(1500);
    Command(IDC_NOTE_8);
    testhost::Advance(5000);
    EXPECT_EQ(Heard(), (Sounds{{0, 1015}, {1050, 1002}, {1500, 1023}}));
    EXPECT_FALSE(IsWindowVisible(app.stopButton));
}

TEST_F(Tuning, ChangingTheInstrumentWhileANoteRepeatsPlaysTheNewInstrumentsNote) {
    Command(IDC_REPEAT_3X);
    Command(IDC_NOTE_1);   // Concert A1
    testhost::Advance(500);
    Choose(app.instrumentCombo, IDC_INSTRUMENT, 1);   // Guitar: the first button is E1
    testhost::Advance(2000);
    EXPECT_EQ(Heard(), (Sounds{{0, 1002}, {1050, 1015}, {2100, 1015}}));
}

TEST_F(Tuning, StopEndsTheRepeatsAndHidesItself) {
    Command(IDC_REPEAT_5X);
    Command(IDC_NOTE_1);
    testhost::Advance(1100);
    Command(IDC_STOP);
    EXPECT_FALSE(IsWindowVisible(app.stopButton));
    testhost::Advance(5000);
    EXPECT_EQ(Heard().size(), 2u);
}

}  // namespace
