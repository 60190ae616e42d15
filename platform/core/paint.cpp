// The update region and painting.
//
// Implements: InvalidateRect, ValidateRect, GetUpdateRect, UpdateWindow, BeginPaint and EndPaint. The
// update region is a union of rectangles (merged into their bounding box past a capacity); the paint
// context is clipped to it and to the pixels the window owns on screen, and BeginPaint validates it.
// The navigation bar's repaint is asked for here too: the windows, the messages and the dialogs ask for
// it when the title, the "ok" or the speaker it shows changes.
// Leaves out: regions as objects, GetUpdateRgn, RedrawWindow.
#include <algorithm>

#include "gdi.h"

namespace core {
namespace {

HWND g_navBar = nullptr;

}  // namespace

void SetNavigationBar(HWND bar) { g_navBar = bar; }
HWND NavigationBar() { return g_navBar; }

void NavBarChanged() {
    if (g_navBar) InvalidateRect(g_navBar, nullptr, FALSE);
}

void AddUpdateRect(Window *w, const RECT &clientRect, bool erase) {
    RECT client{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    RECT r{std::max(clientRect.left, client.left), std::max(clientRect.top, client.top),
           std::min(clientRect.right, client.right), std::min(clientRect.bottom, client.bottom)};
    if (r.right <= r.left || r.bottom <= r.top) return;
    if (erase) w->erase = true;
    for (const RECT &u : w->update)
        if (r.left >= u.left && r.top >= u.top && r.right <= u.right && r.bottom <= u.bottom) return;
    if (int(w->update.size()) >= kMaxUpdateRects) {
        RECT b = r;
        for (const RECT &u : w->update) {
            b.left = std::min(b.left, u.left);
            b.top = std::min(b.top, u.top);
            b.right = std::max(b.right, u.right);
            b.bottom = std::max(b.bottom, u.bottom);
        }
        w->update.assign(1, b);
        return;
    }
    w->update.push_back(r);
}

}  // namespace core

using namespace core;
using namespace core::gdi;

// ---- Invalidation and painting ----

BOOL InvalidateRect(HWND handle, const RECT *rect, BOOL erase) {
    Window *w = FromHandle(handle);
    if (!w || w->remote) return FALSE;
    RECT r = rect ? *rect : RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    AddUpdateRect(w, r, erase != FALSE);
    return TRUE;
}

BOOL ValidateRect(HWND handle, const RECT *rect) {
    Window *w = FromHandle(handle);
    if (!w) return FALSE;
    if (!rect) {
        w->update.clear();
        w->erase = false;
        return TRUE;
    }
    // Only whole update rectangles inside the given one are dropped.
    auto inside = [&](const RECT &u) {
        return u.left >= rect->left && u.top >= rect->top && u.right <= rect->right && u.bottom <= rect->bottom;
    };
    w->update.erase(std::remove_if(w->update.begin(), w->update.end(), inside), w->update.end());
    return TRUE;
}

BOOL GetUpdateRect(HWND handle, LPRECT rect, BOOL) {
    Window *w = FromHandle(handle);
    if (!w) return FALSE;
    RECT b{0, 0, 0, 0};
    for (std::size_t i = 0; i < w->update.size(); ++i) {
        const RECT &u = w->update[i];
        if (i == 0)
            b = u;
        else
            b = RECT{std::min(b.left, u.left), std::min(b.top, u.top), std::max(b.right, u.right),
                     std::max(b.bottom, u.bottom)};
    }
    if (rect) *rect = b;
    return w->update.empty() ? FALSE : TRUE;
}

BOOL UpdateWindow(HWND handle) {
    Window *w = FromHandle(handle);
    if (!w || w->remote) return FALSE;
    // The paint goes straight to the window, past the queue.
    if (IsVisible(w) && !w->update.empty()) SendMessageW(handle, WM_PAINT, 0, 0);
    return TRUE;
}

HDC BeginPaint(HWND handle, PAINTSTRUCT *paint) {
    Window *w = FromHandle(handle);
    if (!w || w->remote || !paint) return nullptr;
    Dc *d = NewDc();
    d->window = handle;
    d->paint = true;
    RECT sr = ScreenRect(w);
    d->origin = POINT{sr.left, sr.top};
    RECT bound{0, 0, 0, 0};
    for (std::size_t i = 0; i < w->update.size(); ++i) {
        const RECT &u = w->update[i];
        d->clip.push_back(RECT{u.left + sr.left, u.top + sr.top, u.right + sr.left, u.bottom + sr.top});
        bound = i == 0 ? u
                       : RECT{std::min(bound.left, u.left), std::min(bound.top, u.top), std::max(bound.right, u.right),
                              std::max(bound.bottom, u.bottom)};
    }
    if (d->clip.empty()) d->clip.push_back(RECT{0, 0, 0, 0});  // nothing to paint: draw nothing
    bool erase = w->erase;
    w->update.clear();
    w->erase = false;
    *paint = PAINTSTRUCT{};
    paint->hdc = reinterpret_cast<HDC>(d);
    paint->rcPaint = bound;
    paint->fErase = FALSE;
    if (erase) paint->fErase = SendMessageW(handle, WM_ERASEBKGND, WPARAM(d), 0) ? FALSE : TRUE;
    return reinterpret_cast<HDC>(d);
}

BOOL EndPaint(HWND, const PAINTSTRUCT *paint) {
    if (!paint) return FALSE;
    if (Dc *d = DcFrom(paint->hdc)) FreeDc(d);
    return TRUE;
}
