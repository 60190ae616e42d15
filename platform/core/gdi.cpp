// GDI objects and device contexts.
//
// Implements: solid brushes and pens, stock objects, bitmaps from decoded images, the system font at
// any pixel height, SelectObject and DeleteObject (an object still selected is not deleted), window
// contexts (GetDC/ReleaseDC), memory contexts with bitmaps, SetBkColor/SetTextColor/SetBkMode.
// A fresh context has the platform's defaults: black pen, white brush, system font, opaque background
// mode, white background, black text. Brushes, pens, bitmaps and memory contexts are counted while they
// live, so a test can prove that painting leaks nothing.
// Leaves out: regions as objects, mapping modes, wide pens, hatched and pattern brushes.
#include <memory>
#include <unordered_set>

#include "gdi.h"

namespace core {
using namespace gdi;
namespace {

std::unordered_set<const GdiObject *> g_objects;  // created, not deleted (stock ones excluded)
std::unordered_set<const Dc *> g_dcs;             // live contexts
int g_memoryDcs = 0;

GdiObject *MakeStock(Kind kind, COLORREF color, bool null = false) {
    auto *o = new GdiObject;
    o->kind = kind;
    o->stock = true;
    o->color = color;
    o->null = null;
    return o;
}

}  // namespace

namespace gdi {

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

}  // namespace gdi

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

}  // namespace core

using namespace core;
using namespace core::gdi;

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

namespace {

// One of a context's two colours: set (returning the one it replaces) or read; 0xFFFFFFFF for a bad
// context.
COLORREF SetColour(HDC dc, COLORREF Dc::*which, COLORREF color) {
    Dc *d = DcFrom(dc);
    if (!d) return 0xFFFFFFFF;
    COLORREF old = d->*which;
    d->*which = color & 0xFFFFFF;
    return old;
}

COLORREF GetColour(HDC dc, COLORREF Dc::*which) {
    Dc *d = DcFrom(dc);
    return d ? d->*which : 0xFFFFFFFF;
}

}  // namespace

COLORREF SetBkColor(HDC dc, COLORREF color) { return SetColour(dc, &Dc::bk, color); }
COLORREF GetBkColor(HDC dc) { return GetColour(dc, &Dc::bk); }
COLORREF SetTextColor(HDC dc, COLORREF color) { return SetColour(dc, &Dc::text, color); }
COLORREF GetTextColor(HDC dc) { return GetColour(dc, &Dc::text); }

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
        if (d->window) return nullptr;  // only memory contexts hold bitmaps
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
