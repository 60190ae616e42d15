// The "scrollbar" control class: a horizontal scroll-bar control (SB_CTL, SBS_HORZ).
//
// Implements: SBM_SETRANGE, SBM_GETRANGE, SBM_SETPOS (clamped into the range, returns the previous
// position), SBM_GETPOS; WM_HSCROLL to the parent with wParam = MAKEWPARAM(code, position) and lParam =
// the control: SB_LINELEFT/SB_LINERIGHT on the arrows and SB_PAGELEFT/SB_PAGERIGHT on the track either
// side of the thumb, at stylus-down and then repeated (first after 200 ms, then every 50 ms) while the
// stylus stays on that part; SB_THUMBTRACK at stylus-down on the thumb and at each move that changes
// the value, SB_THUMBPOSITION with the final value at release; SB_ENDSCROLL at every release. Dragging
// far outside the bar puts the thumb back at its starting value. The bar never moves its own position:
// the owner answers with SBM_SETPOS; only the thumb being dragged follows the stylus.
// The keyboard: a tapped bar takes the focus, shown by the focus rectangle inside its thumb; the focused
// bar reports Left/Up as SB_LINELEFT, Right/Down as SB_LINERIGHT, Page Up/Page Down as SB_PAGELEFT/
// SB_PAGERIGHT, Home/End as SB_LEFT/SB_RIGHT, and the release of any of these keys as SB_ENDSCROLL.
// Leaves out: vertical bars, page sizes (the thumb is as wide as an arrow), disabling single arrows,
// the blinking of the focused thumb (it shows the focus rectangle steadily). A bar with an empty range
// shows no thumb and ignores the stylus and the keys.
#include <algorithm>
#include <cstdint>

#include "common.h"
#include "painters.h"

namespace controls {
namespace {

constexpr UINT_PTR kRepeatTimer = 1;
constexpr UINT kFirstRepeatMs = 200;
constexpr UINT kRepeatMs = 50;
// A dragged thumb snaps back when the stylus goes this many bar-thicknesses above or below the bar,
// or two to either side of it.
constexpr int kDragReachAcross = 8;
constexpr int kDragReachAlong = 2;

using paint::ScrollLayout;
using paint::ScrollPart;

struct ScrollBar {
    int minimum = 0, maximum = 0, position = 0;
    // Stylus tracking.
    ScrollPart held = ScrollPart::None;  // the part the stylus went down on
    bool inside = false;                 // the stylus is on that part now
    bool repeating = false;              // the first repeat has happened
    LPARAM lastPoint = 0;
    // Thumb dragging.
    int grab = 0;       // stylus x minus the thumb's left edge at stylus-down
    int dragPixel = 0;  // the dragged thumb's left edge
    int dragValue = 0;  // the value last reported
    int startValue = 0;
    bool snappedBack = false;
};

bool EmptyRange(const ScrollBar *s) { return s->maximum <= s->minimum; }

std::int64_t Span(const ScrollBar *s) { return std::int64_t(s->maximum) - s->minimum; }

ScrollLayout Layout(const RECT &client, const ScrollBar *s) {
    int width = client.right - client.left, height = client.bottom - client.top;
    ScrollLayout l{};
    l.arrow = std::max(0, std::min(height, width / 2));
    int room = width - 2 * l.arrow;
    if (EmptyRange(s) || room < l.arrow || l.arrow == 0) return l;  // no thumb
    l.thumbWidth = l.arrow;
    int track = room - l.thumbWidth;
    std::int64_t offset = (std::int64_t(track) * (s->position - s->minimum) + Span(s) / 2) / Span(s);
    l.thumbLeft = l.arrow + int(std::clamp<std::int64_t>(offset, 0, track));
    return l;
}

int TrackLength(const RECT &client, const ScrollLayout &l) {
    return client.right - client.left - 2 * l.arrow - l.thumbWidth;
}

// The value for a thumb whose left edge is at `pixel`.
int ValueAt(const RECT &client, const ScrollLayout &l, const ScrollBar *s, int pixel) {
    int track = TrackLength(client, l);
    if (track <= 0) return s->minimum;
    std::int64_t offset = std::clamp(pixel - l.arrow, 0, track);
    return int(s->minimum + (offset * Span(s) + track / 2) / track);
}

ScrollPart PartAt(const RECT &client, const ScrollLayout &l, int x, int y) {
    if (y < client.top || y >= client.bottom || x < client.left || x >= client.right) return ScrollPart::None;
    if (x < l.arrow) return ScrollPart::LeftArrow;
    if (x >= client.right - l.arrow) return ScrollPart::RightArrow;
    if (l.thumbWidth == 0) return ScrollPart::None;
    if (x < l.thumbLeft) return ScrollPart::LeftPage;
    if (x < l.thumbLeft + l.thumbWidth) return ScrollPart::Thumb;
    return ScrollPart::RightPage;
}

bool WithinDragReach(const RECT &client, int x, int y) {
    int thickness = client.bottom - client.top;
    return x >= client.left - kDragReachAlong * thickness && x < client.right + kDragReachAlong * thickness &&
           y >= client.top - kDragReachAcross * thickness && y < client.bottom + kDragReachAcross * thickness;
}

int CodeOf(ScrollPart part) {
    switch (part) {
    case ScrollPart::LeftArrow: return SB_LINELEFT;
    case ScrollPart::RightArrow: return SB_LINERIGHT;
    case ScrollPart::LeftPage: return SB_PAGELEFT;
    case ScrollPart::RightPage: return SB_PAGERIGHT;
    default: return SB_ENDSCROLL;
    }
}

void Report(HWND window, int code, int position) {
    HWND parent = GetParent(window);
    if (parent) SendMessageW(parent, WM_HSCROLL, MAKEWPARAM(code, position), reinterpret_cast<LPARAM>(window));
}

void Paint(HWND window, ScrollBar *s) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client = ClientRectOf(window);
    ScrollLayout l = Layout(client, s);
    if (s->held == ScrollPart::Thumb) l.thumbLeft = s->dragPixel;
    ScrollPart pressed = s->held != ScrollPart::Thumb && s->inside ? s->held : ScrollPart::None;
    paint::ScrollBar(dc, client, l, pressed, paint::kColors, GetFocus() == window ? paint::kFocused : 0);
    EndPaint(window, &ps);
}

void StylusDown(HWND window, ScrollBar *s, LPARAM point) {
    RECT client = ClientRectOf(window);
    ScrollLayout l = Layout(client, s);
    int x = GET_X_LPARAM(point), y = GET_Y_LPARAM(point);
    ScrollPart part = EmptyRange(s) ? ScrollPart::None : PartAt(client, l, x, y);
    if (part == ScrollPart::None) return;
    SetFocus(window);
    s->held = part;
    s->inside = true;
    s->repeating = false;
    s->lastPoint = point;
    SetCapture(window);
    InvalidateRect(window, nullptr, FALSE);
    if (part == ScrollPart::Thumb) {
        s->grab = x - l.thumbLeft;
        s->dragPixel = l.thumbLeft;
        s->startValue = s->dragValue = s->position;
        s->snappedBack = false;
        Report(window, SB_THUMBTRACK, s->dragValue);
        return;
    }
    SetTimer(window, kRepeatTimer, kFirstRepeatMs, nullptr);
    Report(window, CodeOf(part), 0);
}

void StylusMove(HWND window, ScrollBar *s, LPARAM point) {
    if (s->held == ScrollPart::None) return;
    s->lastPoint = point;
    RECT client = ClientRectOf(window);
    ScrollLayout l = Layout(client, s);
    int x = GET_X_LPARAM(point), y = GET_Y_LPARAM(point);
    if (s->held != ScrollPart::Thumb) {
        bool inside = PartAt(client, l, x, y) == s->held;
        if (inside != s->inside) {
            s->inside = inside;
            InvalidateRect(window, nullptr, FALSE);
        }
        return;
    }
    int pixel, value;
    if (WithinDragReach(client, x, y)) {
        int track = TrackLength(client, l);
        pixel = std::clamp(x - s->grab, l.arrow, l.arrow + std::max(track, 0));
        value = ValueAt(client, l, s, pixel);
    } else {
        value = s->startValue;
        ScrollBar start = *s;
        start.position = s->startValue;
        pixel = Layout(client, &start).thumbLeft;
    }
    if (pixel != s->dragPixel) {
        s->dragPixel = pixel;
        InvalidateRect(window, nullptr, FALSE);
    }
    if (value != s->dragValue) {
        s->dragValue = value;
        Report(window, SB_THUMBTRACK, value);
    }
}

// Ends a gesture; `report` is false when the capture was taken away instead of the stylus lifting.
void EndTracking(HWND window, ScrollBar *s, bool report) {
    ScrollPart held = s->held;
    if (held == ScrollPart::None) return;
    s->held = ScrollPart::None;
    s->inside = false;
    KillTimer(window, kRepeatTimer);
    InvalidateRect(window, nullptr, FALSE);
    if (GetCapture() == window) ReleaseCapture();
    if (!report) return;
    int finalValue = s->dragValue;
    if (held == ScrollPart::Thumb) Report(window, SB_THUMBPOSITION, finalValue);
    if (IsWindow(window)) Report(window, SB_ENDSCROLL, 0);
}

void RepeatTick(HWND window, ScrollBar *s) {
    if (s->held == ScrollPart::None || s->held == ScrollPart::Thumb) {
        KillTimer(window, kRepeatTimer);
        return;
    }
    if (!s->repeating) {
        s->repeating = true;
        SetTimer(window, kRepeatTimer, kRepeatMs, nullptr);
    }
    // The owner may have moved the thumb under the stylus since the last step: ask again where it is.
    RECT client = ClientRectOf(window);
    ScrollLayout l = Layout(client, s);
    bool inside = PartAt(client, l, GET_X_LPARAM(s->lastPoint), GET_Y_LPARAM(s->lastPoint)) == s->held;
    if (inside != s->inside) {
        s->inside = inside;
        InvalidateRect(window, nullptr, FALSE);
    }
    if (inside) Report(window, CodeOf(s->held), 0);
}

int SetPosition(HWND window, ScrollBar *s, int position, bool redraw) {
    int previous = s->position;
    s->position = std::clamp(position, s->minimum, std::max(s->minimum, s->maximum));
    if (redraw && s->position != previous) InvalidateRect(window, nullptr, FALSE);
    if (s->position != previous) core::AccessChanged(core::FromHandle(window), a11y::Change::Value);
    return previous;
}

// The request a key makes of the owner, or -1 for a key the bar does not answer.
int KeyCode(WPARAM key) {
    switch (key) {
    case VK_LEFT:
    case VK_UP: return SB_LINELEFT;
    case VK_RIGHT:
    case VK_DOWN: return SB_LINERIGHT;
    case VK_PRIOR: return SB_PAGELEFT;
    case VK_NEXT: return SB_PAGERIGHT;
    case VK_HOME: return SB_LEFT;
    case VK_END: return SB_RIGHT;
    default: return -1;
    }
}

void Key(HWND window, ScrollBar *s, WPARAM key, bool down) {
    int code = KeyCode(key);
    if (code < 0 || EmptyRange(s) || s->held != ScrollPart::None) return;
    Report(window, down ? code : SB_ENDSCROLL, 0);
}

}  // namespace

LRESULT CALLBACK ScrollBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return Attach<ScrollBar>(window) ? 0 : -1;
    ScrollBar *s = StateOf<ScrollBar>(window);
    if (!s) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY: Detach<ScrollBar>(window); return 0;
    case WM_PAINT: Paint(window, s); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN: StylusDown(window, s, lParam); return 0;
    case WM_MOUSEMOVE: StylusMove(window, s, lParam); return 0;
    case WM_LBUTTONUP: EndTracking(window, s, true); return 0;
    case WM_CAPTURECHANGED: EndTracking(window, s, false); return 0;
    case WM_KEYDOWN: Key(window, s, wParam, true); return 0;
    case WM_KEYUP: Key(window, s, wParam, false); return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRect(window, nullptr, FALSE); return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_TIMER:
        if (wParam == kRepeatTimer) RepeatTick(window, s);
        return 0;
    case SBM_SETPOS: return SetPosition(window, s, int(wParam), lParam != 0);
    case SBM_GETPOS: return s->position;
    case SBM_SETRANGE: {
        // A reversed range, or one wider than the position can count, leaves the bar empty.
        std::int64_t low = int(wParam), high = int(lParam);
        if (low > high || high - low > 0x7FFFFFFF) low = high = 0;
        s->minimum = int(low);
        s->maximum = int(high);
        return SetPosition(window, s, s->position, false);
    }
    case SBM_GETRANGE:
        if (auto *low = reinterpret_cast<int *>(wParam)) *low = s->minimum;
        if (auto *high = reinterpret_cast<int *>(lParam)) *high = s->maximum;
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace controls
