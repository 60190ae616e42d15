// Focus and keys of the control classes, laid out as the main window lays out its controls: the tempo
// bar, Start, the Sound box, the time-signature list, a note button, a static label, the hidden Stop
// button, the delay group (three radio buttons and their group box) and the repeat group.
#include <gtest/gtest.h>

#include <string>

#include "core.h"
#include "sequence.h"
#include "test_host.h"

namespace {

using namespace seq;

class Keyboard : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        core::SetKeyboardAccess(true);
        bar = seq::Make(parent, u"scrollbar", nullptr, WS_VISIBLE | SBS_HORZ, 4, 21, 232, 20, 101);
        SetScrollRange(bar, SB_CTL, 0, 210, FALSE);
        SetScrollPos(bar, SB_CTL, 30, FALSE);
        start = seq::Make(parent, u"button", u"Start Metronome", WS_VISIBLE | BS_PUSHBUTTON, 4, 48, 114, 28, 104);
        sound = seq::Make(parent, u"button", u"Sound", WS_VISIBLE | BS_CHECKBOX, 122, 48, 55, 15, 106);
        combo = seq::Make(parent, u"combobox", u"", WS_VISIBLE | CBS_DROPDOWNLIST, 181, 48, 55, 120, 103);
        for (const char16_t *name : {u"None", u"2/4", u"3/4"})
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        SendMessageW(combo, CB_SETCURSEL, 0, 0);
        note = seq::Make(parent, u"button", u"A4", WS_VISIBLE | BS_PUSHBUTTON, 4, 99, 55, 28, 111);
        label = seq::Make(parent, u"static", u"Label", WS_VISIBLE | SS_LEFT, 63, 99, 55, 28, -1);
        stop = seq::Make(parent, u"button", u"Stop", BS_PUSHBUTTON, 4, 213, 55, 32, 121);
        for (int i = 0; i < 3; ++i)
            delay[i] = seq::Make(parent, u"button", kDelays[i], WS_VISIBLE | BS_RADIOBUTTON, 125, 183 + 20 * i, 50, 15,
                                 132 + i);
        seq::Make(parent, u"button", u"Delay", WS_VISIBLE | BS_GROUPBOX, 122, 161, 55, 84, 131);
        for (int i = 0; i < 3; ++i)
            repeat[i] = seq::Make(parent, u"button", kRepeats[i], WS_VISIBLE | BS_RADIOBUTTON, 189, 183 + 20 * i, 40,
                                  15, 136 + i);
        SendMessageW(delay[0], BM_SETCHECK, BST_CHECKED, 0);
        SendMessageW(repeat[1], BM_SETCHECK, BST_CHECKED, 0);
        Settle();
    }
    void TearDown() override {
        core::SetKeyboardAccess(true);
        ControlTest::TearDown();
    }

    static void Tab(bool back = false) { testhost::Key(VK_TAB, false, back); }

    static constexpr const char16_t *kDelays[3] = {u"none", u"1 sec", u"3 sec"};
    static constexpr const char16_t *kRepeats[3] = {u"1x", u"3x", u"5x"};
    HWND bar = nullptr, start = nullptr, sound = nullptr, combo = nullptr, note = nullptr, label = nullptr,
         stop = nullptr;
    HWND delay[3] = {}, repeat[3] = {};
};

// ---- Tab order ----

TEST_F(Keyboard, TabVisitsEveryVisibleEnabledControlInCreationOrderAndWraps) {
    EXPECT_EQ(GetFocus(), nullptr) << "nothing has the focus before a key or a tap";
    // The static label, the hidden Stop and the group box are passed over; each radio group is one
    // stop, on its checked button.
    const HWND order[] = {bar, start, sound, combo, note, delay[0], repeat[1], bar};
    for (HWND expected : order) {
        Tab();
        EXPECT_EQ(GetFocus(), expected) << "after " << (&expected - order) + 1 << " Tabs";
    }
    static const Expected kNothing[] = {seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kNothing)) << "moving the focus by Tab notifies nobody";
}

TEST_F(Keyboard, ShiftTabGoesBackwardsAndWrapsToTheLastStop) {
    Tab(true);
    EXPECT_EQ(GetFocus(), repeat[1]) << "from nowhere, Shift+Tab starts at the last stop";
    Tab(true);
    EXPECT_EQ(GetFocus(), delay[0]);
    Tab(true);
    EXPECT_EQ(GetFocus(), note);
}

TEST_F(Keyboard, HiddenAndDisabledControlsAreNoStopsAndShownOnesAre) {
    EnableWindow(sound, FALSE);
    ShowWindow(stop, SW_SHOW);
    SetFocus(start);
    Tab();
    EXPECT_EQ(GetFocus(), combo) << "the disabled box is passed over";
    Tab();
    Tab();
    EXPECT_EQ(GetFocus(), stop) << "the Stop button, once shown, follows the note button";
}

TEST_F(Keyboard, WithoutKeyboardAccessOnlyTabStopsAreVisited) {
    core::SetKeyboardAccess(false);
    Tab();
    EXPECT_EQ(GetFocus(), nullptr) << "no control has WS_TABSTOP";
    SetWindowLongW(note, GWL_STYLE, GetWindowLongW(note, GWL_STYLE) | WS_TABSTOP);
    Tab();
    EXPECT_EQ(GetFocus(), note);
}

TEST_F(Keyboard, ATappedControlTakesTheFocusAndAHiddenOneGivesItToItsParent) {
    testhost::Tap(60, kTop + 60);
    EXPECT_EQ(GetFocus(), start);
    testhost::Tap(100, kTop + 31);  // the tempo bar's track
    EXPECT_EQ(GetFocus(), bar);
    testhost::Tap(90, kTop + 120);  // the static label takes nothing
    EXPECT_EQ(GetFocus(), bar);
    ShowWindow(bar, SW_HIDE);
    EXPECT_EQ(GetFocus(), parent);
    Tab();
    EXPECT_EQ(GetFocus(), start) << "Tab from the window itself goes to its first stop";
}

// ---- Buttons ----

TEST_F(Keyboard, SpacePushesAButtonAndItsReleaseClicksIt) {
    SetFocus(start);
    testhost::KeyDown(VK_SPACE);
    static const Expected kNothing[] = {seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kNothing)) << "nothing while Space is down";
    EXPECT_EQ(SendMessageW(start, BM_GETSTATE, 0, 0) & BST_PUSHED, BST_PUSHED) << "drawn pushed";
    EXPECT_EQ(seq::Pixel(60, kTop + 52), kBlack) << "the pushed face is black";
    testhost::KeyUp(VK_SPACE);
    static const Expected kClick[] = {Clicked(104, u"Start Metronome"), seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kClick));
    EXPECT_EQ(SendMessageW(start, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
}

TEST_F(Keyboard, SpaceReleasedAfterTheFocusMovedClicksNothing) {
    SetFocus(start);
    testhost::KeyDown(VK_SPACE);
    Tab();
    testhost::KeyUp(VK_SPACE);
    static const Expected kNothing[] = {seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kNothing));
    EXPECT_EQ(SendMessageW(start, BM_GETSTATE, 0, 0) & BST_PUSHED, 0) << "no longer drawn pushed";
}

TEST_F(Keyboard, SpaceClicksACheckBoxAndReturnOnlyADefaultPushButton) {
    SetFocus(sound);
    testhost::Key(VK_SPACE);
    testhost::Key(VK_RETURN);
    SetFocus(start);
    testhost::Key(VK_RETURN);  // a plain push button outside a dialog ignores Return
    SetWindowLongW(start, GWL_STYLE, GetWindowLongW(start, GWL_STYLE) | BS_DEFPUSHBUTTON);
    testhost::Key(VK_RETURN);
    static const Expected kClicks[] = {
        Clicked(106, u"Sound"),
        Clicked(104, u"Start Metronome"),
        seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kClicks));
    EXPECT_EQ(SendMessageW(sound, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "the owner sets the mark, not the key";
}

TEST_F(Keyboard, BmClickClicksAnEnabledButtonOnly) {
    SendMessageW(note, BM_CLICK, 0, 0);
    EnableWindow(note, FALSE);
    SendMessageW(note, BM_CLICK, 0, 0);
    static const Expected kOne[] = {Clicked(111, u"A4"), seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kOne));
}

TEST_F(Keyboard, ArrowsMoveThroughARadioGroupClickingEachButtonTheyReach) {
    Tab();
    Tab();
    Tab();
    Tab();
    Tab();
    Tab();
    ASSERT_EQ(GetFocus(), delay[0]);
    testhost::Key(VK_DOWN);
    EXPECT_EQ(GetFocus(), delay[1]);
    testhost::Key(VK_RIGHT);
    EXPECT_EQ(GetFocus(), delay[2]);
    testhost::Key(VK_DOWN);
    EXPECT_EQ(GetFocus(), delay[0]) << "the arrows wrap inside the group, never into the next one";
    testhost::Key(VK_UP);
    EXPECT_EQ(GetFocus(), delay[2]);
    // The buttons are non-automatic: each is clicked as it gets the focus, so its owner can check it;
    // "none" is checked already and is not clicked again.
    static const Expected kClicks[] = {
        Clicked(133, u"1 sec"),
        Clicked(134, u"3 sec"),
        Clicked(134, u"3 sec"),
        seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kClicks));
}

TEST_F(Keyboard, ATappedRadioButtonIsClickedOnceAtStylusUp) {
    testhost::Tap(150, kTop + 210);  // "1 sec"
    EXPECT_EQ(GetFocus(), delay[1]);
    static const Expected kOne[] = {Clicked(133, u"1 sec"), seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kOne)) << "taking the focus under the stylus clicks nothing more";
}

// ---- The scroll bar ----

TEST_F(Keyboard, TheFocusedBarReportsEachKeyAndEndsAtItsRelease) {
    SetFocus(bar);
    seq::Clear();
    for (unsigned key : {VK_RIGHT, VK_DOWN, VK_LEFT, VK_UP, VK_NEXT, VK_PRIOR, VK_HOME, VK_END}) testhost::Key(key);
    testhost::Key(VK_SPACE);  // not a key of the bar
    static const Expected kReports[] = {
        {WM_HSCROLL, SB_LINERIGHT, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_LINERIGHT, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_LINELEFT, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_LINELEFT, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_PAGERIGHT, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_PAGELEFT, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_LEFT, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_RIGHT, 0, kAnyTime, nullptr},
        {WM_HSCROLL, SB_ENDSCROLL, 0, kAnyTime, nullptr},
        seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kReports));
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 30) << "the bar never moves itself: its owner does";
}

TEST_F(Keyboard, ABarWithAnEmptyRangeIgnoresKeys) {
    SetScrollRange(bar, SB_CTL, 0, 0, FALSE);
    SetFocus(bar);
    testhost::Key(VK_RIGHT);
    static const Expected kNothing[] = {seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kNothing));
}

// ---- The drop-down list ----

TEST_F(Keyboard, ArrowsOnAClosedListChooseAsAPickDoes) {
    SetFocus(combo);
    testhost::Key(VK_DOWN);
    testhost::Key(VK_END);
    testhost::Key(VK_RIGHT);  // already the last item: nothing
    testhost::Key(VK_HOME);
    // Each pick is confirmed with the text already the new item, then reported as a change.
    static const Expected kPicks[] = {Combo(CBN_SELENDOK, u"2/4"),
                                      Combo(CBN_SELCHANGE, u"2/4"),
                                      Combo(CBN_SELENDOK, u"3/4"),
                                      Combo(CBN_SELCHANGE, u"3/4"),
                                      Combo(CBN_SELENDOK, u"None"),
                                      Combo(CBN_SELCHANGE, u"None"),
                                      seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kPicks));
    EXPECT_FALSE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
}

TEST_F(Keyboard, F4DropsTheListTheArrowsMoveItsHighlightAndReturnChooses) {
    SetFocus(combo);
    testhost::Key(VK_F4);
    EXPECT_TRUE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    testhost::Key(VK_DOWN);
    testhost::Key(VK_DOWN);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0) << "the highlight moves, the selection waits";
    testhost::Key(VK_RETURN);
    static const Expected kChosen[] = {Combo(CBN_DROPDOWN, u"None"), Combo(CBN_SELENDOK, u"3/4"),
                                       Combo(CBN_CLOSEUP, u"3/4"), Combo(CBN_SELCHANGE, u"3/4"), seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kChosen));
    EXPECT_FALSE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(GetFocus(), combo);
}

TEST_F(Keyboard, AltDownDropsTheListAndEscapeCancels) {
    SetFocus(combo);
    testhost::Key(VK_DOWN, false, false, true);
    EXPECT_TRUE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    testhost::Key(VK_DOWN);
    testhost::Key(VK_ESCAPE);
    static const Expected kCancelled[] = {Combo(CBN_DROPDOWN, u"None"), Combo(CBN_SELENDCANCEL, u"None"),
                                          Combo(CBN_CLOSEUP, u"None"), seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kCancelled));
}

TEST_F(Keyboard, TabAwayFromADroppedListCancelsIt) {
    SetFocus(combo);
    testhost::Key(VK_F4);
    Tab();
    EXPECT_FALSE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(GetFocus(), note);
}

// ---- Focus messages and the focus rectangle ----

std::vector<std::pair<UINT, HWND>> g_focusHeard;

LRESULT CALLBACK FocusSpy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETFOCUS || message == WM_KILLFOCUS)
        g_focusHeard.push_back({message, reinterpret_cast<HWND>(wParam)});
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(Keyboard, TheFocusMovesWithKillThenSetFocus) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = FocusSpy;
    wc.lpszClassName = u"FocusSpy";
    RegisterClassW(&wc);
    HWND spy = seq::Make(parent, u"FocusSpy", u"", WS_VISIBLE, 0, 250, 10, 10, 200);
    g_focusHeard.clear();
    SetFocus(bar);
    SetFocus(spy);
    SetFocus(spy);  // already there: nothing
    SetFocus(sound);
    ASSERT_EQ(g_focusHeard.size(), 2u);
    EXPECT_EQ(g_focusHeard[0], std::make_pair(UINT(WM_SETFOCUS), bar)) << "told which window lost the focus";
    EXPECT_EQ(g_focusHeard[1], std::make_pair(UINT(WM_KILLFOCUS), sound)) << "told which window gains it";
    Tab();
    EXPECT_EQ(GetFocus(), combo) << "a window that answers no WM_GETDLGCODE is no tab stop";
}

TEST_F(Keyboard, TheFocusRectangleIsADottedOutlineThatGoesWithTheFocus) {
    // Start spans screen (4, 74)-(118, 102); its focus rectangle runs two pixels inside the frame, every
    // other pixel inverted: white face pixels turn black where x + y is even.
    const int left = 4 + 2, top = kTop + 48 + 2, right = 118 - 2 - 1;
    std::vector<std::uint32_t> before = seq::Grab(RECT{4, kTop + 48, 118, kTop + 76});
    SetFocus(start);
    testhost::Pump();
    EXPECT_EQ(seq::Pixel(left, top), kBlack) << "the top-left corner (x + y even)";
    EXPECT_EQ(seq::Pixel(left + 1, top), kWhite) << "the dots alternate";
    EXPECT_EQ(seq::Pixel(left + 2, top), kBlack);
    EXPECT_EQ(seq::Pixel(left, top + 2), kBlack) << "down the left side";
    EXPECT_EQ(seq::Pixel(right, top + 1), kBlack) << "down the right side ((115 + 77) is even)";
    EXPECT_EQ(seq::Pixel(left + 1, top + 1), kWhite) << "inside the outline the face stays white";
    Tab();
    testhost::Pump();
    EXPECT_EQ(seq::Grab(RECT{4, kTop + 48, 118, kTop + 76}), before) << "gone with the focus";
}

TEST_F(Keyboard, EachControlShowsTheFocusItsOwnWay) {
    SetFocus(sound);
    testhost::Pump();
    // Round the caption "Sound" (from x = 122 + 17 - 2 = 137): its left side at x 137.
    EXPECT_EQ(seq::Pixel(137, kTop + 48 + 1), kBlack) << "the check box: left side of the outline round its caption";
    EXPECT_EQ(seq::Pixel(137, kTop + 48 + 2), kWhite);

    SetFocus(bar);
    testhost::Pump();
    // The thumb at position 30 spans bar columns 45-64; the outline runs two pixels inside it, its dots
    // where x + y is even in the bar's own coordinates: (48, 2) is one, (47, 2) is not.
    const int thumbLeft = 4 + 45;
    EXPECT_EQ(seq::Pixel(thumbLeft + 3, kTop + 21 + 2), kBlack) << "the scroll bar: the outline inside its thumb";
    EXPECT_EQ(seq::Pixel(thumbLeft + 2, kTop + 21 + 2), kWhite) << "dotted";
    EXPECT_EQ(seq::Pixel(thumbLeft + 3, kTop + 21 + 3), kWhite) << "inside it the thumb stays white";

    SetFocus(combo);
    testhost::Pump();
    // Right of the text "None", inside the field's highlighted part (screen columns 183-217).
    EXPECT_EQ(seq::Pixel(216, kTop + 48 + 4), kNavy) << "the list's field: its text on the highlight colour";
    SetFocus(note);
    testhost::Pump();
    EXPECT_EQ(seq::Pixel(216, kTop + 48 + 4), kWhite) << "and white again when the focus leaves";
}

}  // namespace
