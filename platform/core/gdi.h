// The GDI's records, shared by the files that implement it: objects (brushes, pens, bitmaps, fonts),
// device contexts, and the target a context draws into.
#pragma once

#include <cstdint>
#include <vector>

#include "core.h"
#include "font.h"

namespace core::gdi {

enum class Kind { Brush, Pen, Bitmap, Font };
constexpr std::uint32_t kObjectMagic = 0x47444930;
constexpr std::uint32_t kDcMagic = 0x44433030;

struct GdiObject {
    std::uint32_t magic = kObjectMagic;
    Kind kind;
    bool stock = false;
    bool null = false;  // NULL_BRUSH, NULL_PEN
    COLORREF color = 0;
    int width = 0, height = 0;  // bitmaps
    std::vector<std::uint32_t> pixels;
    font::Style font;
};

struct Dc {
    std::uint32_t magic = kDcMagic;
    HWND window = nullptr;  // null for a memory context
    bool paint = false;
    std::vector<RECT> clip;  // screen coordinates; empty = the whole window
    POINT origin{};          // screen position of client (0, 0)
    COLORREF text = 0;
    COLORREF bk = 0xFFFFFF;
    int bkMode = OPAQUE;
    GdiObject *brush = nullptr;
    GdiObject *pen = nullptr;
    GdiObject *bitmap = nullptr;
    GdiObject *font = nullptr;
};

// Where a window context may draw: the window must own the pixel and the pixel must lie in the clip.
struct Target {
    Dc *dc;
    Window *window = nullptr;
    std::uint16_t slot = 0;
    RECT bounds{};  // screen
};

// ---- Objects and contexts (gdi.cpp) ----
GdiObject *Stock(int which);       // stock brushes and pens, null for another number
GdiObject *StockBitmap();          // the 1 x 1 bitmap a memory context starts with
GdiObject *ObjectFrom(HGDIOBJ h);  // null for a deleted or foreign object
Dc *DcFrom(HDC h);                 // null for a released or foreign context
Dc *NewDc();                       // with the platform's defaults
void FreeDc(Dc *d);

// ---- Drawing into a context (draw.cpp) ----
bool MakeTarget(Dc *d, Target *t);  // false when the context has nothing to draw into
// Fills the span [x0, x1) of row y (context coordinates).
void Span(const Target &t, int y, int x0, int x1, std::uint32_t rgb);
void Plot(const Target &t, int x, int y, std::uint32_t rgb);
bool ReadPixel(Dc *d, int x, int y, std::uint32_t *rgb);
void FillRectangle(const Target &t, RECT r, std::uint32_t rgb);

}  // namespace core::gdi
