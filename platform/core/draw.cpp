// Drawing: what a device context draws into, and the drawing calls other than text.
//
// Implements: window contexts drawing into the screen's framebuffer, only on the pixels the window
// owns and inside the context's clip (so every window clips its children and the windows above it),
// memory contexts drawing into their bitmap; Rectangle (the pen's one-pixel outline, right and bottom
// edges excluded), FillRect, SetPixel/GetPixel, LoadBitmapW, BitBlt with SRCCOPY, DrawIcon, and the
// framed box of the platform's pop-ups, DrawFocusRect (a dotted outline drawn by inverting pixels).
// Leaves out: raster operations other than SRCCOPY, lines, ellipses, polygons.
#include <algorithm>

#include "gdi.h"

namespace core {
namespace gdi {

bool MakeTarget(Dc *d, Target *t) {
    t->dc = d;
    if (!d->window) return d->bitmap != nullptr;
    t->window = FromHandle(d->window);
    if (!t->window) return false;
    t->slot = std::uint16_t(SlotOf(t->window));
    RECT r = ScreenRect(t->window);
    t->bounds = RECT{std::max<LONG>(r.left, 0), std::max<LONG>(r.top, 0), std::min<LONG>(r.right, kScreenW),
                     std::min<LONG>(r.bottom, kScreenH)};
    return true;
}

// Fills the span [x0, x1) of row y (context coordinates).
void Span(const Target &t, int y, int x0, int x1, std::uint32_t rgb) {
    Dc *d = t.dc;
    if (!d->window) {
        GdiObject *b = d->bitmap;
        if (y < 0 || y >= b->height) return;
        x0 = std::max(x0, 0);
        x1 = std::min(x1, b->width);
        for (int x = x0; x < x1; ++x) b->pixels[std::size_t(y) * b->width + x] = rgb;
        return;
    }
    int sy = y + d->origin.y;
    if (sy < t.bounds.top || sy >= t.bounds.bottom) return;
    int sx0 = std::max<int>(x0 + d->origin.x, t.bounds.left);
    int sx1 = std::min<int>(x1 + d->origin.x, t.bounds.right);
    if (sx0 >= sx1) return;
    std::uint32_t *fb = Framebuffer() + sy * kScreenW;
    const std::uint16_t *owner = OwnerMap() + sy * kScreenW;
    auto fill = [&](int a, int b) {
        for (int x = a; x < b; ++x)
            if (owner[x] == t.slot) fb[x] = rgb;
    };
    if (d->clip.empty()) {
        fill(sx0, sx1);
    } else {
        for (const RECT &c : d->clip)
            if (sy >= c.top && sy < c.bottom) fill(std::max<int>(sx0, c.left), std::min<int>(sx1, c.right));
    }
    MarkScreenDirty();
}

void Plot(const Target &t, int x, int y, std::uint32_t rgb) { Span(t, y, x, x + 1, rgb); }

bool ReadPixel(Dc *d, int x, int y, std::uint32_t *rgb) {
    if (!d->window) {
        GdiObject *b = d->bitmap;
        if (!b || x < 0 || y < 0 || x >= b->width || y >= b->height) return false;
        *rgb = b->pixels[std::size_t(y) * b->width + x];
        return true;
    }
    int sx = x + d->origin.x, sy = y + d->origin.y;
    if (sx < 0 || sy < 0 || sx >= kScreenW || sy >= kScreenH) return false;
    *rgb = Framebuffer()[sy * kScreenW + sx];
    return true;
}

void FillRectangle(const Target &t, RECT r, std::uint32_t rgb) {
    for (LONG y = r.top; y < r.bottom; ++y) Span(t, y, r.left, r.right, rgb);
}

}  // namespace gdi

using namespace gdi;

void FillSolid(HDC dc, const RECT &rect, COLORREF color) {
    Dc *d = DcFrom(dc);
    Target t;
    if (!d || !MakeTarget(d, &t)) return;
    FillRectangle(t, rect, ToRgb(color));
}

HDC BeginFramedBox(HWND window, PAINTSTRUCT *ps, RECT *client) {
    HDC dc = BeginPaint(window, ps);
    GetClientRect(window, client);
    Rectangle(dc, 0, 0, client->right, client->bottom);
    SetBkMode(dc, TRANSPARENT);
    return dc;
}

}  // namespace core

using namespace core;
using namespace core::gdi;

// ---- Drawing ----

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
    Dc *d = DcFrom(dc);
    Target t;
    if (!d || !MakeTarget(d, &t)) return FALSE;
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    if (right - left < 1 || bottom - top < 1) return TRUE;
    bool pen = d->pen && !d->pen->null;
    int inset = pen ? 1 : 0;
    if (d->brush && !d->brush->null)
        FillRectangle(t, RECT{left + inset, top + inset, right - inset, bottom - inset}, ToRgb(d->brush->color));
    if (pen) {
        std::uint32_t c = ToRgb(d->pen->color);
        Span(t, top, left, right, c);
        Span(t, bottom - 1, left, right, c);
        for (int y = top; y < bottom; ++y) {
            Plot(t, left, y, c);
            Plot(t, right - 1, y, c);
        }
    }
    return TRUE;
}

// The focus rectangle: every other pixel of the outline inverted, on the pixels whose coordinates add
// up to an even number, so drawing it twice takes it away again.
BOOL DrawFocusRect(HDC dc, const RECT *rect) {
    Dc *d = DcFrom(dc);
    Target t;
    if (!d || !rect || !MakeTarget(d, &t)) return FALSE;
    RECT r = *rect;
    if (r.right - r.left < 1 || r.bottom - r.top < 1) return TRUE;
    auto invert = [&](int x, int y) {
        std::uint32_t rgb;
        if (((x + y) & 1) == 0 && ReadPixel(d, x, y, &rgb)) Plot(t, x, y, rgb ^ 0xFFFFFF);
    };
    for (int x = r.left; x < r.right; ++x) {
        invert(x, r.top);
        if (r.bottom - 1 > r.top) invert(x, r.bottom - 1);
    }
    for (int y = r.top + 1; y < r.bottom - 1; ++y) {
        invert(r.left, y);
        if (r.right - 1 > r.left) invert(r.right - 1, y);
    }
    return TRUE;
}

int FillRect(HDC dc, const RECT *rect, HBRUSH brush) {
    Dc *d = DcFrom(dc);
    GdiObject *b = ObjectFrom(brush);
    Target t;
    if (!d || !rect || !b || b->kind != Kind::Brush || !MakeTarget(d, &t)) return 0;
    if (!b->null) FillRectangle(t, *rect, ToRgb(b->color));
    return 1;
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
    Dc *d = DcFrom(dc);
    Target t;
    if (!d || !MakeTarget(d, &t)) return 0xFFFFFFFF;
    Plot(t, x, y, ToRgb(color));
    return color & 0xFFFFFF;
}

COLORREF GetPixel(HDC dc, int x, int y) {
    Dc *d = DcFrom(dc);
    std::uint32_t rgb;
    if (!d || !ReadPixel(d, x, y, &rgb)) return 0xFFFFFFFF;
    return ToColorRef(rgb);
}

HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name) {
    res::Id id;
    if (!ResourceId(name, &id)) return nullptr;
    const res::Id type = res::Ordinal(2);  // RT_BITMAP
    res::Bytes data;
    res::Image image;
    if (!res::Find(ModuleResources(instance), type, id, &data) || !res::DecodeDib(data, &image)) return nullptr;
    return CreateBitmapFromImage(image);
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop) {
    Dc *d = DcFrom(dest);
    Dc *s = DcFrom(source);
    Target t;
    if (!d || !s || rop != SRCCOPY || !MakeTarget(d, &t)) return FALSE;
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            std::uint32_t rgb;
            if (ReadPixel(s, sourceX + col, sourceY + row, &rgb)) Plot(t, x + col, y + row, rgb);
        }
    return TRUE;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) {
    Dc *d = DcFrom(dc);
    Icon *i = IconFromHandle(icon);
    Target t;
    if (!d || !i || !MakeTarget(d, &t)) return FALSE;
    const res::Image &img = i->image;
    for (int row = 0; row < img.height; ++row)
        for (int col = 0; col < img.width; ++col) {
            std::size_t k = std::size_t(row) * img.width + col;
            if (k < img.mask.size() && img.mask[k]) continue;  // transparent
            Plot(t, x + col, y + row, img.pixels[k]);
        }
    return TRUE;
}
