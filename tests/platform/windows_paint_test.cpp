// Windows and painting: clipping to the update region and to children, exposure when a child hides,
// the paint context's defaults, the GDI primitives' edges, object counting.
#include <gtest/gtest.h>

#include "core.h"
#include "recorder.h"
#include "test_host.h"

namespace {

class WindowsPaint : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::SetUp();
        recorder::Log().clear();
    }
    void TearDown() override { testhost::TearDown(); }
};

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;

// Paints a window's whole client area in one colour through a paint context.
COLORREF g_fill = RGB(255, 0, 0);
LRESULT CALLBACK FillProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        HBRUSH brush = CreateSolidBrush(g_fill);
        RECT r{0, 0, 240, 320};
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeFilled(HWND parent, int x, int y, int w, int h) {
    testhost::RegisterTestClass(u"Filled", FillProc, true);
    return CreateWindowExW(0, u"Filled", u"", (parent ? WS_CHILD : 0) | WS_VISIBLE, x, y, w, h, parent, nullptr,
                           nullptr, nullptr);
}

TEST_F(WindowsPaint, APaintIsClippedToTheInvalidatedAreaAndToChildren) {
    g_fill = RGB(0, 0, 255);
    HWND main = MakeFilled(nullptr, 0, 26, 240, 268);
    HWND child = recorder::Create(main, 100, 100, 40, 40);
    testhost::Pump();
    // The child's area belongs to the child: the parent's blue never reaches it.
    EXPECT_EQ(testhost::Pixel(50, 60), 0x0000FFu) << "the parent is blue";
    EXPECT_EQ(testhost::Pixel(120, 146), kWhite) << "the child (white background) is not painted over";

    g_fill = RGB(0, 255, 0);
    RECT small{0, 0, 20, 20};
    InvalidateRect(main, &small, FALSE);
    testhost::Pump();
    EXPECT_EQ(testhost::Pixel(10, 36), 0x00FF00u) << "inside the invalidated rectangle: green";
    EXPECT_EQ(testhost::Pixel(30, 60), 0x0000FFu) << "outside it: still blue";
    (void)child;
}

TEST_F(WindowsPaint, HidingAChildRepaintsTheParentBeneathItOnly) {
    g_fill = RGB(255, 0, 0);
    HWND main = MakeFilled(nullptr, 0, 26, 240, 268);
    HWND child = recorder::Create(main, 4, 213, 55, 32);
    testhost::Pump();
    EXPECT_EQ(testhost::Pixel(20, 26 + 220), kWhite);
    g_fill = RGB(0, 255, 0);
    ShowWindow(child, SW_HIDE);
    RECT update;
    ASSERT_TRUE(GetUpdateRect(main, &update, FALSE));
    EXPECT_EQ(update.left, 4);
    EXPECT_EQ(update.top, 213);
    EXPECT_EQ(update.right, 59);
    EXPECT_EQ(update.bottom, 245);
    testhost::Pump();
    EXPECT_EQ(testhost::Pixel(20, 26 + 220), 0x00FF00u) << "the uncovered area is repainted";
    EXPECT_EQ(testhost::Pixel(100, 100), 0xFF0000u) << "the rest of the parent is not";
    // Showing it again paints the child itself, not the parent.
    recorder::Log().clear();
    ShowWindow(child, SW_SHOW);
    testhost::Pump();
    EXPECT_EQ(recorder::Messages(child, {WM_PAINT}).size(), 1u);
    EXPECT_EQ(testhost::Pixel(20, 26 + 220), kWhite);
}

TEST_F(WindowsPaint, RectangleDrawsAOnePixelOutlineWithoutItsRightAndBottomEdges) {
    HWND main = recorder::Create(nullptr, 0, 26, 240, 268);
    testhost::Pump();
    HDC dc = GetDC(main);
    // A fresh context: black pen, white brush, white background, black text.
    EXPECT_EQ(GetBkColor(dc), 0xFFFFFFu);
    EXPECT_EQ(GetTextColor(dc), 0u);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(dc, red);
    Rectangle(dc, 10, 10, 20, 15);
    SelectObject(dc, old);
    DeleteObject(red);
    ReleaseDC(main, dc);
    EXPECT_EQ(testhost::Pixel(10, 36), kBlack) << "top-left corner is the pen";
    EXPECT_EQ(testhost::Pixel(19, 40), kBlack) << "right edge at right - 1";
    EXPECT_EQ(testhost::Pixel(15, 38), 0xFF0000u) << "inside is the brush";
    EXPECT_EQ(testhost::Pixel(20, 38), kWhite) << "nothing at x = right";
    EXPECT_EQ(testhost::Pixel(15, 41), kWhite) << "nothing at y = bottom";
}

TEST_F(WindowsPaint, CentredSingleLineTextSitsInTheMiddleOfItsRectangle) {
    HWND main = recorder::Create(nullptr, 0, 26, 240, 268);
    testhost::Pump();
    HDC dc = GetDC(main);
    SetBkColor(dc, RGB(0, 0, 255));
    SetTextColor(dc, RGB(255, 255, 255));
    RECT bar{4, 1, 236, 18};
    DrawTextW(dc, u"Tuning Notes", 12, &bar, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SIZE size;
    GetTextExtentPoint32W(dc, u"Tuning Notes", 12, &size);
    ReleaseDC(main, dc);
    EXPECT_EQ(size.cy, 14);
    int left = (4 + 236 - size.cx) / 2;
    // The opaque text cell starts at the computed left edge, row 2 of the bar (1 + 17/2 - 7).
    EXPECT_EQ(testhost::Pixel(left, 26 + 2), 0x0000FFu);
    EXPECT_EQ(testhost::Pixel(left - 1, 26 + 2), kWhite);
    EXPECT_EQ(testhost::Pixel(left, 26 + 1), kWhite);
    bool whiteInk = false;
    for (int y = 2; y < 16 && !whiteInk; ++y)
        for (int x = left; x < left + size.cx; ++x)
            if (testhost::Pixel(x, 26 + y) == kWhite) whiteInk = true;
    EXPECT_TRUE(whiteInk) << "the glyphs are drawn in the text colour";
}

TEST_F(WindowsPaint, WordBreakKeepsLeadingSpacesAfterHardBreaks) {
    HWND main = recorder::Create(nullptr, 0, 26, 240, 268);
    HDC dc = GetDC(main);
    RECT r{0, 0, 224, 0};
    int height = DrawTextW(dc, u"Metronome\r\n  1. The beats per minute are set\r\n      through the slider bar.", -1,
                           &r, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(height, 3 * 14);
    RECT narrow{0, 0, 60, 0};
    EXPECT_GT(DrawTextW(dc, u"one two three four five", -1, &narrow, DT_WORDBREAK | DT_CALCRECT), 14)
        << "a long line wraps at spaces";
    ReleaseDC(main, dc);
}

TEST_F(WindowsPaint, ObjectsAreCountedUntilDeletedAndSelectedOnesAreKept) {
    HWND main = recorder::Create(nullptr, 0, 26, 240, 268);
    int before = core::LiveGdiObjects();
    HDC dc = GetDC(main);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HDC memory = CreateCompatibleDC(dc);
    EXPECT_EQ(core::LiveGdiObjects(), before + 2);
    HGDIOBJ old = SelectObject(dc, brush);
    EXPECT_FALSE(DeleteObject(brush)) << "a selected object stays";
    SelectObject(dc, old);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(brush)) << "a deleted handle is refused";
    EXPECT_FALSE(DeleteObject(GetStockObject(WHITE_BRUSH))) << "stock objects are never deleted";
    DeleteDC(memory);
    ReleaseDC(main, dc);
    EXPECT_EQ(core::LiveGdiObjects(), before);
}

TEST_F(WindowsPaint, BitBltCopiesABitmapThroughAMemoryContext) {
    HWND main = recorder::Create(nullptr, 0, 26, 240, 268);
    testhost::Pump();
    res::Image image;
    image.width = 2;
    image.height = 2;
    image.pixels = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456};
    HBITMAP bitmap = core::CreateBitmapFromImage(image);
    HDC dc = GetDC(main);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    EXPECT_TRUE(BitBlt(dc, 4, 213, 2, 2, memory, 0, 0, SRCCOPY));
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    ReleaseDC(main, dc);
    EXPECT_EQ(testhost::Pixel(4, 239), 0xFF0000u);
    EXPECT_EQ(testhost::Pixel(5, 240), 0x123456u);
    EXPECT_EQ(testhost::Pixel(6, 239), kWhite);
}

// The navigation bar shows the speaker struck through (red) while no sound is heard, beside the clock,
// and clears it when sound works again: the host's report alone repaints it.
TEST_F(WindowsPaint, TheNavigationBarShowsWhenNoSoundIsHeard) {
    auto redInNavBar = [] {
        int count = 0;
        for (int y = 0; y < 26; ++y)
            for (int x = 0; x < 240; ++x) count += testhost::Pixel(x, y) == 0xFF0000;
        return count;
    };
    EXPECT_EQ(redInNavBar(), 0);
    testhost::SetSoundWorks(false);
    testhost::Pump();
    EXPECT_GT(redInNavBar(), 20);
    EXPECT_EQ(testhost::Pixel(197, 16), kWhite) << "the speaker's cone, just left of the clock";
    testhost::SetSoundWorks(true);
    testhost::Pump();
    EXPECT_EQ(redInNavBar(), 0);
}

}  // namespace
