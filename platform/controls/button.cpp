// The "button" control class: push buttons, check boxes, radio buttons and group boxes.
//
// Implements: the pushed look while the stylus is down inside a button (capture held from stylus-down,
// moving off un-pushes, moving back re-pushes), BN_CLICKED to the parent on stylus-up inside only;
// check marks that change only through BM_SETCHECK (which repaints and notifies nobody), BM_GETCHECK,
// BM_GETSTATE/BM_SETSTATE; group boxes that paint their frame and blank inside and are transparent to
// the stylus, so taps reach the radio buttons inside; WM_SETTEXT repaints; WM_SETFONT/WM_GETFONT.
// Leaves out: automatic check boxes and radio buttons (drawn as the plain kinds; the owner sets their
// marks), three-state boxes, owner-drawn buttons, keyboard operation.
#include "common.h"
#include "painters.h"

namespace controls {
namespace {

enum class Kind { Push, Check, Radio, Group };

struct Button {
    Kind kind = Kind::Push;
    bool checked = false;
    bool pushed = false;    // drawn pushed
    bool tracking = false;  // the stylus went down on the button and has not come up yet
    HFONT font = nullptr;
};

Kind KindOf(DWORD style) {
    switch (style & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX: return Kind::Check;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: return Kind::Radio;
    case BS_GROUPBOX: return Kind::Group;
    default: return Kind::Push;
    }
}

void SetPushed(HWND window, Button *b, bool pushed) {
    if (b->pushed == pushed) return;
    b->pushed = pushed;
    InvalidateRect(window, nullptr, FALSE);
}

void Paint(HWND window, Button *b) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    SelectControlFont(dc, b->font);
    RECT r = ClientRectOf(window);
    const std::u16string &text = TextOf(window);
    unsigned state = (b->pushed ? paint::kPushed : 0) | (b->checked ? paint::kChecked : 0) |
                     (IsWindowEnabled(window) ? 0 : paint::kDisabled);
    switch (b->kind) {
    case Kind::Push: paint::PushButton(dc, r, text.data(), int(text.size()), state, paint::kColors); break;
    case Kind::Check: paint::CheckBox(dc, r, text.data(), int(text.size()), state, false, paint::kColors); break;
    case Kind::Radio: paint::CheckBox(dc, r, text.data(), int(text.size()), state, true, paint::kColors); break;
    case Kind::Group: paint::GroupBox(dc, r, text.data(), int(text.size()), state, paint::kColors); break;
    }
    EndPaint(window, &ps);
}

void StylusDown(HWND window, Button *b) {
    if (b->kind == Kind::Group) return;
    b->tracking = true;
    SetCapture(window);
    SetFocus(window);
    SetPushed(window, b, true);
}

void StylusMove(HWND window, Button *b, LPARAM point) {
    if (b->tracking) SetPushed(window, b, InClient(window, point));
}

void StylusUp(HWND window, Button *b, LPARAM point) {
    if (!b->tracking) return;
    b->tracking = false;
    SetPushed(window, b, false);
    ReleaseCapture();
    // The click is reported after the capture is released, and only when the stylus left the glass
    // inside the button.
    if (InClient(window, point)) NotifyParent(window, BN_CLICKED);
}

}  // namespace

LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        Button *b = Attach<Button>(window);
        if (!b) return -1;
        auto *cs = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        b->kind = KindOf(cs ? DWORD(cs->style) : 0);
        return 0;
    }
    Button *b = StateOf<Button>(window);
    if (!b) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY: Detach<Button>(window); return 0;
    case WM_PAINT: Paint(window, b); return 0;
    case WM_ERASEBKGND: return 1;  // the paint covers every pixel
    case WM_NCHITTEST: return b->kind == Kind::Group ? HTTRANSPARENT : HTCLIENT;
    case WM_LBUTTONDOWN: StylusDown(window, b); return 0;
    case WM_MOUSEMOVE: StylusMove(window, b, lParam); return 0;
    case WM_LBUTTONUP: StylusUp(window, b, lParam); return 0;
    case WM_CAPTURECHANGED:
        // Someone else took the stylus: the press is abandoned without a click.
        if (b->tracking) {
            b->tracking = false;
            SetPushed(window, b, false);
        }
        return 0;
    case WM_ENABLE: InvalidateRect(window, nullptr, FALSE); return 0;
    case WM_SETTEXT: {
        LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        InvalidateRect(window, nullptr, FALSE);
        return result;
    }
    case BM_GETCHECK: return b->checked ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK: {
        if (b->kind != Kind::Check && b->kind != Kind::Radio) return 0;
        bool checked = wParam != BST_UNCHECKED;
        if (checked != b->checked) {
            b->checked = checked;
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    }
    case BM_GETSTATE: return (b->checked ? BST_CHECKED : BST_UNCHECKED) | (b->pushed ? BST_PUSHED : 0);
    case BM_SETSTATE: SetPushed(window, b, wParam != 0); return 0;
    case WM_SETFONT:
        b->font = reinterpret_cast<HFONT>(wParam);
        if (lParam) InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(b->font);
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace controls
