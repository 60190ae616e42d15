// Text: DrawTextW and GetTextExtentPoint32W over the platform's font rasterizer.
//
// Implements: a single line with centring (either way) or right alignment, word-wrapped lines with
// hard breaks that keep their leading spaces, DT_CALCRECT, DT_NOCLIP, the prefix ampersand (without
// DT_NOPREFIX), the opaque background mode behind each line.
// Leaves out: tabs, ellipses, DT_EDITCONTROL and the other layout flags.
#include <algorithm>
#include <string>

#include "gdi.h"

namespace core {
namespace {

using namespace gdi;

struct GlyphPlot {
    const Target *target;
    std::uint32_t rgb;
    RECT clip;  // context coordinates
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
std::vector<Line> BreakLines(const font::Style &style, const char16_t *s, int n, bool single, bool wordBreak,
                             int width) {
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
}  // namespace core

using namespace core;
using namespace core::gdi;

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
            if (i + 1 < count && text[i + 1] == u'&')
                ++i;
            else
                continue;
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
    // Text a program draws into its own window is what a screen reader reads there.
    if (t.window) RecordPaintedText(t.window, *rect, s);
    int y = rect->top;
    if (single && (format & DT_VCENTER))
        y = rect->top + (rect->bottom - rect->top) / 2 - lineHeight / 2;
    else if (single && (format & DT_BOTTOM))
        y = rect->bottom - lineHeight;
    GlyphPlot plot{&t, ToRgb(d->text), *rect, (format & DT_NOCLIP) == 0};
    for (const Line &l : lines) {
        int w = font::Measure(style, s.data() + l.start, l.length);
        int x = rect->left;
        if (format & DT_CENTER)
            x = (rect->left + rect->right - w) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - w;
        if (d->bkMode == OPAQUE && w > 0) {
            RECT cell{x, y, x + w, y + lineHeight};
            if (plot.clipped)
                cell = RECT{std::max(cell.left, rect->left), std::max(cell.top, rect->top),
                            std::min(cell.right, rect->right), std::min(cell.bottom, rect->bottom)};
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
