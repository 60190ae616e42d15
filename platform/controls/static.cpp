// The "static" control class: text and icons.
//
// Implements: SS_LEFT, SS_CENTER and SS_RIGHT text from the top of the control, words wrapped to its
// width, hard line breaks kept with the spaces that begin the next line, SS_NOPREFIX; SS_ICON, whose
// title names an icon resource (an integer name comes in CREATESTRUCTW::lpszName at creation) drawn at
// the top-left, the control taking the icon's size; STM_SETICON, STM_GETICON; black text on white;
// WM_SETTEXT repaints; WM_SETFONT/WM_GETFONT; taps pass through to the window beneath.
// Leaves out: bitmaps, frames and rectangles (SS_BLACKRECT ...), notifications (SS_NOTIFY),
// WM_CTLCOLORSTATIC, ellipsis styles.
#include "common.h"
#include "painters.h"

namespace controls {
namespace {

struct Static {
    bool icon = false;  // SS_ICON
    HICON image = nullptr;
    UINT format = 0;  // DrawTextW flags for text
    HFONT font = nullptr;
};

// The size of an icon in pixels, or false when the handle is not an icon.
bool IconSize(HICON icon, int *width, int *height) {
    core::Icon *i = core::IconFromHandle(icon);
    if (!i) return false;
    *width = i->image.width;
    *height = i->image.height;
    return true;
}

// Takes the size of the icon, keeping the top-left corner where it is.
void FitToIcon(HWND window, HICON icon) {
    int width, height;
    core::Window *w = core::FromHandle(window);
    if (!w || !IconSize(icon, &width, &height)) return;
    MoveWindow(window, w->rect.left, w->rect.top, width, height, TRUE);
}

void Create(HWND window, Static *s, const CREATESTRUCTW *cs) {
    DWORD style = DWORD(cs->style);
    DWORD type = style & SS_TYPEMASK;
    if (type == SS_ICON) {
        s->icon = true;
        if (cs->lpszName && (IS_INTRESOURCE(cs->lpszName) || cs->lpszName[0]))
            s->image = LoadIconW(cs->hInstance, cs->lpszName);
        if (s->image) FitToIcon(window, s->image);
        return;
    }
    s->format = DT_WORDBREAK | DT_EXPANDTABS | DT_TOP;
    if (type == SS_CENTER)
        s->format |= DT_CENTER;
    else if (type == SS_RIGHT)
        s->format |= DT_RIGHT;
    if (style & SS_NOPREFIX) s->format |= DT_NOPREFIX;
}

void Paint(HWND window, const Static *s) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    SelectControlFont(dc, s->font);
    RECT r = ClientRectOf(window);
    if (s->icon) {
        paint::StaticText(dc, r, nullptr, 0, 0, paint::kColors);
        if (s->image) DrawIcon(dc, 0, 0, s->image);
    } else {
        const std::u16string &text = TextOf(window);
        paint::StaticText(dc, r, text.data(), int(text.size()), s->format, paint::kColors);
    }
    EndPaint(window, &ps);
}

}  // namespace

LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        Static *s = Attach<Static>(window);
        auto *cs = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        if (!s || !cs) return -1;
        Create(window, s, cs);
        return 0;
    }
    Static *s = StateOf<Static>(window);
    if (!s) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY: Detach<Static>(window); return 0;
    case WM_PAINT: Paint(window, s); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_NCHITTEST: return HTTRANSPARENT;  // taps pass to the window beneath (no SS_NOTIFY here)
    case WM_GETDLGCODE: return DLGC_STATIC;   // never takes the focus
    case WM_SETTEXT: {
        LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        InvalidateRect(window, nullptr, FALSE);
        return result;
    }
    case STM_SETICON: {
        auto icon = reinterpret_cast<HICON>(wParam);
        HICON previous = s->image;
        if (!s->icon || (icon && !core::IconFromHandle(icon))) return 0;  // not an icon control, or not an icon
        s->image = icon;
        if (icon) FitToIcon(window, icon);
        InvalidateRect(window, nullptr, FALSE);
        return reinterpret_cast<LRESULT>(previous);
    }
    case STM_GETICON: return reinterpret_cast<LRESULT>(s->image);
    case WM_SETFONT:
        s->font = reinterpret_cast<HFONT>(wParam);
        if (lParam) InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s->font);
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace controls
