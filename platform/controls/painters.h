// Stateless painters for the platform's controls.
//
// Each painter draws one control from its rectangle (in the paint context's coordinates), a few state
// flags and a colour set; none of them reads window state, so each can be tested pixel by pixel. The
// look is the handheld's: flat faces, one-pixel black frames, white backgrounds, text in the font
// selected into the context (the system font unless the owner set another).
#pragma once

#include <windows.h>

#include <string>

namespace controls::paint {

struct Colors {
    COLORREF face;  // control faces and backgrounds
    COLORREF text;
    COLORREF frame;       // one-pixel frames, ticks, dots, arrows
    COLORREF pushedFace;  // a push button, arrow or page area while the stylus holds it
    COLORREF pushedText;
    COLORREF dimmed;     // the box of a check box or radio button while it is pushed
    COLORREF track;      // a scroll bar's page areas
    COLORREF highlight;  // the selected row of a drop-down list
    COLORREF highlightText;
    COLORREF disabledText;
};

// The handheld's default colours.
extern const Colors kColors;

// State flags.
constexpr unsigned kPushed = 1;   // the stylus is down inside the control
constexpr unsigned kChecked = 2;  // check boxes and radio buttons
constexpr unsigned kDisabled = 4;
constexpr unsigned kFocused = 8;  // the control has the keyboard focus: the focus rectangle shows it

// Sizes of the parts, in pixels.
constexpr int kCheckBoxSize = 12;   // the square of a check box
constexpr int kRadioSize = 12;      // the circle of a radio button
constexpr int kCaptionOffset = 17;  // left edge of a check box's or radio button's caption
constexpr int kGroupCaptionX = 7;   // left edge of a group box's caption
constexpr int kTextPadding = 3;     // left edge of the text in a combo field or list row

// A focused push button shows the focus rectangle two pixels inside its frame.
void PushButton(HDC dc, const RECT &rect, const WCHAR *text, int length, unsigned state, const Colors &colors);
// A check box (radio == false) or a radio button: the box at the left, vertically centred, the caption
// to its right; focused, the focus rectangle surrounds the caption.
void CheckBox(HDC dc, const RECT &rect, const WCHAR *text, int length, unsigned state, bool radio,
              const Colors &colors);
// A frame starting half a text line below the top, the caption over its top line, the inside blank.
void GroupBox(HDC dc, const RECT &rect, const WCHAR *text, int length, unsigned state, const Colors &colors);

// A horizontal scroll bar: its parts as pixel columns of the bar, left to right.
struct ScrollLayout {
    int arrow;       // width of each arrow button
    int thumbLeft;   // left edge of the thumb
    int thumbWidth;  // 0: no thumb (an empty range, or no room)
};
enum class ScrollPart { None, LeftArrow, LeftPage, Thumb, RightPage, RightArrow };
// With kFocused in `state` the focus rectangle is drawn inside the thumb.
void ScrollBar(HDC dc, const RECT &rect, const ScrollLayout &layout, ScrollPart pressed, const Colors &colors,
               unsigned state = 0);

// The closed field of a drop-down list: the text of the selection and the arrow button at the right;
// focused, the text stands on the highlight colour inside the focus rectangle.
void ComboField(HDC dc, const RECT &rect, const WCHAR *text, int length, int buttonWidth, unsigned state,
                const Colors &colors);
// The rows of a dropped list inside a one-pixel frame; `first` is the item in the top row and
// `highlighted` the item drawn in the highlight colours (-1 for none).
void ListRows(HDC dc, const RECT &rect, const std::u16string *items, int count, int first, int highlighted,
              int rowHeight, const Colors &colors);

// Static text on a white background, from the top; `format` holds the DrawTextW flags.
void StaticText(HDC dc, const RECT &rect, const WCHAR *text, int length, UINT format, const Colors &colors);

}  // namespace controls::paint
