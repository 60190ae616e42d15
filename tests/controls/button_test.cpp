// The "button" class: push buttons, non-automatic check boxes and radio buttons, group boxes.
#include <gtest/gtest.h>

#include "sequence.h"
#include "test_host.h"

namespace {

using namespace seq;

constexpr std::uint32_t kDimmed = 0xC0C0C0;

class Buttons : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        // Placed as the main window places them.
        push = seq::Make(parent, u"button", u"Start Metronome", WS_VISIBLE | BS_PUSHBUTTON, 4, 48, 114, 28, 104);
        check = seq::Make(parent, u"button", u"Sound", WS_VISIBLE | BS_CHECKBOX, 122, 48, 55, 15, 106);
        radio = seq::Make(parent, u"button", u"none", WS_VISIBLE | BS_RADIOBUTTON, 125, 183, 50, 15, 132);
        group = seq::Make(parent, u"button", u"Delay", WS_VISIBLE | BS_GROUPBOX, 122, 161, 55, 84, 131);
        Settle();
    }

    HWND push = nullptr, check = nullptr, radio = nullptr, group = nullptr;
};

// ---- Message sequences ----

TEST_F(Buttons, ATapSendsOneClickAtStylusUp) {
    testhost::Down(60, kTop + 60);
    static const Expected kNothingYet[] = {seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kNothingYet)) << "nothing is sent while the stylus is down";
    EXPECT_EQ(GetCapture(), push) << "the button holds the stylus";
    testhost::Up(60, kTop + 60);
    static const Expected kClick[] = {Clicked(104, u"Start Metronome"), seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kClick));
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Buttons, LiftingOutsideSendsNothingAndComingBackClicksAgain) {
    testhost::Down(60, kTop + 60);
    testhost::Move(200, kTop + 200);
    testhost::Up(200, kTop + 200);
    static const Expected kNothing[] = {seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kNothing)) << "lifted outside the button";

    testhost::Down(60, kTop + 60);
    testhost::Move(200, kTop + 200);
    testhost::Move(10, kTop + 70);
    testhost::Up(10, kTop + 70);
    static const Expected kClick[] = {Clicked(104, nullptr), seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kClick)) << "moved off and back on before lifting";
}

TEST_F(Buttons, CheckBoxAndRadioTapsOnlyNotifyAndSetCheckSendsNothing) {
    testhost::Tap(130, kTop + 55);
    testhost::Tap(140, kTop + 190);
    static const Expected kClicks[] = {Clicked(106, u"Sound"), Clicked(132, u"none"), seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kClicks));
    EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "the check box is not automatic";
    EXPECT_EQ(SendMessageW(radio, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "the radio button is not automatic";

    seq::Clear();
    SendMessageW(check, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(radio, BM_SETCHECK, BST_CHECKED, 0);
    testhost::Pump();
    static const Expected kNothing[] = {seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kNothing));
    EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(radio, BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(Buttons, TapsPassThroughAGroupBoxToTheRadioButtonsAndTheParent) {
    seq::LogTaps(true);
    testhost::Tap(150, kTop + 230);  // inside the group box, below the radio button
    testhost::Tap(130, kTop + 190);  // on the radio button inside it
    static const Expected kSeq[] = {
        {WM_LBUTTONDOWN, 150, 230, kAnyTime, nullptr},
        Clicked(132, nullptr),
        seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kSeq));
}

TEST_F(Buttons, HidingAButtonRepaintsTheParentBeneathIt) {
    seq::LogPaints(true);
    ShowWindow(push, SW_HIDE);
    testhost::Pump();
    static const Expected kSeq[] = {
        {WM_ERASEBKGND, 0, 0, kAnyTime, nullptr}, {WM_PAINT, 0, 0, kAnyTime, nullptr}, seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kSeq));
    RECT r = seq::LastPaintRect();
    EXPECT_EQ(r.left, 4);
    EXPECT_EQ(r.top, 48);
    EXPECT_EQ(r.right, 118);
    EXPECT_EQ(r.bottom, 76);
    EXPECT_EQ(seq::Pixel(4, kTop + 48), seq::kParentColor) << "the button's corner now shows the parent";
    EXPECT_EQ(seq::Pixel(60, kTop + 60), seq::kParentColor) << "so does its middle";

    seq::Clear();
    ShowWindow(push, SW_SHOW);
    testhost::Pump();
    static const Expected kNothingForTheParent[] = {seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kNothingForTheParent)) << "showing a child repaints the child, not the parent";
    EXPECT_EQ(seq::Pixel(4, kTop + 48), kBlack) << "the button's frame is back";
}

// ---- Pictures ----

TEST_F(Buttons, APushButtonIsFramedWhiteWithBlackTextAndInvertsWhilePushed) {
    const RECT face{5, kTop + 49, 117, kTop + 75};
    EXPECT_EQ(seq::Pixel(4, kTop + 48), kBlack) << "a one-pixel black frame";
    EXPECT_EQ(seq::Pixel(117, kTop + 75), kBlack) << "down to the bottom-right corner";
    EXPECT_EQ(seq::Pixel(8, kTop + 52), kWhite) << "a white face";
    EXPECT_GT(seq::CountColor(face, kBlack), 50) << "black caption text on the face";
    RECT ink = seq::InkBounds(face, kBlack);
    EXPECT_NEAR((ink.left + ink.right) / 2, 61, 2) << "the caption is centred across";
    EXPECT_NEAR((ink.top + ink.bottom) / 2, kTop + 62, 3) << "and down";

    // (8, 52) is face inside the focus rectangle that the tapped button shows two pixels in.
    testhost::Down(60, kTop + 60);
    EXPECT_EQ(seq::Pixel(8, kTop + 52), kBlack) << "pushed: the face is black";
    EXPECT_GT(seq::CountColor(face, kWhite), 50) << "with white text";
    testhost::Move(200, kTop + 200);
    EXPECT_EQ(seq::Pixel(8, kTop + 52), kWhite) << "moved off: no longer pushed";
    testhost::Move(60, kTop + 60);
    EXPECT_EQ(seq::Pixel(8, kTop + 52), kBlack) << "moved back: pushed again";
    testhost::Up(60, kTop + 60);
    EXPECT_EQ(seq::Pixel(8, kTop + 52), kWhite) << "released: white again";
}

TEST_F(Buttons, ACheckedBoxHasABlackTickAtItsCentre) {
    // The 12-pixel box sits at the left, two pixels down in the 15-pixel control: screen (122..133, 76..87).
    const int left = 122, top = kTop + 48 + 2;
    EXPECT_EQ(seq::Pixel(left, top), kBlack) << "the box's top-left corner";
    EXPECT_EQ(seq::Pixel(left + 11, top + 11), kBlack) << "its bottom-right corner";
    EXPECT_EQ(seq::Pixel(left + 6, top + 6), kWhite) << "unchecked: the inside is white";
    EXPECT_EQ(seq::Pixel(left + 12, top + 6), kWhite) << "nothing right of the box before the caption";
    EXPECT_GT(seq::CountColor(RECT{122 + 17, kTop + 48, 177, kTop + 63}, kBlack), 20) << "the caption right of the box";

    SendMessageW(check, BM_SETCHECK, BST_CHECKED, 0);
    testhost::Pump();
    EXPECT_EQ(seq::Pixel(left + 6, top + 6), kBlack) << "checked: the tick crosses the centre";
    EXPECT_EQ(seq::Pixel(left + 2, top + 5), kBlack) << "its short stroke starts left of the centre";
    EXPECT_EQ(seq::Pixel(left + 8, top + 3), kBlack) << "its long stroke ends up at the right";
    EXPECT_EQ(seq::Pixel(left + 2, top + 2), kWhite) << "the corner inside the box stays white";

    SendMessageW(check, BM_SETCHECK, BST_UNCHECKED, 0);
    testhost::Pump();
    EXPECT_EQ(seq::Pixel(left + 6, top + 6), kWhite) << "unchecked again: the tick is gone";
}

TEST_F(Buttons, APushedCheckBoxDimsItsBox) {
    const int left = 122, top = kTop + 48 + 2;
    testhost::Down(150, kTop + 55);
    EXPECT_EQ(seq::Pixel(left + 2, top + 2), kDimmed) << "the box's background is dimmed while the stylus holds it";
    EXPECT_EQ(seq::Pixel(left, top), kBlack) << "its frame stays black";
    testhost::Up(150, kTop + 55);
    EXPECT_EQ(seq::Pixel(left + 2, top + 2), kWhite);
}

TEST_F(Buttons, ARadioButtonIsARoundCircleWithADotWhenChecked) {
    // The 12-pixel circle sits two pixels down in the 15-pixel control: screen (125..136, 211..222).
    const int left = 125, top = kTop + 183 + 2;
    EXPECT_EQ(seq::Pixel(left, top + 5), kBlack) << "the circle's left edge at mid-height";
    EXPECT_EQ(seq::Pixel(left + 5, top), kBlack) << "its top edge at mid-width";
    EXPECT_EQ(seq::Pixel(left, top), kWhite) << "its corners are cut away: it is round";
    EXPECT_EQ(seq::Pixel(left + 11, top + 11), kWhite);
    EXPECT_EQ(seq::Pixel(left + 5, top + 5), kWhite) << "unchecked: no dot";

    SendMessageW(radio, BM_SETCHECK, BST_CHECKED, 0);
    testhost::Pump();
    EXPECT_EQ(seq::Pixel(left + 5, top + 5), kBlack) << "checked: a dot in the middle";
    EXPECT_EQ(seq::Pixel(left + 6, top + 6), kBlack);
    EXPECT_EQ(seq::Pixel(left + 2, top + 5), kWhite) << "with white between the dot and the circle";
}

TEST_F(Buttons, AGroupBoxFramesItsBlankInsideBelowHalfALineWithTheCaptionOnTheLine) {
    const int left = 122, top = kTop + 161, right = 122 + 55, bottom = kTop + 161 + 84;
    EXPECT_EQ(seq::Pixel(right - 3, top + 7), kBlack) << "the top line is half a text line down";
    EXPECT_EQ(seq::Pixel(right - 3, top + 3), kWhite) << "above it the group box is white, not the parent's colour";
    EXPECT_EQ(seq::Pixel(left, top + 40), kBlack) << "left line";
    EXPECT_EQ(seq::Pixel(right - 1, top + 40), kBlack) << "right line";
    EXPECT_EQ(seq::Pixel(left + 30, bottom - 1), kBlack) << "bottom line";
    EXPECT_EQ(seq::Pixel(left + 3, top + 7), kBlack) << "the top line runs up to the caption";
    EXPECT_EQ(seq::Pixel(left + 6, top + 7), kWhite) << "and breaks just before it";
    EXPECT_EQ(seq::Pixel(left + 30, top + 70), kWhite) << "the inside is painted white over the parent";
    EXPECT_GT(seq::CountColor(RECT{left + 7, top, left + 45, top + 14}, kBlack), 20) << "the caption's text";
    EXPECT_EQ(seq::Pixel(left - 1, top + 40), seq::kParentColor) << "just outside: the parent";
    EXPECT_EQ(seq::Pixel(125, kTop + 185 + 5), kBlack)
        << "the radio button on top of the group box is not painted over";
}

TEST_F(Buttons, SettingTheTextRepaintsTheCaption) {
    const RECT shown{4, kTop + 48, 118, kTop + 76};
    auto before = seq::Grab(shown);
    SetWindowTextW(push, u"Stop Metronome");
    testhost::Pump();
    auto after = seq::Grab(shown);
    EXPECT_NE(before, after) << "the caption changed on screen";
    // A button made with the new caption from the start looks the same.
    seq::Make(parent, u"button", u"Stop Metronome", WS_VISIBLE, 4, 200, 114, 28, 999);
    testhost::Pump();
    EXPECT_EQ(after, seq::Grab(RECT{4, kTop + 200, 118, kTop + 228}));
}

// ---- Odd input ----

TEST_F(Buttons, OddMessagesLeaveTheButtonsConsistent) {
    SendMessageW(check, BM_SETCHECK, 7, 0);
    EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_CHECKED) << "any non-zero value checks";
    SendMessageW(push, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(SendMessageW(push, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "a push button has no mark";
    SendMessageW(group, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(SendMessageW(group, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "nor has a group box";
    EXPECT_TRUE(SetWindowTextW(push, nullptr));
    EXPECT_EQ(GetWindowTextLengthW(push), 0) << "a null text empties the caption";
    testhost::Pump();
    EXPECT_EQ(seq::CountColor(RECT{5, kTop + 49, 117, kTop + 75}, kBlack), 0) << "and the face shows no text";
    // A stylus-up that no stylus-down began does nothing.
    PostMessageW(push, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    testhost::Pump();
    static const Expected kNothing[] = {seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kNothing));
}

TEST_F(Buttons, AParentThatDestroysTheButtonOnItsClickIsSafe) {
    seq::OnCommand([&](WPARAM, LPARAM control) { DestroyWindow(reinterpret_cast<HWND>(control)); });
    testhost::Tap(60, kTop + 60);
    EXPECT_FALSE(IsWindow(push));
    EXPECT_EQ(GetCapture(), nullptr);
    testhost::Pump();
    EXPECT_EQ(seq::Pixel(60, kTop + 60), seq::kParentColor);
}

}  // namespace
