// The instrument catalogue and the note player, in-process on the test host with its exact clock.
#include "program_fixture.h"

namespace {

using Tuning = ProgramTest;
using Sounds = std::vector<std::pair<std::uint32_t, int>>;

// Taps the middle of a control with the stylus, as a user would.
void TapOn(HWND control) {
    RECT r;
    ASSERT_TRUE(GetWindowRect(control, &r));
    testhost::Tap((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    testhost::Pump();
}

// The chords the buttons name, by the sound each must play.
int ChordSound(const std::u16string &caption) {
    if (caption == u"Bb maj") return IDW_CHORD_BB_MAJOR;
    if (caption == u"C maj") return IDW_CHORD_C_MAJOR;
    if (caption == u"D min") return IDW_CHORD_D_MINOR;
    if (caption == u"E maj") return IDW_CHORD_E_MAJOR;
    if (caption == u"G maj") return IDW_CHORD_G_MAJOR;
    return 0;
}

struct Played {
    std::u16string captions[8];
    int sounds[8];
};

// Every instrument of the list, picked in the combo box, its eight buttons tapped one after another:
// each tap plays one sound at once, a chord's caption plays that chord, a note's caption a single
// note, and no two buttons of one instrument play the same sound.
TEST_F(Tuning, EachButtonOfEachInstrumentPlaysWhatItsCaptionNames) {
    int count = int(SendMessageW(app.instrumentCombo, CB_GETCOUNT, 0, 0));
    ASSERT_GE(count, 6);
    std::vector<Played> played(std::size_t(count), Played{});
    for (int i = 0; i < count; ++i) {
        Choose(app.instrumentCombo, IDC_INSTRUMENT, i);
        ASSERT_EQ(app.instrumentIndex, i);
        for (int k = 0; k < 8; ++k) {
            Command(IDC_STOP);
            testhost::ClearRecord();
            start = testhost::Now();
            played[i].captions[k] = Text(app.noteButtons[k]);
            TapOn(app.noteButtons[k]);
            Sounds heard = Heard();
            ASSERT_EQ(heard.size(), 1u) << i << " " << k;
            EXPECT_EQ(heard[0].first, 0u) << "the sound starts with the tap";
            played[i].sounds[k] = heard[0].second;
            int chord = ChordSound(played[i].captions[k]);
            if (chord)
                EXPECT_EQ(heard[0].second, chord) << i << " " << k;
            else
                EXPECT_TRUE(heard[0].second >= IDW_FIRST && heard[0].second < IDW_CHORD_BB_MAJOR) << i << " " << k;
            for (int j = 0; j < k; ++j)
                EXPECT_NE(played[i].sounds[j], played[i].sounds[k]) << i << " " << j << " " << k;
        }
        // Choosing another instrument changes what the buttons say or what they play.
        if (i > 0) {
            bool differs = false;
            for (int k = 0; k < 8; ++k)
                differs |= played[i].captions[k] != played[i - 1].captions[k] ||
                           played[i].sounds[k] != played[i - 1].sounds[k];
            EXPECT_TRUE(differs) << i;
        }
    }
    // A few rows checked by what a musician knows: the first list entry plays the reference A first,
    // the guitar's and the bass's lowest strings are both labelled E1 and sound an octave apart (two
    // different sounds), and only the first entry hides "All".
    EXPECT_EQ(played[0].captions[0], u"A1");
    EXPECT_EQ(played[1].captions[0], u"E1");
    EXPECT_EQ(played[2].captions[0], u"E1");
    EXPECT_NE(played[1].sounds[0], played[2].sounds[0]);
    EXPECT_EQ(played[1].sounds[1], played[0].sounds[0]) << "the guitar's A string is the reference A";
    for (int i = 0; i < count; ++i) {
        Choose(app.instrumentCombo, IDC_INSTRUMENT, i);
        EXPECT_EQ(IsWindowVisible(app.allButton) != FALSE, i != 0) << i;
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
    Choose(app.instrumentCombo, IDC_INSTRUMENT, 1);  // Guitar
    Command(IDC_ALL);
    testhost::Advance(7000);
    EXPECT_EQ(Heard(), (Sounds{{0, 1015}, {1050, 1002}, {2100, 1012}, {3150, 1019}, {4200, 1005}, {5250, 1016}}));
    EXPECT_FALSE(IsWindowVisible(app.stopButton));

    Choose(app.instrumentCombo, IDC_INSTRUMENT, 2);  // Bass, three times each: twelve sounds
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
    testhost::Advance(1500);  // two plays so far
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
    Command(IDC_DELAY_3S);  // 5050 ms from now
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
    Command(IDC_NOTE_1);  // Concert A1
    testhost::Advance(500);
    Choose(app.instrumentCombo, IDC_INSTRUMENT, 1);  // Guitar: the first button is E1
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
