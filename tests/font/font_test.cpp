// The system font: which file is chosen, its line metrics, the widths of the program's texts at
// 12 px, and the 1-bit pixels it draws. Figures pinned to a font skip themselves on another one.
#include "font.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Counts heap allocations, to show that drawing cached text allocates nothing.
static long g_allocations = 0;
void *operator new(std::size_t size) {
    ++g_allocations;
    if (void *p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace {

const font::Style kSystem{12, false};
const font::Style kBold{12, true};

bool FileExists(const char *path) {
    struct stat info {};
    return stat(path, &info) == 0;
}

bool UsingTahoma() { return std::string_view(font::FamilyName()) == "Tahoma"; }

#define REQUIRE_TAHOMA()                                                                                               \
    do {                                                                                                               \
        if (!UsingTahoma()) {                                                                                          \
            GTEST_SKIP() << "these figures are Tahoma's; the font in use is \"" << font::FamilyName() << "\"";         \
        }                                                                                                              \
    } while (false)

int Width(const font::Style &style, std::u16string_view text) {
    return font::Measure(style, text.data(), static_cast<int>(text.size()));
}

using Pixels = std::vector<std::pair<int, int>>;

void Collect(void *context, int x, int y) { static_cast<Pixels *>(context)->emplace_back(x, y); }

struct Drawn {
    int advance = 0;
    Pixels pixels;
};

Drawn DrawAt(const font::Style &style, std::u16string_view text, int x, int top) {
    Drawn drawn;
    drawn.advance = font::Draw(style, text.data(), static_cast<int>(text.size()), x, top, Collect, &drawn.pixels);
    return drawn;
}

// Every pixel lies in the line box (top .. top + height - 1), within the advance horizontally, and
// is set once: the glyphs are 1-bit and never overdrawn.
// `slack` allows for glyphs that overhang their advance (combining marks have none).
void ExpectInsideLineBox(const font::Style &style, std::u16string_view text, int x, int top, int slack = 1) {
    SCOPED_TRACE(std::string(text.begin(), text.end()));
    const font::Metrics metrics = font::GetMetrics(style);
    const Drawn drawn = DrawAt(style, text, x, top);
    EXPECT_EQ(drawn.advance, Width(style, text));
    std::set<std::pair<int, int>> unique(drawn.pixels.begin(), drawn.pixels.end());
    EXPECT_EQ(unique.size(), drawn.pixels.size()) << "a pixel was plotted twice";
    for (auto [px, py] : drawn.pixels) {
        EXPECT_GE(py, top);
        EXPECT_LT(py, top + metrics.height);
        EXPECT_GE(px, x - slack);
        EXPECT_LE(px, x + drawn.advance + slack);
    }
}

// Lines of the Help dialog's two left statics, 128 dialog units = 224 px wide.
const char16_t *const kHelpLines[] = {
    u"Metronome",
    u"  1. The beats per minute are set",
    u"      through the slider bar.",
    u"  2. The time signature can be selected",
    u"      from the drop-down list.",
    u"  3. Select the sound and color check",
    u"      boxes to enable clicks or color",
    u"      changes.",
    u"Tuning",
    u"  1. Select an instrument category",
    u"      from the drop-down list.",
    u"  2. The \"All\" button will play all notes",
    u"      based on the \"Delay\" and \"Repeat\"",
    u"      settings.",
    u"  4. Tuning notes can be interrupted by",
    u"      pressing the \"Stop\" button.",
};

// Tests that choose another font put the system font back afterwards.
class FontChoice : public ::testing::Test {
protected:
    void TearDown() override { font::Reload("Tahoma"); }
};

TEST_F(FontChoice, TakesTahomaFromFontsWineWithItsBoldFace) {
    if (!FileExists("/usr/share/wine/fonts/tahoma.ttf")) GTEST_SKIP() << "fonts-wine is not installed";
    ASSERT_TRUE(font::Init());
    EXPECT_STREQ(font::FamilyName(), "Tahoma");
    if (FileExists("/usr/share/wine/fonts/tahomabd.ttf")) {
        EXPECT_FALSE(font::SyntheticBold(12));
    }
}

TEST_F(FontChoice, FallsBackToDejaVuSansCondensed) {
    if (!FileExists("/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf"))
        GTEST_SKIP() << "DejaVu Sans Condensed is not installed";
    ASSERT_TRUE(font::Reload("Cadenzo Missing Family"));
    EXPECT_STREQ(font::FamilyName(), "DejaVu Sans Condensed");
    // Its Windows ascent and descent (1901 and 483 per 2048) give 11 + 3 at 12 px.
    const font::Metrics metrics = font::GetMetrics(kSystem);
    EXPECT_EQ(metrics.ascent, 11);
    EXPECT_EQ(metrics.descent, 3);
    EXPECT_LT(Width(kSystem, u"Metronome Speed = 240 Beats/Minute"), 230);
    EXPECT_GT(Width(kBold, u"Metronome"), Width(kSystem, u"Metronome"));
}

TEST_F(FontChoice, SynthesizesBoldForAFamilyWithoutABoldFile) {
    // Families with Latin letters and a single weight, found on a Debian machine.
    bool found = false;
    for (const char *family : {"DejaVu Math TeX Gyre", "Droid Sans Fallback"}) {
        if (font::Reload(family) && std::string_view(font::FamilyName()) == family && font::SyntheticBold(12)) {
            found = true;
            break;
        }
    }
    if (!found) GTEST_SKIP() << "no single-weight family installed";
    const std::u16string_view word = u"Metronome";
    // Each glyph is drawn twice, one pixel apart: one pixel wider per glyph, and every regular
    // pixel and its right neighbour are set.
    EXPECT_EQ(Width(kBold, word), Width(kSystem, word) + static_cast<int>(word.size()));
    const Drawn thin = DrawAt(kSystem, word, 0, 0);
    const Drawn thick = DrawAt(kBold, word, 0, 0);
    ASSERT_FALSE(thin.pixels.empty());
    const std::set<std::pair<int, int>> heavy(thick.pixels.begin(), thick.pixels.end());
    EXPECT_EQ(heavy.size(), thick.pixels.size());
    // The first glyph "M" starts at the same pen position in both weights.
    const int advanceM = Width(kSystem, u"M");
    for (auto [x, y] : thin.pixels) {
        if (x >= advanceM) continue;
        EXPECT_TRUE(heavy.count({x, y}) && heavy.count({x + 1, y})) << x << "," << y;
    }
}

TEST(FontMetrics, SystemFontIsTwelveOverTwoWithSevenPixelAverage) {
    REQUIRE_TAHOMA();
    // round(12 * 2049 / 2048) + round(12 * 423 / 2048); A-Z a-z advance 351 px / 52 = 6.75.
    const font::Metrics metrics = font::GetMetrics(kSystem);
    EXPECT_EQ(metrics.height, 14);
    EXPECT_EQ(metrics.ascent, 12);
    EXPECT_EQ(metrics.descent, 2);
    EXPECT_EQ(metrics.averageCharWidth, 7);
    EXPECT_EQ(font::GetMetrics(kBold).height, 14);
    EXPECT_EQ(font::GetMetrics(kBold).averageCharWidth, 8);  // 403 px / 52
    // Other heights follow the same rounding: 8 px -> 8 + 2, 16 px -> 16 + 3.
    EXPECT_EQ(font::GetMetrics({8, false}).height, 10);
    EXPECT_EQ(font::GetMetrics({16, false}).height, 19);
}

TEST(FontMetrics, StayPositiveForAnyHeight) {
    for (int height : {INT_MIN, -12, 0, 1, 5, 13, 300, INT_MAX}) {
        SCOPED_TRACE(height);
        const font::Metrics metrics = font::GetMetrics({height, height % 2 != 0});
        EXPECT_GT(metrics.ascent, 0);
        EXPECT_EQ(metrics.height, metrics.ascent + metrics.descent);
        EXPECT_GT(metrics.averageCharWidth, 0);
    }
}

// The number of pixels "l" sets on the row halfway down its stem: the stem's width.
size_t StemWidth(const font::Style &style) {
    const Pixels pixels = DrawAt(style, u"l", 0, 0).pixels;
    if (pixels.empty()) return 0;
    int top = INT_MAX, bottom = INT_MIN;
    for (auto [x, y] : pixels) top = std::min(top, y), bottom = std::max(bottom, y);
    const int middle = (top + bottom) / 2;
    return std::count_if(pixels.begin(), pixels.end(), [&](const auto &p) { return p.second == middle; });
}

TEST(FontMetrics, BoldIsHeavierAtEveryHeight) {
    // Whether it comes from the bold file or from drawing twice, a bold stem is wider.
    for (int height = 8; height <= 24; ++height) {
        SCOPED_TRACE(height);
        EXPECT_GT(StemWidth({height, true}), StemWidth({height, false}));
    }
}

TEST(FontWidths, ProgramTextsFitTheirControls) {
    const std::string_view family = font::FamilyName();
    if (family != "Tahoma" && family != "DejaVu Sans Condensed")
        GTEST_SKIP() << "the fit is checked for Tahoma and its fallback, not \"" << family << "\"";
    // Tempo bar 232 wide with a 1-px border each side.
    EXPECT_LT(Width(kSystem, u"Metronome Speed = 240 Beats/Minute"), 230);
    EXPECT_LT(Width(kSystem, u"Tuning Notes"), 230);
    // Push button 114 wide: border and a little padding each side.
    EXPECT_LT(Width(kSystem, u"Start Metronome"), 114 - 8);
    EXPECT_LT(Width(kSystem, u"Stop Metronome"), 114 - 8);
    // Check boxes 55 wide: a 13-px box and a 5-px gap before the caption.
    EXPECT_LE(Width(kSystem, u"Sound"), 55 - 13 - 5);
    EXPECT_LE(Width(kSystem, u"Color"), 55 - 13 - 5);
    for (const char16_t *line : kHelpLines) {
        SCOPED_TRACE(std::u16string_view(line).size());
        EXPECT_LE(Width(kSystem, line), 224);
    }
    // The centred title static of the About and Help dialogs is 114 units = 199 px.
    EXPECT_LE(Width(kSystem, u"Cadenzo v2.1"), 199);
}

TEST(FontWidths, AdvancesAddUpWithoutKerning) {
    const std::u16string_view text = u"AVAToWaye 1/4";
    int sum = 0;
    for (char16_t c : text) sum += Width(kSystem, std::u16string_view(&c, 1));
    EXPECT_EQ(Width(kSystem, text), sum);
    REQUIRE_TAHOMA();
    EXPECT_EQ(Width(kSystem, u"Metronome Speed = 240 Beats/Minute"), 216);
    EXPECT_EQ(Width(kSystem, u"Mm "), 9 + 10 + 4);
}

TEST(FontDrawing, PixelsAreOneBitInsideTheLineBox) {
    for (const font::Style &style :
         {kSystem, kBold, font::Style{8, false}, font::Style{16, true}, font::Style{14, false}}) {
        SCOPED_TRACE(style.pixelHeight);
        ExpectInsideLineBox(style, u"Metronome Speed = 240 Beats/Minute", 4, 2);
        ExpectInsideLineBox(style, u"Start Metronome Tuning Notes", -3, 100);
        for (const char16_t *line : kHelpLines) ExpectInsideLineBox(style, line, 50, -7);
    }
    // Some glyphs of the hand-made strikes overhang the line by a row: "J" and "j" at 12 px
    // reach the row below, accented capitals the row above. Never more.
    for (const font::Style &style : {kSystem, kBold, font::Style{14, false}, font::Style{16, true}}) {
        SCOPED_TRACE(style.pixelHeight);
        const font::Metrics metrics = font::GetMetrics(style);
        const Drawn drawn =
            DrawAt(style, u"Jjgpqy|_/()[]{}@ \u00C4\u00C5\u00C9\u0106\u0150\u00EE \u00C5ngstr\u00F6m", 0, 20);
        for (auto [x, y] : drawn.pixels) {
            EXPECT_GE(y, 20 - 1);
            EXPECT_LE(y, 20 + metrics.height);
        }
    }
}

TEST(FontDrawing, DrawnExtentMatchesTheAdvance) {
    for (const font::Style &style : {kSystem, kBold}) {
        const Drawn drawn = DrawAt(style, u"Metronome Speed = 240 Beats/Minute", 10, 0);
        ASSERT_FALSE(drawn.pixels.empty());
        const auto [left, right] = std::minmax_element(drawn.pixels.begin(), drawn.pixels.end());
        // Side bearings of a pixel or two at each end.
        EXPECT_LE(left->first - 10, 2);
        EXPECT_NEAR(right->first + 1 - 10, drawn.advance, 2);
    }
}

TEST(FontDrawing, TahomaGlyphShapes) {
    REQUIRE_TAHOMA();
    // "Il" drawn at (0, 0), baseline at y 12: a serifed capital I 9 rows high and 3 wide, then at
    // its advance of 4 a plain stem of l, one row taller.
    const char *const picture[] = {"....#",  // y 2
                                   "###.#", ".#..#", ".#..#", ".#..#", ".#..#",
                                   ".#..#", ".#..#", ".#..#", "###.#"};  // y 11, the last row above the baseline
    Pixels expected;
    for (int row = 0; row < 10; ++row) {
        for (int x = 0; x < 5; ++x) {
            if (picture[row][x] == '#') expected.emplace_back(x, row + 2);
        }
    }
    Pixels drawn = DrawAt(kSystem, u"Il", 0, 0).pixels;
    std::sort(drawn.begin(), drawn.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(drawn, expected);
    // "p" descends to the line's last row; "d" reaches a row above the capitals.
    int lowest = INT_MIN, highest = INT_MAX;
    for (auto [x, y] : DrawAt(kSystem, u"p", 0, 0).pixels) lowest = std::max(lowest, y);
    for (auto [x, y] : DrawAt(kSystem, u"d", 0, 0).pixels) highest = std::min(highest, y);
    EXPECT_EQ(lowest, 13);
    EXPECT_EQ(highest, 2);
}

TEST(FontDrawing, SamePixelsEveryTimeAndAfterReloading) {
    const std::u16string_view text = u"Metronome Speed = 240 Beats/Minute";
    const Drawn first = DrawAt(kSystem, text, 4, 2);
    const Drawn again = DrawAt(kSystem, text, 4, 2);
    EXPECT_EQ(first.pixels, again.pixels);
    const Drawn bold = DrawAt(kBold, text, 4, 2);
    const std::string family = font::FamilyName();
    ASSERT_TRUE(font::Reload(family.c_str()));
    EXPECT_EQ(font::FamilyName(), family);
    EXPECT_EQ(DrawAt(kSystem, text, 4, 2).pixels, first.pixels);
    EXPECT_EQ(DrawAt(kBold, text, 4, 2).pixels, bold.pixels);
    // Moving the pen moves every pixel by the same amount.
    Pixels shifted = first.pixels;
    for (auto &[x, y] : shifted) x += 100, y -= 50;
    EXPECT_EQ(DrawAt(kSystem, text, 104, -48).pixels, shifted);
}

TEST(FontDrawing, MalformedUtf16NeverCrashes) {
    // U+10FFFD is a private-use character no system font has: as a pair it is one missing glyph.
    const int missing = Width(kSystem, u"\U0010FFFD");
    EXPECT_EQ(Width(kSystem, u"\xDBFF"), missing);                          // lone high surrogate
    EXPECT_EQ(Width(kSystem, u"\xDC00"), missing);                          // lone low surrogate
    EXPECT_EQ(Width(kSystem, u"\xDC00\xD800"), 2 * missing);                // reversed pair: two strays
    EXPECT_EQ(Width(kSystem, u"a\xD800"), Width(kSystem, u"a") + missing);  // high at the end
    const char16_t cases[][4] = {
        {0xD800, 0xD800, 0xDC00, 0}, {0xFFFF, 0xFFFE, 0, 0},           {0, 0, 0, 0},
        {0x0A, 0x09, 0x0D, 0},       {0xDBFF, 0xDFFF, 0xE000, 0xFEFF}, {0x0301, 0x20AC, 0x266A, 0x2603},
    };
    for (const auto &text : cases) {
        for (const font::Style &style : {kSystem, kBold})
            ExpectInsideLineBox(style, std::u16string_view(text, 4), 0, 0, 6);
    }
    // Nothing to draw: no text, no length, a negative length.
    Pixels pixels;
    EXPECT_EQ(font::Measure(kSystem, nullptr, 5), 0);
    EXPECT_EQ(font::Draw(kSystem, nullptr, 5, 0, 0, Collect, &pixels), 0);
    EXPECT_EQ(font::Draw(kSystem, u"abc", 0, 0, 0, Collect, &pixels), 0);
    EXPECT_EQ(font::Draw(kSystem, u"abc", -1, 0, 0, Collect, &pixels), 0);
    EXPECT_TRUE(pixels.empty());
    // No plot function, or a pen at the ends of the coordinate range: the advance, no overflow.
    const int width = Width(kSystem, u"abc");
    EXPECT_EQ(font::Draw(kSystem, u"abc", 3, 0, 0, nullptr, nullptr), width);
    EXPECT_EQ(font::Draw(kSystem, u"abc", 3, INT_MAX - 1, INT_MAX, Collect, &pixels), width);
    EXPECT_EQ(font::Draw(kSystem, u"abc", 3, INT_MIN, INT_MIN, Collect, &pixels), width);
    EXPECT_TRUE(pixels.empty());
}

TEST(FontDrawing, CachedTextDrawsWithoutAllocating) {
    const std::u16string_view text = u"Metronome Speed = 240 Beats/Minute";
    Pixels pixels;
    pixels.reserve(4096);
    for (const font::Style &style : {kSystem, kBold}) {
        font::Draw(style, text.data(), static_cast<int>(text.size()), 4, 2, Collect, &pixels);
        pixels.clear();
        const long before = g_allocations;
        for (int i = 0; i < 100; ++i) {
            font::Draw(style, text.data(), static_cast<int>(text.size()), 4, 2, Collect, &pixels);
            font::Measure(style, text.data(), static_cast<int>(text.size()));
            pixels.clear();
        }
        EXPECT_EQ(g_allocations, before);
    }
}

}  // namespace
