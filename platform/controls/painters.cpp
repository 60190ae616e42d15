// Stateless painters for the platform's controls: flat faces, one-pixel frames, the system font.
// Leaves out: 3-D bevels (the handheld draws none), bitmaps on buttons.
#include "painters.h"

#include <algorithm>
#include <cmath>

#include "core.h"

namespace controls::paint {

const Colors kColors = {
    RGB(255, 255, 255),  // face
    RGB(0, 0, 0),        // text
    RGB(0, 0, 0),        // frame
    RGB(0, 0, 0),        // pushedFace
    RGB(255, 255, 255),  // pushedText
    RGB(192, 192, 192),  // dimmed
    RGB(214, 211, 206),  // track
    RGB(0, 0, 128),      // highlight
    RGB(255, 255, 255),  // highlightText
    RGB(128, 128, 128),  // disabledText
};

namespace {

constexpr int kArrowDepth = 5;  // columns of a scroll arrow's triangle
constexpr int kDropWidth = 7;   // top row of a combo box's down-triangle
constexpr int kRadioDot = 6;    // the dot of a checked radio button
constexpr int kFocusInset = 2;  // the focus rectangle inside a push button, a thumb, a combo field

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
    core::FillSolid(dc, RECT{left, top, right, bottom}, color);
}

void Frame(HDC dc, const RECT &r, COLORREF color) {
    Fill(dc, r.left, r.top, r.right, r.top + 1, color);
    Fill(dc, r.left, r.bottom - 1, r.right, r.bottom, color);
    Fill(dc, r.left, r.top, r.left + 1, r.bottom, color);
    Fill(dc, r.right - 1, r.top, r.right, r.bottom, color);
}

// Text in one colour over whatever is already drawn.
void Label(HDC dc, RECT rect, const WCHAR *text, int length, UINT format, COLORREF color) {
    if (!text || length == 0) return;
    COLORREF oldColor = SetTextColor(dc, color);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text, length, &rect, format);
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldColor);
}

COLORREF TextColor(unsigned state, const Colors &colors) {
    if (state & kDisabled) return colors.disabledText;
    return colors.text;
}

// The pixel columns [left, right) that row `row` of a disc `diameter` pixels across covers.
void DiscRow(int diameter, int row, int *left, int *right) {
    double c = diameter / 2.0;
    double dy = row + 0.5 - c;
    double half = std::sqrt(std::max(0.0, c * c - dy * dy));
    *left = int(std::lround(c - half));
    *right = int(std::lround(c + half));
}

void Disc(HDC dc, int x, int y, int diameter, COLORREF color) {
    for (int row = 0; row < diameter; ++row) {
        int l, r;
        DiscRow(diameter, row, &l, &r);
        Fill(dc, x + l, y + row, x + r, y + row + 1, color);
    }
}

// A check mark: seven columns three pixels tall, down two steps and up four, centred in the box.
void Tick(HDC dc, int boxLeft, int boxTop, COLORREF color) {
    static const int kTops[] = {5, 6, 7, 6, 5, 4, 3};
    for (int i = 0; i < 7; ++i)
        Fill(dc, boxLeft + 2 + i, boxTop + kTops[i], boxLeft + 3 + i, boxTop + kTops[i] + 3, color);
}

// A triangle pointing left or right, centred in `box`.
void SideTriangle(HDC dc, const RECT &box, bool left, COLORREF color) {
    int w = box.right - box.left, h = box.bottom - box.top;
    int depth = std::min(kArrowDepth, std::max(1, (std::min(w, h) - 2) / 3));
    bool even = h % 2 == 0;
    int centre = box.top + h / 2;
    int x0 = box.left + (w - depth) / 2;
    for (int c = 0; c < depth; ++c) {
        // Column c from the tip is 2c+1 (odd height) or 2c+2 (even height) pixels tall.
        int top = even ? centre - 1 - c : centre - c;
        int bottom = centre + c + 1;
        int x = left ? x0 + c : x0 + depth - 1 - c;
        Fill(dc, x, top, x + 1, bottom, color);
    }
}

void DownTriangle(HDC dc, const RECT &box, COLORREF color) {
    int w = box.right - box.left, h = box.bottom - box.top;
    int width = std::min(kDropWidth, w - 2);
    if (width % 2 == 0) --width;
    if (width < 1) return;
    int rows = (width + 1) / 2;
    int x0 = box.left + (w - width) / 2;
    int y0 = box.top + (h - rows) / 2;
    for (int r = 0; r < rows; ++r) Fill(dc, x0 + r, y0 + r, x0 + width - r, y0 + r + 1, color);
}

}  // namespace

void PushButton(HDC dc, const RECT &rect, const WCHAR *text, int length, unsigned state, const Colors &colors) {
    bool pushed = (state & kPushed) != 0;
    Fill(dc, rect.left, rect.top, rect.right, rect.bottom, pushed ? colors.pushedFace : colors.face);
    Frame(dc, rect, colors.frame);
    RECT inside{rect.left + 1, rect.top, rect.right - 1, rect.bottom};
    Label(dc, inside, text, length, DT_CENTER | DT_VCENTER | DT_SINGLELINE,
          pushed ? colors.pushedText : TextColor(state, colors));
    if (state & kFocused) {
        RECT focus{rect.left + kFocusInset, rect.top + kFocusInset, rect.right - kFocusInset,
                   rect.bottom - kFocusInset};
        DrawFocusRect(dc, &focus);
    }
}

void CheckBox(HDC dc, const RECT &rect, const WCHAR *text, int length, unsigned state, bool radio,
              const Colors &colors) {
    Fill(dc, rect.left, rect.top, rect.right, rect.bottom, colors.face);
    int size = radio ? kRadioSize : kCheckBoxSize;
    // Centred, an odd pixel going above: the Sound and Color boxes, whose controls overlap by two
    // rows, then both show whole.
    int top = rect.top + (rect.bottom - rect.top - size + 1) / 2;
    int left = rect.left;
    COLORREF inside = (state & kPushed) ? colors.dimmed : colors.face;
    if (radio) {
        Disc(dc, left, top, size, colors.frame);
        Disc(dc, left + 1, top + 1, size - 2, inside);
        if (state & kChecked) {
            int offset = (size - kRadioDot) / 2;
            Disc(dc, left + offset, top + offset, kRadioDot, colors.frame);
        }
    } else {
        Fill(dc, left + 1, top + 1, left + size - 1, top + size - 1, inside);
        Frame(dc, RECT{left, top, left + size, top + size}, colors.frame);
        if (state & kChecked) Tick(dc, left, top, colors.frame);
    }
    RECT caption{rect.left + kCaptionOffset, rect.top, rect.right, rect.bottom};
    Label(dc, caption, text, length, DT_LEFT | DT_VCENTER | DT_SINGLELINE, TextColor(state, colors));
    if (state & kFocused) {
        // Round the caption, two pixels clear of its text either side, the control's full height.
        SIZE extent{0, 0};
        if (text && length > 0) GetTextExtentPoint32W(dc, text, length, &extent);
        RECT focus{caption.left - 2, rect.top, std::min<LONG>(caption.left + extent.cx + 2, rect.right), rect.bottom};
        DrawFocusRect(dc, &focus);
    }
}

void GroupBox(HDC dc, const RECT &rect, const WCHAR *text, int length, unsigned state, const Colors &colors) {
    Fill(dc, rect.left, rect.top, rect.right, rect.bottom, colors.face);
    SIZE extent{0, 0};
    GetTextExtentPoint32W(dc, u"M", 1, &extent);
    int lineHeight = extent.cy;
    RECT frame{rect.left, rect.top + lineHeight / 2, rect.right, rect.bottom};
    if (frame.bottom - frame.top >= 2) Frame(dc, frame, colors.frame);
    if (!text || length <= 0) return;
    // The caption sits on the top line with a little white either side of its text.
    GetTextExtentPoint32W(dc, text, length, &extent);
    int x = rect.left + kGroupCaptionX;
    int right = std::min<int>(x + extent.cx, rect.right - kGroupCaptionX);
    if (right <= x) return;
    Fill(dc, x - 2, frame.top, right + 2, frame.top + 1, colors.face);
    Label(dc, RECT{x, rect.top, right, rect.top + lineHeight}, text, length, DT_LEFT | DT_TOP | DT_SINGLELINE,
          TextColor(state, colors));
}

void ScrollBar(HDC dc, const RECT &rect, const ScrollLayout &layout, ScrollPart pressed, const Colors &colors,
               unsigned state) {
    const int a = layout.arrow;
    RECT leftArrow{rect.left, rect.top, rect.left + a, rect.bottom};
    RECT rightArrow{rect.right - a, rect.top, rect.right, rect.bottom};

    // The page areas: the track between the arrows, framed above and below.
    Fill(dc, leftArrow.right, rect.top + 1, rightArrow.left, rect.bottom - 1, colors.track);
    Fill(dc, leftArrow.right, rect.top, rightArrow.left, rect.top + 1, colors.frame);
    Fill(dc, leftArrow.right, rect.bottom - 1, rightArrow.left, rect.bottom, colors.frame);
    int thumbLeft = rect.left + layout.thumbLeft;
    int thumbRight = thumbLeft + layout.thumbWidth;
    if (layout.thumbWidth > 0) {
        if (pressed == ScrollPart::LeftPage)
            Fill(dc, leftArrow.right, rect.top + 1, thumbLeft, rect.bottom - 1, colors.pushedFace);
        if (pressed == ScrollPart::RightPage)
            Fill(dc, thumbRight, rect.top + 1, rightArrow.left, rect.bottom - 1, colors.pushedFace);
    }

    for (bool left : {true, false}) {
        const RECT &box = left ? leftArrow : rightArrow;
        if (box.right <= box.left) continue;
        bool down = pressed == (left ? ScrollPart::LeftArrow : ScrollPart::RightArrow);
        Fill(dc, box.left, box.top, box.right, box.bottom, down ? colors.pushedFace : colors.face);
        Frame(dc, box, colors.frame);
        SideTriangle(dc, RECT{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1}, left,
                     down ? colors.pushedText : colors.frame);
    }

    if (layout.thumbWidth > 0) {
        Fill(dc, thumbLeft, rect.top, thumbRight, rect.bottom, colors.face);
        Frame(dc, RECT{thumbLeft, rect.top, thumbRight, rect.bottom}, colors.frame);
        if (state & kFocused) {
            RECT focus{thumbLeft + kFocusInset, rect.top + kFocusInset, thumbRight - kFocusInset,
                       rect.bottom - kFocusInset};
            DrawFocusRect(dc, &focus);
        }
    }
}

void ComboField(HDC dc, const RECT &rect, const WCHAR *text, int length, int buttonWidth, unsigned state,
                const Colors &colors) {
    Fill(dc, rect.left, rect.top, rect.right, rect.bottom, colors.face);
    Frame(dc, rect, colors.frame);
    int buttonLeft = std::max<int>(rect.left, rect.right - buttonWidth);
    bool pushed = (state & kPushed) != 0;
    Fill(dc, buttonLeft, rect.top, buttonLeft + 1, rect.bottom, colors.frame);
    RECT button{buttonLeft + 1, rect.top + 1, rect.right - 1, rect.bottom - 1};
    if (pushed) Fill(dc, button.left, button.top, button.right, button.bottom, colors.pushedFace);
    DownTriangle(dc, button, pushed ? colors.pushedText : colors.frame);
    RECT field{rect.left + kTextPadding, rect.top, buttonLeft - 1, rect.bottom};
    bool focused = (state & kFocused) && !pushed;
    RECT lit{rect.left + kFocusInset, rect.top + kFocusInset, buttonLeft - 1, rect.bottom - kFocusInset};
    if (focused) Fill(dc, lit.left, lit.top, lit.right, lit.bottom, colors.highlight);
    Label(dc, field, text, length, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX,
          focused ? colors.highlightText : TextColor(state, colors));
    if (focused) DrawFocusRect(dc, &lit);
}

void ListRows(HDC dc, const RECT &rect, const std::u16string *items, int count, int first, int highlighted,
              int rowHeight, const Colors &colors) {
    Fill(dc, rect.left, rect.top, rect.right, rect.bottom, colors.face);
    Frame(dc, rect, colors.frame);
    if (!items || rowHeight <= 0) return;
    for (int i = std::max(first, 0), y = rect.top + 1; i < count && y < rect.bottom - 1; ++i, y += rowHeight) {
        int bottom = std::min<int>(y + rowHeight, rect.bottom - 1);
        bool lit = i == highlighted;
        if (lit) Fill(dc, rect.left + 1, y, rect.right - 1, bottom, colors.highlight);
        RECT cell{rect.left + kTextPadding, y, rect.right - 1, bottom};
        Label(dc, cell, items[i].data(), int(items[i].size()), DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX,
              lit ? colors.highlightText : colors.text);
    }
}

void StaticText(HDC dc, const RECT &rect, const WCHAR *text, int length, UINT format, const Colors &colors) {
    Fill(dc, rect.left, rect.top, rect.right, rect.bottom, colors.face);
    Label(dc, rect, text, length, format, colors.text);
}

}  // namespace controls::paint
