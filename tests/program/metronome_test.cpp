// The metronome and its beat display panel, in-process on the test host: clicks by beat and time
// signature, beat colours, the toggles' rule, tempo changes, and repaints that advance the beat.
#include "program_fixture.h"

namespace {

using Metronome = ProgramTest;
using Sounds = std::vector<std::pair<std::uint32_t, int>>;

// Screen points inside each bar's fill, clear of the text: client (6, 3), (6, 81), (6, 250).
constexpr int kBarX = 6;
constexpr int kTempoBarY = 26 + 3;
constexpr int kTuningBarY = 26 + 81;
constexpr int kWebBarY = 26 + 250;

// Screen colours (0xRRGGBB) of the panel's colour table.
constexpr std::uint32_t kBlue = 0x0000C0;
constexpr std::uint32_t kVeryDarkRed = 0x400000;
constexpr std::uint32_t kRed = 0xC00000;
constexpr std::uint32_t kLightBlue = 0x8080FF;

void ChooseTimeSignature(int index) {
    SendMessageW(app.timeSignatureCombo, CB_SETCURSEL, WPARAM(index), 0);
    PostMessageW(app.mainWindow, WM_COMMAND, MAKEWPARAM(IDC_TIME_SIGNATURE, CBN_SELENDOK), 0);
    testhost::Pump();
}

std::vector<int> Ids(const Sounds &sounds) {
    std::vector<int> ids;
    for (auto &s : sounds) ids.push_back(s.second);
    return ids;
}

TEST_F(Metronome, TheFirstClickComesOneIntervalAfterStartWithTheStrongAccent) {
    ChooseTimeSignature(3);  // 4/4
    Command(IDC_START_STOP);
    EXPECT_EQ(Text(app.startStopButton), u"Stop Metronome");
    testhost::Advance(999);
    EXPECT_TRUE(Heard().empty()) << "no click at once";
    testhost::Advance(1);
    EXPECT_EQ(Heard(), (Sounds{{1000, 1025}}));
}

TEST_F(Metronome, AClickReachedLateIsStillStampedWithItsBeatsTime) {
    // The program busy for 400 ms past the first beat: the tick is handled late, and its click is
    // asked for at the beat's own time, so the host still plays it on the beat.
    ChooseTimeSignature(3);
    Command(IDC_START_STOP);
    testhost::Jump(1400);
    testhost::Pump();
    EXPECT_EQ(Heard(), (Sounds{{1000, 1025}}));
    testhost::Advance(600);
    EXPECT_EQ(Heard(), (Sounds{{1000, 1025}, {2000, 1027}})) << "and the next beat keeps its time";
}

TEST_F(Metronome, ClickSequencesFollowTheTimeSignature) {
    struct Case {
        int index;
        std::vector<int> clicks;
    } cases[] = {
        {3, {1025, 1027, 1026, 1027, 1025, 1027, 1026, 1027}},  // 4/4
        {2, {1025, 1027, 1027, 1025, 1027, 1027, 1025, 1027}},  // 3/4
        {0, {1026, 1026, 1026, 1026, 1026, 1026, 1026, 1026}},  // None
        {6, {1025, 1027, 1027, 1027, 1026, 1027, 1027, 1025}},  // 7/8
    };
    for (const Case &c : cases) {
        ChooseTimeSignature(c.index);
        testhost::ClearRecord();
        start = testhost::Now();
        Command(IDC_START_STOP);
        testhost::Advance(8000);
        Command(IDC_START_STOP);
        EXPECT_EQ(Ids(Heard()), c.clicks) << "time signature " << c.index;
        EXPECT_EQ(Heard().back().first, 8000u);
    }
}

TEST_F(Metronome, BeatColoursFlashTheThreeBars) {
    ChooseTimeSignature(3);  // 4/4: very dark red, blue, red, blue
    EXPECT_EQ(testhost::Pixel(kBarX, kTempoBarY), kBlue) << "stopped: blue";
    Command(IDC_START_STOP);
    const std::uint32_t expected[] = {kVeryDarkRed, kBlue, kRed, kBlue, kVeryDarkRed};
    for (std::uint32_t colour : expected) {
        testhost::Advance(1000);
        EXPECT_EQ(testhost::Pixel(kBarX, kTempoBarY), colour);
        EXPECT_EQ(testhost::Pixel(kBarX, kTuningBarY), colour);
        EXPECT_EQ(testhost::Pixel(kBarX, kWebBarY), colour);
    }
    // Stopping repaints all three bars blue.
    Command(IDC_START_STOP);
    testhost::Pump();
    EXPECT_EQ(app.metronomeBeat, 0);
    for (int y : {kTempoBarY, kTuningBarY, kWebBarY}) EXPECT_EQ(testhost::Pixel(kBarX, y), kBlue);
}

TEST_F(Metronome, WithoutATimeSignatureBeatsAlternateLightBlueAndBlue) {
    Command(IDC_START_STOP);
    for (std::uint32_t colour : {kLightBlue, kBlue, kLightBlue, kBlue}) {
        testhost::Advance(1000);
        EXPECT_EQ(testhost::Pixel(kBarX, kTuningBarY), colour);
    }
}

TEST_F(Metronome, ATempoChangeWhileRunningRepaintsOnlyTheTempoBarAndAdvancesTheBeatOnce) {
    ChooseTimeSignature(3);
    Command(IDC_START_STOP);
    testhost::Advance(1000);  // beat 1 shown, beat 2 next
    testhost::Advance(500);
    Scroll(SB_LINERIGHT);
    EXPECT_EQ(app.tempoPosition, 31);
    EXPECT_EQ(testhost::Pixel(kBarX, kTempoBarY), kBlue) << "the tempo bar shows beat 2";
    EXPECT_EQ(testhost::Pixel(kBarX, kTuningBarY), kVeryDarkRed) << "the other bars keep beat 1";
    EXPECT_EQ(app.metronomeBeat, 3);
    // The timer restarted at the change with the new interval: 60000 / 61 = 983 ms.
    testhost::Advance(983);
    EXPECT_EQ(Heard(), (Sounds{{1000, 1025}, {2483, 1026}}));
}

TEST_F(Metronome, HidingStopOrAllWhileRunningAdvancesTheBeatWithoutChangingABar) {
    ChooseTimeSignature(3);
    Choose(app.instrumentCombo, IDC_INSTRUMENT, 1);  // Guitar: All shown
    Command(IDC_START_STOP);
    testhost::Advance(1000);                         // bars very dark red, beat 2 next
    Choose(app.instrumentCombo, IDC_INSTRUMENT, 0);  // Concert hides All
    testhost::Pump();
    EXPECT_EQ(app.metronomeBeat, 3);
    EXPECT_EQ(testhost::Pixel(kBarX, kTuningBarY), kVeryDarkRed);
    testhost::Advance(200);
    Command(IDC_NOTE_1);     // Stop shown at 1200, hidden at 2250
    testhost::Advance(800);  // tick at 2000: beat 3 (secondary accent), then 4
    testhost::Advance(250);  // Stop hides: beat 4 -> 1
    EXPECT_EQ(testhost::Pixel(kBarX, kTuningBarY), kRed);
    testhost::Advance(750);  // tick at 3000: beat 1
    Sounds heard = Heard();
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[2], (std::pair<std::uint32_t, int>{2000, 1026}));
    EXPECT_EQ(heard[3], (std::pair<std::uint32_t, int>{3000, 1025}));
}

TEST_F(Metronome, TheLastIndicatorThatIsOnCannotBeSwitchedOff) {
    Command(IDC_SOUND);
    EXPECT_EQ(app.soundOn, 0);
    EXPECT_EQ(SendMessageW(app.soundCheckBox, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    Command(IDC_COLOR);  // refused: sound is off
    EXPECT_EQ(app.colorOn, 1);
    EXPECT_EQ(SendMessageW(app.colorCheckBox, BM_GETCHECK, 0, 0), BST_CHECKED);
    Command(IDC_START_STOP);
    testhost::Advance(2000);
    EXPECT_TRUE(Heard().empty()) << "no clicks with the sound off";
    EXPECT_EQ(testhost::Pixel(kBarX, kTuningBarY), kBlue) << "but the bars flash (beat 2)";
    Command(IDC_SOUND);
    Command(IDC_COLOR);  // now allowed: colour off repaints the bars blue
    testhost::Advance(1000);
    EXPECT_EQ(Heard(), (Sounds{{3000, 1026}}));
    EXPECT_EQ(testhost::Pixel(kBarX, kTuningBarY), kBlue);
    EXPECT_EQ(app.metronomeBeat, 2) << "with colour off the tick advances the beat itself";
}

TEST_F(Metronome, TempoEndsAndSteps) {
    struct Step {
        int code, from, to;
    } steps[] = {
        {SB_LINERIGHT, 30, 31}, {SB_LINELEFT, 30, 29}, {SB_PAGERIGHT, 30, 40},   {SB_PAGELEFT, 30, 20},
        {SB_LINELEFT, 0, 0},    {SB_PAGELEFT, 5, 0},   {SB_LINERIGHT, 210, 210}, {SB_PAGERIGHT, 205, 210},
        {SB_LEFT, 100, 0},      {SB_RIGHT, 100, 210},  {SB_ENDSCROLL, 77, 77},
    };
    for (const Step &s : steps) {
        app.tempoPosition = s.from;
        Scroll(s.code);
        EXPECT_EQ(app.tempoPosition, s.to) << s.code << " from " << s.from;
        EXPECT_EQ(GetScrollPos(app.tempoScrollBar, SB_CTL), s.to);
    }
    Scroll(SB_THUMBTRACK, 500);
    EXPECT_EQ(app.tempoPosition, 210);
    // The two ends: 2000 ms at 30 beats per minute, 250 ms at 240.
    for (auto [position, interval] : {std::pair{0, 2000u}, std::pair{210, 250u}}) {
        Scroll(SB_THUMBPOSITION, position);
        testhost::ClearRecord();
        start = testhost::Now();
        Command(IDC_START_STOP);
        testhost::Advance(interval * 2);
        Command(IDC_START_STOP);
        Sounds heard = Heard();
        ASSERT_EQ(heard.size(), 2u) << position;
        EXPECT_EQ(heard[0].first, interval);
        EXPECT_EQ(heard[1].first, 2 * interval);
    }
}

TEST_F(Metronome, ATimeSignatureChangeTakesEffectAtTheNextTick) {
    ChooseTimeSignature(6);  // 7/8
    Command(IDC_START_STOP);
    testhost::Advance(5500);  // beats 1-5 clicked, beat 6 next
    EXPECT_EQ(app.metronomeBeat, 6);
    ChooseTimeSignature(1);  // 2/4: beat 6 is carried, then wraps to 1
    testhost::Advance(2500);
    Sounds heard = Heard();
    ASSERT_EQ(heard.size(), 8u);
    EXPECT_EQ(heard[5], (std::pair<std::uint32_t, int>{6000, 1027}));
    EXPECT_EQ(heard[6], (std::pair<std::uint32_t, int>{7000, 1025}));
    EXPECT_EQ(heard[7], (std::pair<std::uint32_t, int>{8000, 1026}));
}

TEST_F(Metronome, NoGdiObjectLeaksAcrossTenThousandPaints) {
    Command(IDC_START_STOP);
    testhost::Pump();
    int before = core::LiveGdiObjects();
    for (int i = 0; i < 10000; ++i) {
        InvalidateRect(app.mainWindow, nullptr, FALSE);
        UpdateWindow(app.mainWindow);
    }
    EXPECT_EQ(core::LiveGdiObjects(), before);
}

}  // namespace
