// The handheld's system font: Tahoma (the one in Debian's fonts-wine, with Tahoma's advance widths
// and hand-made 1-bit strikes) found through fontconfig, rendered 1-bit by FreeType. The browser
// build (CADENZO_FONT_FILES) has no fontconfig: it opens the two files the page carries by path.
//
// Implements: choosing the regular and bold files (Tahoma, else DejaVu Sans Condensed, else any
// sans-serif), checking the family fontconfig returns; the platform's line metrics from the font's
// Windows ascent and descent; integer advances (strike or hinted, no kerning); a glyph cache per
// pixel height and weight holding each glyph as its list of set pixels, so drawing cached text
// costs no allocation and no FreeType call; UTF-16 with surrogate pairs, where an unpaired
// surrogate or a character the font lacks shows the font's missing-glyph shape; bold synthesized
// by drawing the regular glyph twice, one pixel apart, where no bold file draws really bold.
// Leaves out: anti-aliasing, kerning, fonts other than the system font and its bold face, thread
// safety (everything runs on the message-loop thread).
#include "font.h"
#include "capacities.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H
#ifndef CADENZO_FONT_FILES
#include <fontconfig/fontconfig.h>
#endif
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace font {
namespace {

constexpr int kMinPixelHeight = 1;
using core::kMaxBitmapSide;
using core::kMaxPixelHeight;
#ifndef CADENZO_FONT_FILES
// fonts-wine installs its fonts outside fontconfig's directories; they are added to our lookup.
constexpr const char *kFontsWineDir = "/usr/share/wine/fonts";
#endif
constexpr const char *kSystemFamily = "Tahoma";
constexpr const char *kFallbackFamily = "DejaVu Sans Condensed";

// A set pixel of a glyph, relative to the pen position on the baseline (dy < 0 is above it).
struct Pixel {
    int16_t dx;
    int16_t dy;
};

// A cached glyph: its advance and its run of pixels in SizeCache::pixels.
struct Glyph {
    int advance = 0;
    uint32_t first = 0;
    uint32_t count = 0;
};

// Glyph records by code unit, in pages of 256; a slot holds record index + 1, 0 = not looked up.
using Page = std::array<int32_t, 256>;

// One pixel height and weight of one face, with its own FreeType size object.
struct SizeCache {
    int pixelHeight = 0;
    bool bold = false;
    bool synthetic = false;  // draw each glyph twice, the second one pixel to the right
    FT_Face face = nullptr;
    FT_Size size = nullptr;
    Metrics metrics{};
    std::vector<Glyph> glyphs;
    std::vector<Pixel> pixels;
    std::array<std::unique_ptr<Page>, 256> pages;         // code points up to U+FFFF
    std::unordered_map<uint32_t, int32_t> supplementary;  // code points above U+FFFF
    std::unordered_map<FT_UInt, int32_t> byGlyphIndex;    // shared records (e.g. missing glyph)

    ~SizeCache() {
        if (size != nullptr) FT_Done_Size(size);
    }
};

struct State {
    bool tried = false;
    bool ok = false;
    FT_Library library = nullptr;
    FT_Face regular = nullptr;
    FT_Face bold = nullptr;  // null: bold is synthesized from the regular face
    std::string family;
    std::vector<std::unique_ptr<SizeCache>> sizes;
    SizeCache *last = nullptr;
};

State g;

void Unload() {
    g.last = nullptr;
    g.sizes.clear();  // their FT_Size objects go before the faces
    if (g.bold != nullptr) FT_Done_Face(g.bold);
    if (g.regular != nullptr) FT_Done_Face(g.regular);
    if (g.library != nullptr) FT_Done_FreeType(g.library);
    g.bold = nullptr;
    g.regular = nullptr;
    g.library = nullptr;
    g.family.clear();
    g.ok = false;
}

// What fontconfig answered for a family and weight.
struct Match {
    std::string path;
    int index = 0;
    std::string familyName;  // the file's family name that is the one asked for, or ""
    bool bold = false;
    std::string firstFamily;
};

#ifndef CADENZO_FONT_FILES
using Lookup = FcConfig *;

bool FindFont(FcConfig *config, const char *family, bool bold, Match &out) {
    FcPattern *pattern = FcPatternCreate();
    if (pattern == nullptr) return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) return false;

    bool found = false;
    FcChar8 *file = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
        found = true;
        out.path = reinterpret_cast<const char *>(file);
        int index = 0;
        out.index = FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch ? index : 0;
        int weight = FC_WEIGHT_REGULAR;
        out.bold = FcPatternGetInteger(match, FC_WEIGHT, 0, &weight) == FcResultMatch && weight >= FC_WEIGHT_BOLD;
        out.familyName.clear();
        out.firstFamily.clear();
        FcChar8 *name = nullptr;
        for (int n = 0; FcPatternGetString(match, FC_FAMILY, n, &name) == FcResultMatch; ++n) {
            const char *text = reinterpret_cast<const char *>(name);
            if (n == 0) out.firstFamily = text;
            if (strcasecmp(text, family) == 0 && out.familyName.empty()) out.familyName = text;
        }
    }
    FcPatternDestroy(match);
    return found;
}
#else
// The font files the page carries, where the desktop finds them too (fonts-wine's folder).
constexpr const char *kFontFiles[] = {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"};
using Lookup = std::nullptr_t;

// As fontconfig answers: of the files whose family is `family`, the one of the asked weight, else the
// other; when none is, the first file, under its own name.
bool FindFont(Lookup, const char *family, bool bold, Match &out) {
    int best = -1;
    for (const char *path : kFontFiles) {
        FT_Face face = nullptr;
        if (FT_New_Face(g.library, path, 0, &face) != 0) continue;
        std::string name = face->family_name != nullptr ? face->family_name : "";
        bool isBold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
        FT_Done_Face(face);
        int score = (strcasecmp(name.c_str(), family) == 0 ? 2 : 0) + (isBold == bold ? 1 : 0);
        if (score <= best) continue;
        best = score;
        out.path = path;
        out.index = 0;
        out.bold = isBold;
        out.firstFamily = name;
        out.familyName = score >= 2 ? name : "";
    }
    return best >= 0;
}
#endif

FT_Face OpenFace(const Match &match) {
    FT_Face face = nullptr;
    if (FT_New_Face(g.library, match.path.c_str(), match.index, &face) != 0) return nullptr;
    if (face->charmap == nullptr || face->charmap->encoding != FT_ENCODING_UNICODE) {
        if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
            FT_Done_Face(face);
            return nullptr;
        }
    }
    return face;
}

// Opens the regular and bold faces of `family` when one of the names of the file fontconfig
// matches is that family; with `anyFamily`, whatever it matches, under the file's own name.
bool LoadFamily(Lookup config, const char *family, bool anyFamily) {
    Match regular;
    if (!FindFont(config, family, false, regular) || (regular.familyName.empty() && !anyFamily)) return false;
    g.regular = OpenFace(regular);
    if (g.regular == nullptr) return false;
    g.family = regular.familyName.empty() ? regular.firstFamily : regular.familyName;
    Match bold;
    if (FindFont(config, g.family.c_str(), true, bold) && !bold.familyName.empty() && bold.bold &&
        bold.path != regular.path)
        g.bold = OpenFace(bold);
    return true;
}

bool Load(const char *family) {
    g.tried = true;
    if (FT_Init_FreeType(&g.library) != 0) {
        g.library = nullptr;
        return false;
    }
#ifndef CADENZO_FONT_FILES
    FcConfig *config = FcInitLoadConfigAndFonts();
    if (config == nullptr) return false;
    struct stat info {};
    if (stat(kFontsWineDir, &info) == 0 && S_ISDIR(info.st_mode))
        FcConfigAppFontAddDir(config, reinterpret_cast<const FcChar8 *>(kFontsWineDir));
#else
    Lookup config = nullptr;
#endif
    bool loaded = (family != nullptr && *family != '\0' && LoadFamily(config, family, false)) ||
                  LoadFamily(config, kFallbackFamily, false) || LoadFamily(config, "sans-serif", true);
#ifndef CADENZO_FONT_FILES
    FcConfigDestroy(config);
#endif
    g.ok = loaded;
    return loaded;
}

int ClampHeight(int pixelHeight) { return std::clamp(pixelHeight, kMinPixelHeight, kMaxPixelHeight); }

// Rounded n * value / units for non-negative values.
int Scale(int pixelHeight, long value, long units) {
    if (units <= 0 || value <= 0) return 0;
    return static_cast<int>((pixelHeight * value + units / 2) / units);
}

// Appends the set pixels of a rendered glyph bitmap; in synthetic bold each pixel also sets its
// right neighbour. Bitmaps FreeType gives in another depth count a pixel as set at half coverage.
void AppendPixels(SizeCache &cache, const FT_Bitmap &source, int left, int top, FT_Library library) {
    if (source.width == 0 || source.rows == 0) return;
    if (source.width > static_cast<unsigned>(kMaxBitmapSide) || source.rows > static_cast<unsigned>(kMaxBitmapSide))
        return;
    if (left < -kMaxBitmapSide || left > kMaxBitmapSide || top < -kMaxBitmapSide || top > kMaxBitmapSide) return;

    FT_Bitmap converted;
    FT_Bitmap_Init(&converted);
    const FT_Bitmap *bitmap = &source;
    bool mono = source.pixel_mode == FT_PIXEL_MODE_MONO;
    if (!mono) {
        if (FT_Bitmap_Convert(library, &source, &converted, 1) != 0) {
            FT_Bitmap_Done(library, &converted);
            return;
        }
        bitmap = &converted;
    }
    const int width = static_cast<int>(bitmap->width);
    const int rows = static_cast<int>(bitmap->rows);
    const int pitch = bitmap->pitch < 0 ? -bitmap->pitch : bitmap->pitch;
    const int levels = std::max(2, static_cast<int>(bitmap->num_grays));
    auto isSet = [&](int col, int row) {
        if (col < 0 || col >= width) return false;
        // A negative pitch stores the bottom row first.
        const unsigned char *line =
            bitmap->buffer + static_cast<long>(bitmap->pitch < 0 ? rows - 1 - row : row) * pitch;
        if (mono) return (line[col >> 3] & (0x80 >> (col & 7))) != 0;
        return 2 * line[col] >= levels;
    };
    const int extra = cache.synthetic ? 1 : 0;
    for (int row = 0; row < rows; ++row) {
        for (int col = 0; col < width + extra; ++col) {
            if (isSet(col, row) || (extra != 0 && isSet(col - 1, row)))
                cache.pixels.push_back(Pixel{static_cast<int16_t>(left + col), static_cast<int16_t>(row - top)});
        }
    }
    FT_Bitmap_Done(library, &converted);
}

// The record of FreeType glyph `index`, rendering it on first use.
int32_t GlyphRecord(SizeCache &cache, FT_UInt index) {
    auto found = cache.byGlyphIndex.find(index);
    if (found != cache.byGlyphIndex.end()) return found->second;

    Glyph glyph;
    glyph.first = static_cast<uint32_t>(cache.pixels.size());
    FT_Activate_Size(cache.size);
    FT_Face face = cache.face;
    // The default load takes the embedded 1-bit strike when one exists at this size.
    if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_MONO) == 0) {
        FT_GlyphSlot slot = face->glyph;
        bool rendered = slot->format == FT_GLYPH_FORMAT_BITMAP || FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) == 0;
        long advance = (slot->advance.x + 32) >> 6;
        glyph.advance = static_cast<int>(std::clamp(advance, 0L, static_cast<long>(kMaxBitmapSide)));
        if (cache.synthetic && glyph.advance > 0) ++glyph.advance;
        if (rendered) AppendPixels(cache, slot->bitmap, slot->bitmap_left, slot->bitmap_top, g.library);
    }
    glyph.count = static_cast<uint32_t>(cache.pixels.size()) - glyph.first;
    auto record = static_cast<int32_t>(cache.glyphs.size());
    cache.glyphs.push_back(glyph);
    cache.byGlyphIndex.emplace(index, record);
    return record;
}

inline int32_t CodePointRecord(SizeCache &cache, uint32_t codePoint) {
    if (codePoint <= 0xFFFF) {
        std::unique_ptr<Page> &page = cache.pages[codePoint >> 8];
        if (page == nullptr) {
            page = std::make_unique<Page>();
            page->fill(0);
        }
        int32_t &slot = (*page)[codePoint & 0xFF];
        if (slot == 0) slot = GlyphRecord(cache, FT_Get_Char_Index(cache.face, codePoint)) + 1;
        return slot - 1;
    }
    auto found = cache.supplementary.find(codePoint);
    if (found != cache.supplementary.end()) return found->second;
    int32_t record = GlyphRecord(cache, FT_Get_Char_Index(cache.face, codePoint));
    cache.supplementary.emplace(codePoint, record);
    return record;
}

// The glyph for the text at position i, advancing i past one or two code units. An unpaired
// surrogate is looked up as itself, which no font maps, so it shows the missing-glyph shape.
inline const Glyph &NextGlyph(SizeCache &cache, const char16_t *text, int count, int &i) {
    uint32_t unit = text[i++];
    if (unit >= 0xD800 && unit <= 0xDBFF && i < count && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
        uint32_t low = text[i++];
        return cache.glyphs[CodePointRecord(cache, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00))];
    }
    if (unit <= 0xFFFF) {
        const Page *page = cache.pages[unit >> 8].get();
        if (page != nullptr) {
            int32_t slot = (*page)[unit & 0xFF];
            if (slot != 0) return cache.glyphs[slot - 1];
        }
    }
    return cache.glyphs[CodePointRecord(cache, unit)];
}

// Line metrics the platform's way: the Windows ascent and descent scaled to the pixel height
// `px` and rounded each; the average width from the cached advances of A-Z a-z.
void ComputeMetrics(SizeCache &cache, int px) {
    FT_Face face = cache.face;
    auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    int ascent = 0;
    int descent = 0;
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        ascent = Scale(px, os2->usWinAscent, face->units_per_EM);
        descent = Scale(px, os2->usWinDescent, face->units_per_EM);
    } else if (FT_IS_SCALABLE(face)) {
        ascent = Scale(px, face->ascender, face->units_per_EM);
        descent = Scale(px, -static_cast<long>(face->descender), face->units_per_EM);
    } else {
        ascent = static_cast<int>(cache.size->metrics.ascender >> 6);
        descent = static_cast<int>(-(cache.size->metrics.descender >> 6));
    }
    if (ascent <= 0) ascent = px;
    descent = std::max(descent, 0);
    cache.metrics.ascent = ascent;
    cache.metrics.descent = descent;
    cache.metrics.height = ascent + descent;

    long sum = 0;
    for (uint32_t c = 'A'; c <= 'Z'; ++c) sum += cache.glyphs[CodePointRecord(cache, c)].advance;
    for (uint32_t c = 'a'; c <= 'z'; ++c) sum += cache.glyphs[CodePointRecord(cache, c)].advance;
    cache.metrics.averageCharWidth = std::max(1, static_cast<int>((sum + 26) / 52));
}

// A cache for one face at one height, its size selected and its metrics computed; null when
// FreeType refuses the size.
std::unique_ptr<SizeCache> MakeCache(int px, bool bold, FT_Face face, bool synthetic) {
    auto cache = std::make_unique<SizeCache>();
    cache->pixelHeight = px;
    cache->bold = bold;
    cache->face = face;
    cache->synthetic = synthetic;
    if (FT_New_Size(face, &cache->size) != 0) {
        cache->size = nullptr;
        return nullptr;
    }
    FT_Activate_Size(cache->size);
    int ppem = px;
    if (FT_IS_SCALABLE(face)) {
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(px)) != 0) return nullptr;
    } else {
        // A bitmap-only face draws at its strike nearest to the height asked for.
        if (face->num_fixed_sizes <= 0) return nullptr;
        int best = 0;
        for (int i = 1; i < face->num_fixed_sizes; ++i) {
            if (std::abs(face->available_sizes[i].height - px) < std::abs(face->available_sizes[best].height - px))
                best = i;
        }
        if (FT_Select_Size(face, best) != 0) return nullptr;
        ppem = face->available_sizes[best].height;
    }
    ComputeMetrics(*cache, ppem);
    return cache;
}

long InkOf(SizeCache &cache, std::u16string_view sample) {
    long ink = 0;
    for (char16_t c : sample) ink += cache.glyphs[CodePointRecord(cache, c)].count;
    return ink;
}

SizeCache *CacheFor(const Style &style);

// Whether the bold file really draws bold at this height. fonts-wine's Tahoma Bold has true bold
// strikes at 9 to 12 px only: its 13, 15 and 16 px strikes repeat the regular design, and its
// outlines render with one-pixel stems at small sizes. Stems ("l", "H") that set fewer than a
// quarter more pixels than the regular ones are not told apart on screen; the regular face drawn
// twice is used instead.
bool DrawsBold(SizeCache &bold) {
    SizeCache *regular = CacheFor(Style{bold.pixelHeight, false});
    if (regular == nullptr) return true;
    constexpr std::u16string_view kSample = u"lH";
    return 4 * InkOf(bold, kSample) >= 5 * InkOf(*regular, kSample);
}

SizeCache *CacheFor(const Style &style) {
    if (!g.tried) Init();
    if (!g.ok) return nullptr;
    const int px = ClampHeight(style.pixelHeight);
    if (g.last != nullptr && g.last->pixelHeight == px && g.last->bold == style.bold) return g.last;
    for (auto &cache : g.sizes) {
        if (cache->pixelHeight == px && cache->bold == style.bold) return g.last = cache.get();
    }
    std::unique_ptr<SizeCache> cache;
    if (style.bold && g.bold != nullptr) {
        cache = MakeCache(px, true, g.bold, false);
        if (cache != nullptr && !DrawsBold(*cache)) cache.reset();
    }
    if (cache == nullptr) cache = MakeCache(px, style.bold, g.regular, style.bold);
    if (cache == nullptr) return g.last = nullptr;
    g.sizes.push_back(std::move(cache));
    return g.last = g.sizes.back().get();
}

}  // namespace

bool Init() {
    if (g.tried) return g.ok;
    return Load(kSystemFamily);
}

bool Reload(const char *family) {
    Unload();
    return Load(family);
}

const char *FamilyName() {
    if (!g.tried) Init();
    return g.family.c_str();
}

bool SyntheticBold(int pixelHeight) {
    const SizeCache *cache = CacheFor(Style{pixelHeight, true});
    return cache != nullptr && cache->synthetic;
}

Metrics GetMetrics(const Style &style) {
    if (const SizeCache *cache = CacheFor(style)) return cache->metrics;
    const int px = ClampHeight(style.pixelHeight);
    return Metrics{px, px, 0, std::max(1, px / 2)};
}

int Measure(const Style &style, const char16_t *text, int count) {
    if (text == nullptr || count <= 0) return 0;
    SizeCache *cache = CacheFor(style);
    if (cache == nullptr) return 0;
    long long width = 0;
    for (int i = 0; i < count;) width += NextGlyph(*cache, text, count, i).advance;
    return static_cast<int>(std::min<long long>(width, INT_MAX));
}

int Draw(const Style &style, const char16_t *text, int count, int x, int top, PlotFn plot, void *context) {
    if (text == nullptr || count <= 0) return 0;
    SizeCache *cache = CacheFor(style);
    if (cache == nullptr) return 0;
    // Pixels lie within kMaxBitmapSide of the pen; glyphs whose pixels could leave the int range
    // are skipped (they are far off any screen), so the sums below never overflow.
    constexpr long long kSafe = INT_MAX - 2LL * kMaxBitmapSide;
    const long long baseline = static_cast<long long>(top) + cache->metrics.ascent;
    const bool rowsSafe = baseline >= -kSafe && baseline <= kSafe;
    long long pen = x;
    for (int i = 0; i < count;) {
        const Glyph &glyph = NextGlyph(*cache, text, count, i);
        if (plot != nullptr && rowsSafe && pen >= -kSafe && pen <= kSafe) {
            const int px = static_cast<int>(pen);
            const int py = static_cast<int>(baseline);
            const Pixel *pixel = cache->pixels.data() + glyph.first;
            const Pixel *end = pixel + glyph.count;
            for (; pixel != end; ++pixel) plot(context, px + pixel->dx, py + pixel->dy);
        }
        pen += glyph.advance;
    }
    return static_cast<int>(std::min<long long>(pen - x, INT_MAX));
}

}  // namespace font
