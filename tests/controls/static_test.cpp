// The "static" class: wrapped text from the top of the control, and icons.
#include <gtest/gtest.h>

#include "core.h"
#include "sequence.h"
#include "test_host.h"

namespace {

using namespace seq;

class Statics : public ControlTest {
protected:
    // A static at (10, 10) in the parent; returns its screen rectangle.
    RECT Text(const char16_t *text, DWORD style, int width, int height) {
        control = seq::Make(parent, u"static", text, WS_VISIBLE | style, 10, 10, width, height, -1);
        testhost::Pump();
        return RECT{10, kTop + 10, 10 + width, kTop + 10 + height};
    }
    static RECT Line(const RECT &r, int line) {
        return RECT{r.left, r.top + 14 * line, r.right, r.top + 14 * (line + 1)};
    }

    HWND control = nullptr;
};

TEST_F(Statics, TextStartsAtTheTopLeftAndHardBreaksKeepTheirLeadingSpaces) {
    RECT r = Text(u"X\r\n  X\nX", SS_LEFT | SS_NOPREFIX, 200, 60);
    RECT first = seq::InkBounds(Line(r, 0), kBlack);
    RECT second = seq::InkBounds(Line(r, 1), kBlack);
    RECT third = seq::InkBounds(Line(r, 2), kBlack);
    ASSERT_GE(first.left, 0) << "the first line is in the top 14 rows";
    ASSERT_GE(second.left, 0) << "the second line is the next 14";
    ASSERT_GE(third.left, 0) << "a lone line feed breaks the line too";
    EXPECT_LE(first.left, r.left + 1) << "left-aligned";
    EXPECT_GE(second.left - first.left, 6) << "the two spaces after the break are kept";
    EXPECT_EQ(third.left, first.left);
    EXPECT_EQ(seq::CountColor(RECT{r.left, r.top + 42, r.right, r.bottom}, kBlack), 0)
        << "nothing below the third line";
}

TEST_F(Statics, LongTextWrapsAtSpacesWhichAreDroppedAtTheWrap) {
    RECT r = Text(u"Xxx Xxx Xxx Xxx", SS_LEFT, 44, 70);
    RECT first = seq::InkBounds(Line(r, 0), kBlack);
    RECT second = seq::InkBounds(Line(r, 1), kBlack);
    ASSERT_GE(second.left, 0) << "the words go on on a second line";
    EXPECT_EQ(second.left, first.left) << "without the space that ended the first";
    EXPECT_LT(first.right, r.right) << "each line fits the width";
}

TEST_F(Statics, CentredTextIsCentredAcrossTheControl) {
    RECT r = Text(u"Tuning Notes", SS_CENTER, 200, 20);
    RECT ink = seq::InkBounds(r, kBlack);
    EXPECT_NEAR((ink.left + ink.right) / 2.0, (r.left + r.right - 1) / 2.0, 2.0);
    EXPECT_LT(ink.top, r.top + 14) << "at the top, not centred down";
}

TEST_F(Statics, AmpersandsShowOnlyWithNoPrefix) {
    RECT plain = Text(u"A&B", SS_LEFT, 100, 16);
    int prefixed = seq::InkBounds(plain, kBlack).right;
    DestroyWindow(control);
    RECT literal = Text(u"A&B", SS_LEFT | SS_NOPREFIX, 100, 16);
    int shown = seq::InkBounds(literal, kBlack).right;
    EXPECT_GT(shown - prefixed, 4) << "with SS_NOPREFIX the ampersand is drawn";
}

TEST_F(Statics, BlackTextOnWhiteClippedToTheControl) {
    RECT r = Text(u"one\ntwo\nthree\nfour\nfive", SS_LEFT, 100, 30);
    int white = seq::CountColor(r, kWhite), black = seq::CountColor(r, kBlack);
    EXPECT_GT(black, 0);
    EXPECT_EQ(white + black, 100 * 30) << "only white background and black text";
    EXPECT_EQ(seq::CountColor(RECT{r.left, r.bottom, r.right, r.bottom + 40}, kBlack), 0)
        << "lines past the bottom are not drawn over the parent";
}

TEST_F(Statics, SettingTheTextRepaintsAndTapsPassThrough) {
    RECT r = Text(u"", SS_LEFT, 100, 20);
    EXPECT_EQ(seq::CountColor(r, kBlack), 0);
    SetWindowTextW(control, u"Help");
    testhost::Pump();
    EXPECT_GT(seq::CountColor(r, kBlack), 0);

    seq::Clear();
    seq::LogTaps(true);
    testhost::Tap(20, kTop + 15);
    static const Expected kSeq[] = {{WM_LBUTTONDOWN, 20, 15, kAnyTime, nullptr}, seq::kEnd};
    EXPECT_TRUE(seq::SequenceIs(kSeq)) << "a tap on a static reaches the window beneath";
}

// ---- Icons ----

HWND MakeIcon(HWND parent, LPCWSTR name) {
    return CreateWindowExW(0, u"static", name, WS_CHILD | WS_VISIBLE | SS_ICON, 2, 3, 20, 20, parent, nullptr,
                           core::MainModule(), nullptr);
}

TEST_F(Statics, AnIconStaticDrawsItsIconAndTakesItsSize) {
    HWND icon = MakeIcon(parent, MAKEINTRESOURCE(101));
    testhost::Pump();
    HICON loaded = LoadIconW(core::MainModule(), MAKEINTRESOURCE(101));
    ASSERT_NE(loaded, nullptr) << "the program's icon is in the resources";
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0)), loaded);
    RECT r{};
    GetWindowRect(icon, &r);
    EXPECT_EQ(r.left, 2);
    EXPECT_EQ(r.top, kTop + 3);
    EXPECT_EQ(r.right - r.left, 32) << "the control takes the icon's size";
    EXPECT_EQ(r.bottom - r.top, 32);

    const res::Image &image = core::IconFromHandle(loaded)->image;
    int opaque = 0, same = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            std::size_t k = std::size_t(y) * 32 + x;
            bool transparent = k < image.mask.size() && image.mask[k];
            std::uint32_t expected = transparent ? kWhite : image.pixels[k];
            opaque += !transparent;
            same += seq::Pixel(2 + x, kTop + 3 + y) == expected;
        }
    EXPECT_GT(opaque, 100);
    EXPECT_EQ(same, 32 * 32) << "the icon's pixels at the top-left, white where it is transparent";
}

TEST_F(Statics, AMissingIconOrABadHandleLeavesTheStaticBlank) {
    HWND icon = MakeIcon(parent, MAKEINTRESOURCE(999));
    testhost::Pump();
    EXPECT_EQ(SendMessageW(icon, STM_GETICON, 0, 0), 0);
    RECT r{};
    GetWindowRect(icon, &r);
    EXPECT_EQ(r.right - r.left, 20) << "no icon: the size given is kept";
    EXPECT_EQ(seq::CountColor(r, kWhite), 20 * 20);

    int junk = 0;
    EXPECT_EQ(SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(&junk), 0), 0) << "not an icon";
    EXPECT_EQ(SendMessageW(icon, STM_GETICON, 0, 0), 0);
    HICON loaded = LoadIconW(core::MainModule(), MAKEINTRESOURCE(101));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(loaded), 0), 0) << "the previous icon: none";
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0)), loaded);
    GetWindowRect(icon, &r);
    EXPECT_EQ(r.right - r.left, 32) << "a new icon resizes the control";
    HWND text = seq::Make(parent, u"static", u"text", WS_VISIBLE, 10, 100, 50, 20, -1);
    EXPECT_EQ(SendMessageW(text, STM_SETICON, reinterpret_cast<WPARAM>(loaded), 0), 0) << "a text static takes no icon";
    EXPECT_EQ(SendMessageW(text, STM_GETICON, 0, 0), 0);
}

}  // namespace
