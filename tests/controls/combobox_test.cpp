// The "combobox" class: drop-down lists made as the main window makes its two.
//
// The time-signature list sits at (181, 48) in the parent, 55 wide and 120 tall with its list: the
// closed field is 20 pixels tall (screen rows 74-93) and the dropped list of seven 14-pixel rows hangs
// below it (rows 94-193), its first row starting at screen row 95.
#include <gtest/gtest.h>

#include <string>

#include "core.h"
#include "sequence.h"
#include "test_host.h"

namespace {

using namespace seq;

const char16_t *const kSignatures[] = {u"None", u"2/4", u"3/4", u"4/4", u"5/4", u"6/8", u"7/8"};

constexpr int kFieldX = 200, kFieldY = kTop + 58;  // a point on the closed field
constexpr int kRowX = 200;
constexpr int RowY(int row) { return kTop + 48 + 20 + 1 + 14 * row + 7; }  // the middle of a dropped row

class ComboBoxes : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        combo = seq::Make(parent, u"combobox", u"", WS_VISIBLE | CBS_DROPDOWNLIST, 181, 48, 55, 120, 103);
        for (const char16_t *name : kSignatures) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        SendMessageW(combo, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(u"None"));
        Settle();
    }

    static std::u16string Text(HWND window) {
        WCHAR buffer[64] = {0};
        GetWindowTextW(window, buffer, 64);
        return buffer;
    }
    static bool Dropped(HWND window) { return SendMessageW(window, CB_GETDROPPEDSTATE, 0, 0) != FALSE; }
    // The dropped list: the topmost window on the screen while it is down.
    static RECT ListRect() { return core::ScreenRect(core::TopLevels().front()); }

    HWND combo = nullptr;
};

// ---- Message sequences ----

TEST_F(ComboBoxes, TappingTheFieldThenAnItemChoosesIt) {
    testhost::Tap(kFieldX, kFieldY);
    static const Expected kDropped[] = {{WM_COMMAND, CBN_DROPDOWN, 103, 0, u"None"}, seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kDropped));
    EXPECT_TRUE(Dropped(combo)) << "the list stays down after the tap that dropped it";
    EXPECT_NE(GetCapture(), nullptr) << "the list holds the stylus";

    seq::Clear();
    testhost::Tap(kRowX, RowY(2));
    static const Expected kChosen[] = {
        {WM_COMMAND, CBN_SELENDOK, 103, 0, u"3/4"},  // the text is already the new item
        {WM_COMMAND, CBN_CLOSEUP, 103, 0, u"3/4"},
        {WM_COMMAND, CBN_SELCHANGE, 103, 0, u"3/4"},
        seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kChosen));
    EXPECT_FALSE(Dropped(combo));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
}

TEST_F(ComboBoxes, DraggingFromTheFieldChoosesWhereTheStylusLifts) {
    testhost::Down(kFieldX, kFieldY);
    testhost::Move(kRowX, RowY(1));
    testhost::Move(kRowX, RowY(3));
    testhost::Up(kRowX, RowY(3));
    static const Expected kSeq[] = {Combo(CBN_DROPDOWN, u"None"), Combo(CBN_SELENDOK, u"4/4"),
                                    Combo(CBN_CLOSEUP, u"4/4"), Combo(CBN_SELCHANGE, u"4/4"), seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kSeq));
}

TEST_F(ComboBoxes, ATapOutsideCancelsAndIsNotPassedOn) {
    seq::LogTaps(true);
    testhost::Tap(kFieldX, kFieldY);
    testhost::Tap(20, kTop + 250);
    static const Expected kSeq[] = {
        Combo(CBN_DROPDOWN, u"None"), Combo(CBN_SELENDCANCEL, u"None"), Combo(CBN_CLOSEUP, u"None"),
        seq::kEnd,  // and no WM_LBUTTONDOWN at the parent
    };
    EXPECT_TRUE(seq::SequenceIs(kSeq));
    EXPECT_FALSE(Dropped(combo));
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
}

TEST_F(ComboBoxes, RepickingTheSameItemStillConfirmsIt) {
    testhost::Tap(kFieldX, kFieldY);
    testhost::Tap(kRowX, RowY(0));
    static const Expected kSeq[] = {
        Combo(CBN_DROPDOWN, u"None"), Combo(CBN_SELENDOK, u"None"), Combo(CBN_CLOSEUP, u"None"),
        seq::kEnd,  // the selection did not change
    };
    EXPECT_TRUE(seq::SequenceIs(kSeq));
}

TEST_F(ComboBoxes, TappingTheFieldWhileDroppedChoosesTheHighlightedItem) {
    testhost::Down(kFieldX, kFieldY);
    testhost::Move(kRowX, RowY(5));
    testhost::Move(kFieldX, kFieldY);  // back onto the field: the highlight stays on "6/8"
    testhost::Up(kFieldX, kFieldY);
    EXPECT_TRUE(Dropped(combo)) << "lifted off the list: it stays down";
    testhost::Tap(kFieldX, kFieldY);
    static const Expected kSeq[] = {
        Combo(CBN_DROPDOWN, u"None"),
        Combo(CBN_SELENDOK, u"6/8"),
        Combo(CBN_CLOSEUP, u"6/8"),
        Combo(CBN_SELCHANGE, u"6/8"),
        seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kSeq));
    EXPECT_FALSE(Dropped(combo));
}

TEST_F(ComboBoxes, ChoosingFromCodeNotifiesNobody) {
    EXPECT_EQ(SendMessageW(combo, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(u"7/8")), 6);
    EXPECT_EQ(Text(combo), u"7/8");
    EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(Text(combo), u"2/4");
    EXPECT_EQ(GetWindowTextLengthW(combo), 3);
    testhost::Pump();
    static const Expected kNothing[] = {seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kNothing));
}

TEST_F(ComboBoxes, ShowDropDownFromCodeDropsAndCancels) {
    EXPECT_TRUE(SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0));
    EXPECT_TRUE(Dropped(combo));
    EXPECT_TRUE(SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0));
    EXPECT_FALSE(Dropped(combo));
    static const Expected kSeq[] = {Combo(CBN_DROPDOWN, nullptr), Combo(CBN_SELENDCANCEL, nullptr),
                                    Combo(CBN_CLOSEUP, nullptr), seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kSeq));
}

TEST_F(ComboBoxes, HidingTheComboBoxWhileDroppedCancels) {
    testhost::Tap(kFieldX, kFieldY);
    ShowWindow(combo, SW_HIDE);
    static const Expected kSeq[] = {Combo(CBN_DROPDOWN, nullptr), Combo(CBN_SELENDCANCEL, nullptr),
                                    Combo(CBN_CLOSEUP, nullptr), seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kSeq));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(core::TopLevels().size(), 3u) << "the list window is gone";
}

// ---- Geometry and pictures ----

TEST_F(ComboBoxes, TheClosedFieldIsAsTallAsTheFontNeedsAndTheListHangsBelowIt) {
    RECT field{};
    GetWindowRect(combo, &field);
    EXPECT_EQ(field.bottom - field.top, 20) << "14-pixel text, 2 pixels of space above and below, two frame lines";
    EXPECT_EQ(field.right - field.left, 55);
    testhost::Tap(kFieldX, kFieldY);
    RECT list = ListRect();
    EXPECT_EQ(list.left, 181);
    EXPECT_EQ(list.top, field.bottom);
    EXPECT_EQ(list.right, 236);
    EXPECT_EQ(list.bottom - list.top, 7 * 14 + 2) << "seven rows and a frame";
}

TEST_F(ComboBoxes, AListThatDoesNotFitBelowOpensAboveTheField) {
    HWND low = seq::Make(parent, u"combobox", u"", WS_VISIBLE | CBS_DROPDOWNLIST, 4, 240, 114, 120, 140);
    for (const char16_t *name : {u"Concert", u"Guitar", u"Bass", u"Cello", u"Viola", u"Violin"})
        SendMessageW(low, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    testhost::Pump();
    testhost::Tap(50, kTop + 250);
    ASSERT_TRUE(Dropped(low));
    RECT list = ListRect();
    EXPECT_EQ(list.bottom, kTop + 240) << "the list ends where the field begins";
    EXPECT_EQ(list.bottom - list.top, 6 * 14 + 2);
    testhost::Tap(50, list.top + 1 + 14 * 4 + 7);
    EXPECT_EQ(Text(low), u"Viola");
}

TEST_F(ComboBoxes, TheFieldShowsTheSelectionBesideAnArrowButton) {
    const int top = kTop + 48;
    EXPECT_EQ(seq::Pixel(181, top), kBlack) << "a one-pixel black frame";
    EXPECT_EQ(seq::Pixel(235, top + 19), kBlack);
    EXPECT_EQ(seq::Pixel(219, top + 10), kBlack) << "the arrow button's left line, 17 pixels from the right";
    EXPECT_EQ(seq::Pixel(224, top + 8), kBlack) << "the down-triangle's top row, seven pixels wide";
    EXPECT_EQ(seq::Pixel(230, top + 8), kBlack);
    EXPECT_EQ(seq::Pixel(227, top + 11), kBlack) << "its point, four rows down";
    EXPECT_EQ(seq::Pixel(224, top + 11), kWhite);
    RECT ink = seq::InkBounds(RECT{182, top + 1, 219, top + 19}, kBlack);
    EXPECT_GE(ink.left, 184) << "the selection's text starts three pixels in";
    EXPECT_LE(ink.left, 186);
    EXPECT_LT(ink.right, 219) << "and fits before the button";

    SendMessageW(combo, CB_SETCURSEL, WPARAM(-1), 0);
    testhost::Pump();
    EXPECT_EQ(seq::CountColor(RECT{182, top + 1, 219, top + 19}, kBlack), 0) << "no selection: an empty field";
}

TEST_F(ComboBoxes, TheDroppedListHighlightsTheSelectionInNavyOverTheWindowsBelow) {
    HWND below = seq::Make(parent, u"button", u"G4", WS_VISIBLE, 181, 99, 55, 28, 114);
    testhost::Pump();
    EXPECT_EQ(seq::Pixel(230, kTop + 99), kBlack) << "the button's top line before the list drops";

    SendMessageW(combo, CB_SETCURSEL, 1, 0);
    testhost::Tap(kFieldX, kFieldY);
    const int rowTop = kTop + 69;
    EXPECT_EQ(seq::Pixel(221, kTop + 50), kBlack) << "the arrow button is drawn pushed while the list is down";
    EXPECT_EQ(seq::Pixel(181, kTop + 68), kBlack) << "the list's frame";
    EXPECT_EQ(seq::Pixel(233, rowTop + 3), kWhite) << "row 0 is white";
    EXPECT_EQ(seq::Pixel(233, rowTop + 14 + 3), kNavy) << "the selected row 1 is navy";
    EXPECT_GT(seq::CountColor(RECT{182, rowTop + 14, 234, rowTop + 28}, kWhite), 10) << "with white text";
    EXPECT_GT(seq::CountColor(RECT{182, rowTop, 234, rowTop + 14}, kBlack), 10) << "other rows have black text";
    EXPECT_EQ(seq::Pixel(230, kTop + 99), kWhite) << "the list covers the button beneath it";

    testhost::Move(kRowX, RowY(4));
    EXPECT_EQ(seq::Pixel(233, rowTop + 14 + 3), kNavy) << "a tap is not a drag: the highlight stays";
    testhost::Down(kRowX, RowY(4));
    EXPECT_EQ(seq::Pixel(233, rowTop + 4 * 14 + 3), kNavy) << "the highlight follows the stylus";
    EXPECT_EQ(seq::Pixel(233, rowTop + 14 + 3), kWhite);
    testhost::Up(kRowX, RowY(4));
    EXPECT_EQ(seq::Pixel(230, kTop + 99), kBlack) << "the list is gone and the button shows again";
    EXPECT_EQ(seq::Pixel(221, kTop + 50), kWhite) << "the arrow button is up again";
    EXPECT_TRUE(IsWindow(below));
}

TEST_F(ComboBoxes, ALongListShowsTheSelectionAtTheBottomAndScrollsWhenDraggedPast) {
    for (const char16_t *name : {u"9/8", u"12/8", u"3/2"})
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendMessageW(combo, CB_SETCURSEL, 9, 0);
    testhost::Tap(kFieldX, kFieldY);
    testhost::Tap(kRowX, RowY(0));
    EXPECT_EQ(Text(combo), u"4/4") << "with item 9 in the bottom row, the top row holds item 3";

    testhost::Tap(kFieldX, kFieldY);  // rows 0-6 show items 0-6 again
    testhost::Down(kRowX, RowY(6));
    testhost::Move(kRowX, RowY(7) + 5);  // past the bottom edge: one row on
    testhost::Move(kRowX, RowY(7) + 6);  // and another
    testhost::Move(kRowX, RowY(6));
    testhost::Up(kRowX, RowY(6));
    EXPECT_EQ(Text(combo), u"12/8");
}

// ---- Search, texts and odd input ----

TEST_F(ComboBoxes, SelectStringSearchesAfterTheStartAndWrapsRound) {
    HWND c = seq::Make(parent, u"combobox", u"", WS_VISIBLE | CBS_DROPDOWNLIST, 4, 100, 114, 120, 140);
    EXPECT_EQ(SendMessageW(c, CB_SELECTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(u"a")), CB_ERR) << "an empty list";
    for (const char16_t *name : {u"Cello", u"Bass", u"Basso", u"Viola"})
        SendMessageW(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    struct Case {
        int start;
        const char16_t *prefix;
        LRESULT found;
    };
    const Case kCases[] = {
        {-1, u"bas", 1},  // -1: from the top
        {1, u"BAS", 2},   // after the start, case-insensitively
        {2, u"bas", 1},   // wrapping past the end
        {1, u"cello", 0},
        {3, u"Viola", 3},  // the start itself comes last
        {99, u"vio", 3},   // a start off the list searches from the top
        {0, u"", 1},       // an empty prefix matches the next item
        {0, u"Violas", CB_ERR},
        {0, u"x", CB_ERR},
    };
    for (const Case &k : kCases) {
        LRESULT before = SendMessageW(c, CB_GETCURSEL, 0, 0);
        LRESULT got = SendMessageW(c, CB_SELECTSTRING, WPARAM(k.start), reinterpret_cast<LPARAM>(k.prefix));
        EXPECT_EQ(got, k.found) << "start " << k.start;
        EXPECT_EQ(SendMessageW(c, CB_GETCURSEL, 0, 0), got == CB_ERR ? before : got)
            << "a failed search keeps the selection";
    }
}

TEST_F(ComboBoxes, ItemTextsAndTheWindowTextStayWithinTheirBuffers) {
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(buffer)), 3);
    EXPECT_EQ(std::u16string(buffer), u"4/4");
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 3, 0), 3);
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 7, reinterpret_cast<LPARAM>(buffer)), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, WPARAM(-1), reinterpret_cast<LPARAM>(buffer)), CB_ERR);
    EXPECT_EQ(buffer[0], u'#') << "a bad index writes nothing";
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 0, 0), CB_ERR) << "no buffer";
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 7, 0), CB_ERR);

    EXPECT_EQ(SendMessageW(combo, WM_GETTEXT, 3, reinterpret_cast<LPARAM>(buffer)), 2);
    EXPECT_EQ(std::u16string(buffer), u"No") << "cut to the buffer with its terminator";
    EXPECT_EQ(SendMessageW(combo, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 0);
    EXPECT_EQ(SendMessageW(combo, WM_GETTEXT, 8, 0), 0);
    EXPECT_EQ(SendMessageW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"7/8")), CB_ERR)
        << "the text is the selection";
    EXPECT_EQ(Text(combo), u"None");
}

TEST_F(ComboBoxes, BadSelectionsAndAdditionsLeaveTheListConsistent) {
    EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, 0), CB_ERR) << "a null string is refused";
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 7);
    EXPECT_EQ(SendMessageW(combo, CB_SELECTSTRING, 0, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);

    EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 7, 0), CB_ERR) << "an index past the list";
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR) << "clears the selection";
    EXPECT_EQ(Text(combo), u"");
    EXPECT_EQ(GetWindowTextLengthW(combo), 0);

    // Capacity: 256 items, each of up to 255 characters.
    std::u16string longName(400, u'x');
    EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(longName.c_str())), 7);
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 7, 0), 255);
    for (int i = 8; i < 256; ++i) ASSERT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"n")), i);
    EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"one more")), -2) << "CB_ERRSPACE";
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 256);
}

TEST_F(ComboBoxes, AnEmptyListDropsBlankAndOnlyCancels) {
    HWND empty = seq::Make(parent, u"combobox", u"", WS_VISIBLE | CBS_DROPDOWNLIST, 4, 100, 114, 120, 140);
    testhost::Pump();
    EXPECT_EQ(Text(empty), u"");
    testhost::Tap(50, kTop + 110);
    EXPECT_TRUE(Dropped(empty));
    testhost::Tap(50, kTop + 128);  // on the blank row
    EXPECT_TRUE(Dropped(empty)) << "nothing to choose";
    testhost::Tap(200, kTop + 250);
    static const Expected kSeq[] = {
        {WM_COMMAND, CBN_DROPDOWN, 140, kAnyTime, u""},
        {WM_COMMAND, CBN_SELENDCANCEL, 140, kAnyTime, u""},
        {WM_COMMAND, CBN_CLOSEUP, 140, kAnyTime, u""},
        seq::kEnd,
    };
    EXPECT_TRUE(seq::SequenceIs(kSeq));
    EXPECT_EQ(SendMessageW(empty, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(ComboBoxes, AParentThatDestroysTheComboBoxOnItsChoiceIsSafe) {
    seq::OnCommand([](WPARAM wParam, LPARAM control) {
        if (HIWORD(wParam) == CBN_SELENDOK) DestroyWindow(reinterpret_cast<HWND>(control));
    });
    testhost::Tap(kFieldX, kFieldY);
    testhost::Tap(kRowX, RowY(3));
    EXPECT_FALSE(IsWindow(combo));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(core::TopLevels().size(), 3u) << "the list went with it";
    static const Expected kSeq[] = {Combo(CBN_DROPDOWN, nullptr), Combo(CBN_SELENDOK, u"4/4"), seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kSeq));
    testhost::Pump();
    EXPECT_EQ(seq::Pixel(200, RowY(3)), seq::kParentColor) << "the parent shows where the list was";
}

TEST_F(ComboBoxes, DestroyingTheParentWhileDroppedTakesTheListDownQuietly) {
    testhost::Tap(kFieldX, kFieldY);
    seq::Clear();
    DestroyWindow(parent);
    EXPECT_EQ(core::TopLevels().size(), 2u);
    EXPECT_EQ(GetCapture(), nullptr);
    static const Expected kNothing[] = {seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kNothing));
}

}  // namespace
