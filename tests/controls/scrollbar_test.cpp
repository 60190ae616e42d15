// The "scrollbar" class: a horizontal scroll-bar control 232 x 20, as the tempo bar is made.
//
// Its parts, in bar pixels: left arrow 0-19, right arrow 212-231, a 20-pixel thumb whose left edge
// runs over 172 pixels (20 to 192) for the range 0 to 210; at position 30 it starts at 45.
#include <gtest/gtest.h>

#include <climits>

#include "sequence.h"
#include "test_host.h"

namespace {

using namespace seq;

constexpr std::uint32_t kTrack = 0xD6D3CE;

constexpr int kBarX = 4, kBarY = kTop + 21;  // the bar's top-left on screen
constexpr int kMid = kBarY + 10;             // a row through the middle of the bar

class ScrollBars : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        bar = seq::Make(parent, u"scrollbar", nullptr, WS_VISIBLE | SBS_HORZ, 4, 21, 232, 20, 101);
        SetScrollRange(bar, SB_CTL, 0, 210, FALSE);
        SetScrollPos(bar, SB_CTL, 30, FALSE);
        Settle();
    }

    // A pixel of the bar, in bar coordinates.
    static std::uint32_t At(int x, int y) { return seq::Pixel(kBarX + x, kBarY + y); }

    HWND bar = nullptr;
};

// ---- Message sequences ----

TEST_F(ScrollBars, ATapOnAnArrowSendsOneLineThenEndScroll) {
    testhost::Tap(kBarX + 10, kMid);
    testhost::Advance(5);
    testhost::Tap(kBarX + 225, kMid);
    static const Expected kSeq[] = {
        {WM_HSCROLL, SB_LINELEFT, 0, 0, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, 0, nullptr},
        {WM_HSCROLL, SB_LINERIGHT, 0, 5, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, 5, nullptr},
        seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kSeq));
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 30) << "the bar leaves its position to the owner";
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ScrollBars, AHeldArrowRepeatsAfter200MsThenEvery50Ms) {
    testhost::Down(kBarX + 225, kMid);
    testhost::Advance(310);
    testhost::Up(kBarX + 225, kMid);
    static const Expected kSeq[] = {
        {WM_HSCROLL, SB_LINERIGHT, 0, 0, nullptr},   {WM_HSCROLL, SB_LINERIGHT, 0, 200, nullptr},
        {WM_HSCROLL, SB_LINERIGHT, 0, 250, nullptr}, {WM_HSCROLL, SB_LINERIGHT, 0, 300, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, 310, nullptr}, seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kSeq));
    testhost::Advance(200);
    EXPECT_EQ(seq::Log().size(), 5u) << "nothing repeats after the stylus lifts";
}

TEST_F(ScrollBars, RepeatsPauseWhileTheStylusIsOffTheArrow) {
    testhost::Down(kBarX + 10, kMid);
    testhost::Advance(210);
    testhost::Move(kBarX + 150, kMid);  // onto the track: the 250 and 300 ms steps are skipped
    testhost::Advance(100);
    testhost::Move(kBarX + 10, kMid);
    testhost::Advance(60);
    testhost::Up(kBarX + 10, kMid);
    static const Expected kSeq[] = {
        {WM_HSCROLL, SB_LINELEFT, 0, 0, nullptr},
        {WM_HSCROLL, SB_LINELEFT, 0, 200, nullptr},
        {WM_HSCROLL, SB_LINELEFT, 0, 350, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, 370, nullptr},
        seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kSeq));
}

TEST_F(ScrollBars, TapsOnTheTrackPageTowardsTheTap) {
    testhost::Tap(kBarX + 150, kMid);  // right of the thumb (45-64)
    testhost::Tap(kBarX + 30, kMid);   // left of it
    static const Expected kSeq[] = {
        {WM_HSCROLL, SB_PAGERIGHT, 0, 0, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, 0, nullptr},
        {WM_HSCROLL, SB_PAGELEFT, 0, 0, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, 0, nullptr},
        seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kSeq));
}

TEST_F(ScrollBars, AHeldPageStopsWhenTheOwnerHasMovedTheThumbUnderTheStylus) {
    SetScrollPos(bar, SB_CTL, 0, TRUE);
    seq::EchoScrolling(true);
    seq::Clear();
    // Paging by 10 from 0: at 100 the thumb covers bar pixels 102-121, so the stylus at 120 is on it.
    testhost::Down(kBarX + 120, kMid);
    testhost::Advance(700);
    testhost::Up(kBarX + 120, kMid);
    static const Expected kSeq[] = {
        {WM_HSCROLL, SB_PAGERIGHT, 0, 0, nullptr},   {WM_HSCROLL, SB_PAGERIGHT, 0, 200, nullptr},
        {WM_HSCROLL, SB_PAGERIGHT, 0, 250, nullptr}, {WM_HSCROLL, SB_PAGERIGHT, 0, 300, nullptr},
        {WM_HSCROLL, SB_PAGERIGHT, 0, 350, nullptr}, {WM_HSCROLL, SB_PAGERIGHT, 0, 400, nullptr},
        {WM_HSCROLL, SB_PAGERIGHT, 0, 450, nullptr}, {WM_HSCROLL, SB_PAGERIGHT, 0, 500, nullptr},
        {WM_HSCROLL, SB_PAGERIGHT, 0, 550, nullptr}, {WM_HSCROLL, SB_PAGERIGHT, 0, 600, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, 700, nullptr}, seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kSeq));
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 100);
}

TEST_F(ScrollBars, DraggingTheThumbTracksChangesAndSnapsBackFarAway) {
    testhost::Down(kBarX + 50, kMid);          // 5 pixels into the thumb
    testhost::Move(kBarX + 60, kMid);          // thumb at 55: 35 of 172 pixels = 43
    testhost::Move(kBarX + 60, kMid + 3);      // same column: no new value
    testhost::Move(kBarX + 250, kMid);         // past the right arrow, still near: the far end
    testhost::Move(kBarX + 250, kBarY + 180);  // eight bar-heights below: back to the start
    testhost::Move(kBarX + 60, kMid);
    testhost::Up(kBarX + 60, kMid);
    static const Expected kSeq[] = {
        {WM_HSCROLL, SB_THUMBTRACK, 30, 0, nullptr},  {WM_HSCROLL, SB_THUMBTRACK, 43, 0, nullptr},
        {WM_HSCROLL, SB_THUMBTRACK, 210, 0, nullptr}, {WM_HSCROLL, SB_THUMBTRACK, 30, 0, nullptr},
        {WM_HSCROLL, SB_THUMBTRACK, 43, 0, nullptr},  {WM_HSCROLL, SB_THUMBPOSITION, 43, 0, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, 0, nullptr},    seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kSeq));
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 30) << "only the owner sets the position";
}

TEST_F(ScrollBars, ReleasingFarAwayReportsTheStartingValue) {
    testhost::Down(kBarX + 50, kMid);
    testhost::Move(kBarX + 100, kMid);
    testhost::Move(kBarX + 100, kBarY - 170);
    testhost::Up(kBarX + 100, kBarY - 170);
    static const Expected kSeq[] = {
        {WM_HSCROLL, SB_THUMBTRACK, 30, 0, nullptr}, {WM_HSCROLL, SB_THUMBTRACK, 92, 0, nullptr},
        {WM_HSCROLL, SB_THUMBTRACK, 30, 0, nullptr}, {WM_HSCROLL, SB_THUMBPOSITION, 30, 0, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, 0, nullptr},   seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kSeq));
}

// ---- Pictures ----

TEST_F(ScrollBars, ArrowsAreFramedSquaresWithBlackTrianglesPointingOutwards) {
    EXPECT_EQ(At(0, 0), kBlack) << "the left arrow's frame";
    EXPECT_EQ(At(19, 19), kBlack);
    EXPECT_EQ(At(3, 3), kWhite) << "its white face";
    EXPECT_EQ(At(7, 9), kBlack) << "the tip of the left triangle";
    EXPECT_EQ(At(7, 10), kBlack);
    EXPECT_EQ(At(7, 8), kWhite) << "the tip is two pixels tall";
    EXPECT_EQ(At(11, 5), kBlack) << "the triangle's base, ten pixels tall";
    EXPECT_EQ(At(11, 14), kBlack);
    EXPECT_EQ(At(11, 4), kWhite);
    EXPECT_EQ(At(223, 9), kBlack) << "the right triangle's tip points right";
    EXPECT_EQ(At(219, 5), kBlack) << "its base is to the left";
    EXPECT_EQ(At(223, 6), kWhite);
}

TEST_F(ScrollBars, TheThumbIsAWhiteFramedSquareOnAGreyTrack) {
    EXPECT_EQ(At(45, 10), kBlack) << "the thumb's left edge at 45 for position 30";
    EXPECT_EQ(At(64, 10), kBlack) << "its right edge";
    EXPECT_EQ(At(55, 10), kWhite) << "its face";
    EXPECT_EQ(At(30, 10), kTrack) << "the track left of it";
    EXPECT_EQ(At(150, 10), kTrack) << "and right of it";
    EXPECT_EQ(At(150, 0), kBlack) << "the track is framed above";
    EXPECT_EQ(At(150, 19), kBlack) << "and below";

    SetScrollPos(bar, SB_CTL, 210, TRUE);
    testhost::Pump();
    EXPECT_EQ(At(192, 10), kBlack) << "at the far end the thumb starts at 192";
    EXPECT_EQ(At(200, 10), kWhite);
    EXPECT_EQ(At(45, 10), kTrack) << "and has left its old place";
}

TEST_F(ScrollBars, HeldPartsAreDrawnInverted) {
    testhost::Down(kBarX + 10, kMid);
    EXPECT_EQ(At(3, 3), kBlack) << "a held arrow turns black";
    EXPECT_EQ(At(7, 9), kWhite) << "with a white triangle";
    testhost::Up(kBarX + 10, kMid);
    EXPECT_EQ(At(3, 3), kWhite) << "released: white again";

    testhost::Down(kBarX + 150, kMid);
    EXPECT_EQ(At(100, 10), kBlack) << "the held page area, right of the thumb, turns black";
    EXPECT_EQ(At(30, 10), kTrack) << "the other page area does not";
    EXPECT_EQ(At(55, 10), kWhite) << "nor does the thumb";
    testhost::Up(kBarX + 150, kMid);
    EXPECT_EQ(At(100, 10), kTrack);
}

TEST_F(ScrollBars, TheDraggedThumbFollowsTheStylusThenReturnsToTheOwnersPosition) {
    testhost::Down(kBarX + 50, kMid);
    testhost::Move(kBarX + 110, kMid);
    EXPECT_EQ(At(105, 10), kBlack) << "the thumb's left edge follows the stylus (grabbed 5 pixels in)";
    EXPECT_EQ(At(45, 10), kTrack) << "and has left its place";
    testhost::Up(kBarX + 110, kMid);
    EXPECT_EQ(At(45, 10), kBlack) << "released without the owner moving it: back at 30";
    EXPECT_EQ(At(105, 10), kTrack);
}

// ---- Range and position, odd input ----

TEST_F(ScrollBars, PositionsAreClampedIntoTheRange) {
    int low = -1, high = -1;
    EXPECT_TRUE(GetScrollRange(bar, SB_CTL, &low, &high));
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 210);
    EXPECT_EQ(SetScrollPos(bar, SB_CTL, 500, FALSE), 30) << "the previous position is returned";
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 210);
    EXPECT_EQ(SetScrollPos(bar, SB_CTL, -5, FALSE), 210);
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 0);
    SetScrollRange(bar, SB_CTL, -100, 100, FALSE);
    SetScrollPos(bar, SB_CTL, -200, FALSE);
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), -100);
    SetScrollPos(bar, SB_CTL, 90, FALSE);
    SetScrollRange(bar, SB_CTL, 0, 50, FALSE);
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 50) << "a narrower range pulls the position in";
}

TEST_F(ScrollBars, BadRangesLeaveAnEmptyBarThatIgnoresTheStylus) {
    int low = -1, high = -1;
    SetScrollRange(bar, SB_CTL, 50, 10, TRUE);
    GetScrollRange(bar, SB_CTL, &low, &high);
    EXPECT_EQ(low, 0) << "a reversed range empties the bar";
    EXPECT_EQ(high, 0);
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 0);
    SetScrollRange(bar, SB_CTL, INT_MIN, INT_MAX, TRUE);
    GetScrollRange(bar, SB_CTL, &low, &high);
    EXPECT_EQ(high - low, 0) << "so does one wider than a position can count";
    EXPECT_EQ(SendMessageW(bar, SBM_GETRANGE, 0, 0), 0) << "no place to put the range: nothing happens";

    testhost::Pump();
    EXPECT_EQ(At(30, 10), kTrack) << "no thumb is drawn";
    EXPECT_EQ(At(110, 10), kTrack);
    testhost::Tap(kBarX + 10, kMid);
    testhost::Tap(kBarX + 110, kMid);
    static const Expected kNothing[] = {seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kNothing));

    HWND fresh = seq::Make(parent, u"scrollbar", nullptr, WS_VISIBLE, 4, 100, 232, 20, 102);
    GetScrollRange(fresh, SB_CTL, &low, &high);
    EXPECT_EQ(low, 0) << "a new bar's range is empty";
    EXPECT_EQ(high, 0);
    EXPECT_EQ(SetScrollPos(fresh, SB_CTL, 5, TRUE), 0);
    EXPECT_EQ(GetScrollPos(fresh, SB_CTL), 0);
}

TEST_F(ScrollBars, ANarrowBarHasNoThumbButStillScrollsByLines) {
    HWND narrow = seq::Make(parent, u"scrollbar", nullptr, WS_VISIBLE, 4, 100, 50, 20, 102);
    SetScrollRange(narrow, SB_CTL, 0, 10, FALSE);
    testhost::Pump();
    seq::Clear();
    testhost::Tap(4 + 5, kTop + 110);
    testhost::Tap(4 + 25, kTop + 110);  // the 10 pixels between the arrows: no thumb, no page
    testhost::Tap(4 + 45, kTop + 110);
    static const Expected kSeq[] = {
        {WM_HSCROLL, SB_LINELEFT, 0, 0, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, 0, nullptr},
        {WM_HSCROLL, SB_LINERIGHT, 0, 0, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, 0, nullptr},
        seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kSeq));
}

TEST_F(ScrollBars, DestroyingTheBarWhileItIsHeldStopsTheRepeats) {
    testhost::Down(kBarX + 10, kMid);
    DestroyWindow(bar);
    testhost::Advance(300);
    testhost::Up(kBarX + 10, kMid);
    static const Expected kSeq[] = {{WM_HSCROLL, SB_LINELEFT, 0, 0, nullptr}, seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kSeq));
    EXPECT_EQ(GetCapture(), nullptr);
}

}  // namespace
