// Invalidation, painting and the GDI subset.
//
// Implements: InvalidateRect, ValidateRect, GetUpdateRect, UpdateWindow, BeginPaint and EndPaint (the
// paint context is clipped to the update region, which is a union of rectangles, and to the pixels the
// window owns on screen, so every window clips its children), GetDC/ReleaseDC, memory contexts with
// bitmaps, solid brushes and pens, stock objects, SetBkColor/SetTextColor/SetBkMode, Rectangle (the
// pen's one-pixel outline, right and bottom edges excluded), FillRect, SetPixel/GetPixel, DrawTextW
// (single line with centring, or word-wrapped lines with hard breaks that keep their leading spaces),
// GetTextExtentPoint32W, LoadBitmapW, BitBlt with SRCCOPY, DrawIcon.
// A fresh context has the platform's defaults: black pen, white brush, system font, opaque background
// mode, white background, black text. Brushes, pens, bitmaps and memory contexts are counted while they
// live, so a test can prove that painting leaks nothing.
// Leaves out: regions as objects, raster operations other than SRCCOPY, mapping modes, wide pens.
#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>

#include "core.h"
#include "font.h"

namespace core {
namespace {

enum class Kind { Brush, Pen, Bitmap, Font };
constexpr std::uint32_t kObjectMagic = 0x47444930;
constexpr std::uint32_t kDcMagic = 0x44433030;

struct GdiObject {
    std::uint32_t magic = kObjectMagic;
    Kind kind;
    bool stock = false;
    bool null = false;            // NULL_BRUSH, NULL_PEN
    COLORREF color = 0;
    int width = 0, height = 0;    // bitmaps
    std::vector<std::uint32_t> pixels;
    font::Style font;
};

struct Dc {
    std::uint32_t magic = kDcMagic;
    HWND window = nullptr;        // null for a memory context
    bool paint = false;
    std::vector<RECT> clip;       // screen coordinates; empty = the whole window
    POINT origin{};               // screen position of client (0, 0)
    COLORREF text = 0;
    COLORREF bk = 0xFFFFFF;
    int bkMode = OPAQUE;
    GdiObject *brush = nullptr;
    GdiObject *pen = nullptr;
    GdiObject *bitmap = nullptr;
    GdiObject *font = nullptr;
};

std::unordered_set<const GdiObject *> g_objects;   // created, not deleted (stock ones excluded)
std::unordered_set<const Dc *> g_dcs;               // live contexts
int g_memoryDcs = 0;

GdiObject *MakeStock(Kind kind, COLORREF color, bool null = false) {
    auto *o = new GdiObject;
    o->kind = kind;
    o->stock = true;
    o->color = color;
    o->null = null;
    return o;
}

GdiObject *Stock(int which) {
    static GdiObject *objects[] = {
        MakeStock(Kind::Brush, 0xFFFFFF), MakeStock(Kind::Brush, 0xC0C0C0), MakeStock(Kind::Brush, 0x808080),
        MakeStock(Kind::Brush, 0x404040), MakeStock(Kind::Brush, 0x000000), MakeStock(Kind::Brush, 0, true),
        MakeStock(Kind::Pen, 0xFFFFFF),   MakeStock(Kind::Pen, 0x000000),   MakeStock(Kind::Pen, 0, true),
    };
    if (which >= 0 && which <= NULL_PEN) return objects[which];
    return nullptr;
}

GdiObject *StockBitmap() {
    static GdiObject *b = [] {
        auto *o = MakeStock(Kind::Bitmap, 0);
        o->width = o->height = 1;
        o->pixels.assign(1, 0);
        return o;
    }();
    return b;
}

GdiObject *ObjectFrom(HGDIOBJ h) {
    auto *o = static_cast<GdiObject *>(h);
    if (!o) return nullptr;
    if (g_objects.count(o)) return o;
    for (int i = 0; i <= NULL_PEN; ++i)
        if (Stock(i) == o) return o;
    if (o == StockBitmap()) return o;
    for (bool bold : {false, true})
        if (static_cast<GdiObject *>(SystemFont(bold)) == o) return o;
    return o->magic == kObjectMagic && o->stock && o->kind == Kind::Font ? o : nullptr;
}

Dc *DcFrom(HDC h) {
    auto *d = reinterpret_cast<Dc *>(h);
    return d && g_dcs.count(d) ? d : nullptr;
}

Dc *NewDc() {
    auto *d = new Dc;
    d->brush = Stock(WHITE_BRUSH);
    d->pen = Stock(BLACK_PEN);
    d->font = static_cast<GdiObject *>(SystemFont(false));
    g_dcs.insert(d);
    return d;
}

void FreeDc(Dc *d) {
    g_dcs.erase(d);
    delete d;
}

// Where a window context may draw: the window must own the pixel and the pixel must lie in the clip.
struct Target {
    Dc *dc;
    Window *window = nullptr;
    std::uint16_t slot = 0;
    RECT bounds{};   // screen
};

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

struct GlyphPlot {
    const Target *target;
    std::uint32_t rgb;
    RECT clip;   // context coordinates
    bool clipped;
};

void PlotGlyphPixel(void *context, int x, int y) {
    auto *g = static_cast<GlyphPlot *>(context);
    if (g->clipped && (x < g->clip.left || x >= g->clip.right || y < g->clip.top || y >= g->clip.bottom)) return;
    Plot(*g->target, x, y, g->rgb);
}

// Splits text into lines: hard breaks always, and with word breaking, soft breaks at spaces so that
// each line fits `width`. Leading spaces after a hard break are kept; the spaces at a soft break go.
struct Line {
    int start, length;
};
std::vector<Line> BreakLines(const font::Style &style, const char16_t *s, int n, bool single, bool wordBreak, int width) {
    std::vector<Line> lines;
    if (single) {
        lines.push_back({0, n});
        return lines;
    }
    int i = 0;
    while (i <= n) {
        int end = i;
        while (end < n && s[end] != u'\r' && s[end] != u'\n') ++end;
        // One paragraph [i, end).
        int start = i;
        if (!wordBreak) {
            lines.push_back({start, end - start});
        } else {
            while (true) {
                int lineEnd = start, lastBreak = -1;
                while (lineEnd < end) {
                    int w = font::Measure(style, s + start, lineEnd - start + 1);
                    if (w > width && lineEnd > start) break;
                    if (s[lineEnd] == u' ') lastBreak = lineEnd;
                    ++lineEnd;
                }
                if (lineEnd >= end) {
                    lines.push_back({start, end - start});
                    break;
                }
                int cut = lastBreak > start ? lastBreak : lineEnd;
                int visible = cut;
                while (visible > start && s[visible - 1] == u' ') --visible;
                lines.push_back({start, visible - start});
                start = cut;
                while (start < end && s[start] == u' ') ++start;
                if (start >= end) break;
            }
        }
        if (end >= n) break;
        i = end + ((s[end] == u'\r' && end + 1 < n && s[end + 1] == u'\n') ? 2 : 1);
        if (i > n) break;
        if (i == n) {
            lines.push_back({n, 0});
            break;
        }
    }
    return lines;
}

}  // namespace

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

int LiveGdiObjects() { return int(g_objects.size()) + g_memoryDcs; }

HBITMAP CreateBitmapFromImage(const res::Image &image) {
    if (image.width <= 0 || image.height <= 0 || image.pixels.size() != std::size_t(image.width) * image.height)
        return nullptr;
    auto *o = new GdiObject;
    o->kind = Kind::Bitmap;
    o->width = image.width;
    o->height = image.height;
    o->pixels = image.pixels;
    g_objects.insert(o);
    return o;
}

HFONT SystemFont(bool bold, int pixelHeight) {
    static std::vector<std::unique_ptr<GdiObject>> fonts;
    for (auto &f : fonts)
        if (f->font.bold == bold && f->font.pixelHeight == pixelHeight) return f.get();
    auto f = std::make_unique<GdiObject>();
    f->kind = Kind::Font;
    f->stock = true;
    f->font.bold = bold;
    f->font.pixelHeight = pixelHeight;
    fonts.push_back(std::move(f));
    return fonts.back().get();
}

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
            b = RECT{std::min(b.left, u.left), std::min(b.top, u.top), std::max(b.right, u.right), std::max(b.bottom, u.bottom)};
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
    if (d->clip.empty()) d->clip.push_back(RECT{0, 0, 0, 0});   // nothing to paint: draw nothing
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

HDC GetDC(HWND handle) {
    Window *w = FromHandle(handle);
    if (!w || w->remote) return nullptr;
    Dc *d = NewDc();
    d->window = handle;
    RECT sr = ScreenRect(w);
    d->origin = POINT{sr.left, sr.top};
    return reinterpret_cast<HDC>(d);
}

int ReleaseDC(HWND, HDC dc) {
    Dc *d = DcFrom(dc);
    if (!d || !d->window) return 0;
    FreeDc(d);
    return 1;
}

HDC CreateCompatibleDC(HDC) {
    Dc *d = NewDc();
    d->bitmap = StockBitmap();
    ++g_memoryDcs;
    return reinterpret_cast<HDC>(d);
}

BOOL DeleteDC(HDC dc) {
    Dc *d = DcFrom(dc);
    if (!d || d->window) return FALSE;
    --g_memoryDcs;
    FreeDc(d);
    return TRUE;
}

// ---- Attributes and objects ----

COLORREF SetBkColor(HDC dc, COLORREF color) {
    Dc *d = DcFrom(dc);
    if (!d) return 0xFFFFFFFF;
    COLORREF old = d->bk;
    d->bk = color & 0xFFFFFF;
    return old;
}

COLORREF GetBkColor(HDC dc) {
    Dc *d = DcFrom(dc);
    return d ? d->bk : 0xFFFFFFFF;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
    Dc *d = DcFrom(dc);
    if (!d) return 0xFFFFFFFF;
    COLORREF old = d->text;
    d->text = color & 0xFFFFFF;
    return old;
}

COLORREF GetTextColor(HDC dc) {
    Dc *d = DcFrom(dc);
    return d ? d->text : 0xFFFFFFFF;
}

int SetBkMode(HDC dc, int mode) {
    Dc *d = DcFrom(dc);
    if (!d || (mode != OPAQUE && mode != TRANSPARENT)) return 0;
    int old = d->bkMode;
    d->bkMode = mode;
    return old;
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto *o = new GdiObject;
    o->kind = Kind::Brush;
    o->color = color & 0xFFFFFF;
    g_objects.insert(o);
    return o;
}

HPEN CreatePen(int style, int, COLORREF color) {
    auto *o = new GdiObject;
    o->kind = Kind::Pen;
    o->color = color & 0xFFFFFF;
    o->null = style == PS_NULL;
    g_objects.insert(o);
    return o;
}

HGDIOBJ GetStockObject(int which) {
    if (which == SYSTEM_FONT) return SystemFont(false);
    return Stock(which);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    Dc *d = DcFrom(dc);
    GdiObject *o = ObjectFrom(object);
    if (!d || !o) return nullptr;
    GdiObject **slot = nullptr;
    switch (o->kind) {
    case Kind::Brush: slot = &d->brush; break;
    case Kind::Pen: slot = &d->pen; break;
    case Kind::Font: slot = &d->font; break;
    case Kind::Bitmap:
        if (d->window) return nullptr;   // only memory contexts hold bitmaps
        slot = &d->bitmap;
        break;
    }
    GdiObject *old = *slot;
    *slot = o;
    return old;
}

BOOL DeleteObject(HGDIOBJ object) {
    auto *o = static_cast<GdiObject *>(object);
    if (!o || !g_objects.count(o)) return FALSE;
    // An object still selected into a context is not deleted, as on the platform.
    for (const Dc *d : g_dcs)
        if (d->brush == o || d->pen == o || d->bitmap == o) return FALSE;
    g_objects.erase(o);
    delete o;
    return TRUE;
}

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

int DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    Dc *d = DcFrom(dc);
    if (!d || !text || !rect) return 0;
    if (count < 0) {
        count = 0;
        while (text[count] && count < (1 << 20)) ++count;
    }
    // Without DT_NOPREFIX an ampersand marks the next character and is not drawn ("&&" draws one).
    std::u16string s;
    s.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        if (!(format & DT_NOPREFIX) && text[i] == u'&') {
            if (i + 1 < count && text[i + 1] == u'&') ++i;
            else continue;
        }
        s.push_back(text[i]);
    }
    const font::Style style = d->font ? d->font->font : font::Style{};
    const int lineHeight = font::GetMetrics(style).height;
    const bool single = (format & DT_SINGLELINE) != 0;
    const int width = rect->right - rect->left;
    auto lines = BreakLines(style, s.data(), int(s.size()), single, (format & DT_WORDBREAK) != 0, width);
    int total = lineHeight * int(lines.size());

    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const Line &l : lines) widest = std::max(widest, font::Measure(style, s.data() + l.start, l.length));
        rect->right = rect->left + widest;
        rect->bottom = rect->top + total;
        return total;
    }

    Target t;
    if (!MakeTarget(d, &t)) return 0;
    int y = rect->top;
    if (single && (format & DT_VCENTER)) y = rect->top + (rect->bottom - rect->top) / 2 - lineHeight / 2;
    else if (single && (format & DT_BOTTOM)) y = rect->bottom - lineHeight;
    GlyphPlot plot{&t, ToRgb(d->text), *rect, (format & DT_NOCLIP) == 0};
    for (const Line &l : lines) {
        int w = font::Measure(style, s.data() + l.start, l.length);
        int x = rect->left;
        if (format & DT_CENTER) x = (rect->left + rect->right - w) / 2;
        else if (format & DT_RIGHT) x = rect->right - w;
        if (d->bkMode == OPAQUE && w > 0) {
            RECT cell{x, y, x + w, y + lineHeight};
            if (plot.clipped)
                cell = RECT{std::max(cell.left, rect->left), std::max(cell.top, rect->top), std::min(cell.right, rect->right),
                            std::min(cell.bottom, rect->bottom)};
            FillRectangle(t, cell, ToRgb(d->bk));
        }
        font::Draw(style, s.data() + l.start, l.length, x, y, PlotGlyphPixel, &plot);
        y += lineHeight;
    }
    return total;
}

BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, SIZE *size) {
    Dc *d = DcFrom(dc);
    if (!d || !text || !size || count < 0) return FALSE;
    const font::Style style = d->font ? d->font->font : font::Style{};
    size->cx = font::Measure(style, text, count);
    size->cy = font::GetMetrics(style).height;
    return TRUE;
}

HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name) {
    res::Id id;
    if (!ResourceId(name, &id)) return nullptr;
    const res::Id type = res::Ordinal(2);   // RT_BITMAP
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
            if (k < img.mask.size() && img.mask[k]) continue;   // transparent
            Plot(t, x + col, y + row, img.pixels[k]);
        }
    return TRUE;
}
