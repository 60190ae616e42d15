// The handheld's system font, rendered 1-bit with FreeType.
//
// Implements: finding the font named Tahoma through fontconfig (checking the family it returns),
// falling back to DejaVu Sans Condensed; 1-bit glyphs at a pixel height; advance widths; the text
// metrics the dialog manager and DrawTextW use.
// Leaves out: anti-aliasing, kerning, fonts other than the system font and its bold face.
#pragma once

#include <cstdint>

namespace font {

// A font height in pixels (the em, as FT_Set_Pixel_Sizes takes it) and a weight.
struct Style {
    int pixelHeight = 12;  // 9 pt at 96 dpi
    bool bold = false;
};

struct Metrics {
    int height;  // tmHeight: ascent + descent, 14 for the system font
    int ascent;  // baseline offset from the top of a line
    int descent;
    int averageCharWidth;  // mean advance of A-Z a-z, rounded: the dialog base unit
};

// Loads the fonts once; false when no usable font file was found (text then draws nothing).
// Measure, Draw and GetMetrics call it themselves when it has not run yet.
bool Init();
// Drops the loaded fonts and every cached glyph, then chooses again: `family`, else DejaVu Sans
// Condensed, else any sans-serif. Init does this once with "Tahoma"; tests use it to exercise
// the fallback.
bool Reload(const char *family);
// The family name of the font in use (for tests that pin the font); "" when there is none.
const char *FamilyName();
// True when bold at this height is the regular face drawn twice, one pixel apart: there is no
// bold file, or its glyphs at this height are no heavier than the regular ones.
bool SyntheticBold(int pixelHeight);

// Without a font the metrics are still positive (height = ascent = pixelHeight, average width
// half of it) so that callers dividing by them stay safe.
Metrics GetMetrics(const Style &style);
// Advance width in pixels of `count` UTF-16 units.
int Measure(const Style &style, const char16_t *text, int count);
// Draws the glyphs with the top of the line at `top` and the pen starting at `x`; calls plot for
// every pixel the 1-bit glyphs set. Returns the advance.
typedef void (*PlotFn)(void *context, int x, int y);
int Draw(const Style &style, const char16_t *text, int count, int x, int top, PlotFn plot, void *context);

}  // namespace font
