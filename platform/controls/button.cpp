// The "button" control class: push buttons, check boxes, radio buttons and group boxes.
//
// Implements: the pushed look while the stylus is down inside a button (capture held from stylus-down,
// moving off un-pushes, moving back re-pushes), BN_CLICKED to the parent on stylus-up inside only;
// check marks that change only through BM_SETCHECK (which repaints and notifies nobody), BM_GETCHECK,
// BM_GETSTATE/BM_SETSTATE; group boxes that paint their frame and blank inside and are transparent to
// the stylus, so taps reach the radio buttons inside; WM_SETTEXT repaints; WM_SETFONT/WM_GETFONT.
// The keyboard: a tapped button takes the focus, and the focused button shows the focus rectangle;
// Space pushes it and its release clicks it (BN_CLICKED), a default push button clicks on Return; the
// arrows move the focus through a radio button's group, and a radio button that gets the focus other
// than by the stylus is clicked, so the owner checks it; BM_CLICK clicks a button from code (as the
// accessibility actions do); WM_GETDLGCODE tells the dialog manager which keys it wants.
// Leaves out: automatic check boxes and radio buttons (drawn as the plain kinds; the owner sets their
// marks), three-state boxes, owner-drawn buttons.
#include "common.h"
#include "painters.h"

namespace controls {
namespace {

enum class Kind { Push, Check, Radio, Group };

struct Button {
    Kind kind = Kind::Push;
    bool checked = false;
    bool pushed = false;     // drawn pushed
    bool tracking = false;   // the stylus went down on the button and has not come up yet
    bool spaceDown = false;  // Space went down on the button and has not come up yet
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
    core::AccessChanged(core::FromHandle(window), a11y::Change::State);
}

void Paint(HWND window, Button *b) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    SelectControlFont(dc, b->font);
    RECT r = ClientRectOf(window);
    const std::u16string &text = TextOf(window);
    unsigned state = (b->pushed ? paint::kPushed : 0) | (b->checked ? paint::kChecked : 0) |
                     (IsWindowEnabled(window) ? 0 : paint::kDisabled) |
                     (GetFocus() == window && b->kind != Kind::Group ? paint::kFocused : 0);
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

void Click(HWND window, Button *b) {
    if (b->kind == Kind::Group || !IsWindowEnabled(window)) return;
    NotifyParent(window, BN_CLICKED);
}

void KeyDown(HWND window, Button *b, WPARAM key) {
    if (b->kind == Kind::Group) return;
    if (key == VK_SPACE && !b->tracking) {
        b->spaceDown = true;
        SetPushed(window, b, true);
        return;
    }
    DWORD style = DWORD(GetWindowLongW(window, GWL_STYLE));
    if (key == VK_RETURN && b->kind == Kind::Push && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
        Click(window, b);
        return;
    }
    if (b->kind == Kind::Radio && (key == VK_LEFT || key == VK_UP || key == VK_RIGHT || key == VK_DOWN)) {
        HWND next = GetNextDlgGroupItem(GetParent(window), window, key == VK_LEFT || key == VK_UP);
        if (next && next != window) SetFocus(next);
    }
}

void KeyUp(HWND window, Button *b, WPARAM key) {
    if (key != VK_SPACE || !b->spaceDown) return;
    b->spaceDown = false;
    SetPushed(window, b, false);
    Click(window, b);
}

void FocusChanged(HWND window, Button *b, bool gained) {
    InvalidateRect(window, nullptr, FALSE);
    if (!gained) {
        // Space let go elsewhere: the press is abandoned without a click.
        if (b->spaceDown) {
            b->spaceDown = false;
            SetPushed(window, b, false);
        }
        return;
    }
    // A radio button reached by the keyboard (not under the stylus) is chosen as it gets the focus.
    if (b->kind == Kind::Radio && !b->checked && GetCapture() != window) Click(window, b);
}

UINT DialogCode(HWND window, const Button *b) {
    DWORD style = DWORD(GetWindowLongW(window, GWL_STYLE));
    switch (b->kind) {
    case Kind::Group: return DLGC_STATIC;
    case Kind::Radio: return DLGC_BUTTON | DLGC_RADIOBUTTON;
    case Kind::Check: return DLGC_BUTTON;
    case Kind::Push:
        return DLGC_BUTTON | ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    }
    return 0;
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
    case WM_KEYDOWN: KeyDown(window, b, wParam); return 0;
    case WM_KEYUP: KeyUp(window, b, wParam); return 0;
    case WM_SETFOCUS: FocusChanged(window, b, true); return 0;
    case WM_KILLFOCUS: FocusChanged(window, b, false); return 0;
    case WM_GETDLGCODE: return DialogCode(window, b);
    case BM_CLICK: Click(window, b); return 0;
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
            core::AccessChanged(core::FromHandle(window), a11y::Change::State);
        }
        return 0;
    }
    case BM_GETSTATE:
        return (b->checked ? BST_CHECKED : BST_UNCHECKED) | (b->pushed ? BST_PUSHED : 0) |
               (GetFocus() == window ? BST_FOCUS : 0);
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
