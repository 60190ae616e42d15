// The reader of the program's compiled resources (a .res image embedded in the executable).
//
// Implements: the .res entry walk, lookup by type and name with a preference for language 1033,
// string tables, accelerator tables, DIBs of 1, 4, 8, 16 (5-5-5), 24 and 32 bits per pixel
// (uncompressed), icon images and icon groups, menu templates, RIFF WAVE files (PCM, 8 or 16 bit,
// mono or stereo), classic dialog templates and the shell's menu-bar record.
// Leaves out: compressed or bit-field bitmaps, extended dialog and menu templates, the cursor types,
// sound formats other than PCM.
//
// Every read goes through a Cursor that knows where its bytes end; a length or offset that points
// outside them makes the whole item "not found". Sizes are capped so that a lying header can
// neither allocate much nor loop long.
#include "resfile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "capacities.h"

namespace res {
namespace {

constexpr std::uint16_t kLanguageUsEnglish = 1033;
constexpr std::size_t kEntryHeaderMin = 32;  // sizes, two ordinals, the five trailing fields
using core::kMaxDibSide;
using core::kMaxMenuDepth;
using core::kMaxMenuItems;
using core::kMaxNameChars;
using core::kMaxTextChars;

// Bounded little-endian reads over a byte range. Any failed read leaves the cursor failed, so a
// parser may read a whole header and check once.
class Cursor {
public:
    explicit Cursor(Bytes bytes, std::size_t at = 0) : bytes_(bytes), at_(at) {
        if (bytes_.data == nullptr) bytes_.size = 0;
        if (at_ > bytes_.size) ok_ = false;
    }

    bool Ok() const { return ok_; }
    std::size_t At() const { return at_; }
    std::size_t Left() const { return ok_ ? bytes_.size - at_ : 0; }

    std::uint8_t U8() {
        if (!Need(1)) return 0;
        return bytes_.data[at_++];
    }
    std::uint16_t U16() {
        if (!Need(2)) return 0;
        std::uint16_t value = static_cast<std::uint16_t>(bytes_.data[at_] | (bytes_.data[at_ + 1] << 8));
        at_ += 2;
        return value;
    }
    std::uint32_t U32() {
        std::uint32_t low = U16();
        std::uint32_t high = U16();
        return low | (high << 16);
    }
    std::int16_t S16() { return static_cast<std::int16_t>(U16()); }
    std::int32_t S32() { return static_cast<std::int32_t>(U32()); }

    bool Skip(std::size_t count) {
        if (!Need(count)) return false;
        at_ += count;
        return true;
    }
    // Moves to the next multiple of `alignment`, counted from the start of the range.
    bool Align(std::size_t alignment) {
        std::size_t pad = (alignment - at_ % alignment) % alignment;
        return Skip(pad);
    }
    // A view of the next `count` bytes, consumed.
    bool Take(std::size_t count, Bytes *out) {
        if (!Need(count)) return false;
        *out = Bytes{bytes_.data + at_, count};
        at_ += count;
        return true;
    }
    bool Tag(const char (&tag)[5]) {
        if (!Need(4)) return false;
        bool same = std::memcmp(bytes_.data + at_, tag, 4) == 0;
        at_ += 4;
        return same;
    }

    // A zero-terminated UTF-16 string of at most `maxChars` characters.
    bool String(std::u16string *out, std::size_t maxChars) {
        out->clear();
        for (;;) {
            std::uint16_t c = U16();
            if (!ok_) return false;
            if (c == 0) return true;
            if (out->size() == maxChars) return Fail();
            out->push_back(static_cast<char16_t>(c));
        }
    }

    // A name or ordinal as resources and templates store them: 0xFFFF then the ordinal, or a
    // zero-terminated string. `zeroIsNone` accepts a lone 0x0000 (a dialog's "no menu, default
    // class"), read as ordinal 0.
    bool NameOrOrdinal(Id *out, std::size_t maxChars, bool zeroIsNone) {
        if (!Need(2)) return false;
        std::uint16_t first = static_cast<std::uint16_t>(bytes_.data[at_] | (bytes_.data[at_ + 1] << 8));
        if (first == 0xFFFF) {
            at_ += 2;
            *out = Ordinal(U16());
            return ok_;
        }
        if (first == 0 && zeroIsNone) {
            at_ += 2;
            *out = Ordinal(0);
            return true;
        }
        out->isOrdinal = false;
        out->ordinal = 0;
        return String(&out->name, maxChars);
    }

private:
    bool Need(std::size_t count) {
        if (!ok_ || count > bytes_.size - at_) return Fail();
        return true;
    }
    bool Fail() {
        ok_ = false;
        return false;
    }

    Bytes bytes_;
    std::size_t at_;
    bool ok_ = true;
};

char16_t FoldCase(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool SameId(const Id &a, const Id &b) {
    if (a.isOrdinal != b.isOrdinal) return false;
    if (a.isOrdinal) return a.ordinal == b.ordinal;
    if (a.name.size() != b.name.size()) return false;
    for (std::size_t i = 0; i < a.name.size(); ++i)
        if (FoldCase(a.name[i]) != FoldCase(b.name[i])) return false;
    return true;
}

// Reads the entry at `at`; `next` receives the offset of the following one. False when malformed.
bool ReadEntry(Bytes image, std::size_t at, Entry *entry, std::size_t *next) {
    Cursor head(image, at);
    std::uint32_t dataSize = head.U32();
    std::uint32_t headerSize = head.U32();
    if (!head.Ok() || headerSize < kEntryHeaderMin) return false;
    std::size_t left = image.size - at;
    if (headerSize > left || dataSize > left - headerSize) return false;

    Bytes header{image.data + at, headerSize};
    Cursor fields(header, 8);
    fields.NameOrOrdinal(&entry->type, kMaxNameChars, false);
    fields.NameOrOrdinal(&entry->name, kMaxNameChars, false);
    fields.Align(4);
    fields.U32();  // data version
    fields.U16();  // memory flags
    entry->language = fields.U16();
    fields.U32();  // version
    fields.U32();  // characteristics
    if (!fields.Ok()) return false;

    entry->data = Bytes{image.data + at + headerSize, dataSize};
    std::size_t end = at + headerSize + dataSize;
    *next = end + (4 - end % 4) % 4;
    return true;
}

// Walks the entries, calling `visit(entry)` for each but the empty marker; false when malformed.
template <typename Visit>
bool Walk(Bytes image, Visit visit) {
    if (image.data == nullptr) return false;
    std::size_t at = 0;
    // Trailing padding shorter than an entry header ends the image.
    while (at < image.size && image.size - at >= 8) {
        Entry entry;
        std::size_t next = 0;
        if (!ReadEntry(image, at, &entry, &next)) return false;
        bool marker = entry.type.isOrdinal && entry.type.ordinal == 0 && entry.data.size == 0;
        if (!marker) visit(entry);
        at = next;
    }
    return true;
}

// The pixel layout of a DIB, read from its header and checked against the bytes that follow.
struct DibLayout {
    std::int32_t width = 0, height = 0;  // height of the colour image (an icon's half)
    bool bottomUp = true;
    int bitsPerPixel = 0;
    std::uint32_t palette[256] = {};
    std::size_t paletteCount = 0;
    std::size_t stride = 0;    // bytes a row, padded to 4
    std::size_t pixelsAt = 0;  // offset of the first stored row
};

std::size_t Stride(std::int32_t width, int bitsPerPixel) {
    return ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel) + 31) / 32) * 4;
}

// `icon`: the header states twice the height (colour image, then the mask) and must be bottom-up.
bool ReadDibLayout(Bytes data, bool icon, DibLayout *layout) {
    Cursor c(data);
    std::uint32_t headerSize = c.U32();
    std::int32_t width = c.S32();
    std::int32_t height = c.S32();
    std::uint16_t planes = c.U16();
    std::uint16_t bits = c.U16();
    std::uint32_t compression = c.U32();
    c.U32();  // image size: often 0 for BI_RGB, recomputed below
    c.U32();  // pixels per metre, x
    c.U32();  // pixels per metre, y
    std::uint32_t coloursUsed = c.U32();
    if (!c.Ok() || headerSize < 40 || headerSize > 124 || headerSize > data.size) return false;
    if (planes != 1 || compression != 0) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (width <= 0 || width > kMaxDibSide) return false;
    if (height == 0 || height < -kMaxDibSide || height > kMaxDibSide * 2) return false;
    if (icon) {
        if (height < 0 || height % 2 != 0) return false;
        height /= 2;
    }
    if (height > kMaxDibSide) return false;

    layout->width = width;
    layout->bottomUp = height > 0;
    layout->height = height > 0 ? height : -height;
    layout->bitsPerPixel = bits;
    layout->paletteCount = 0;
    if (bits <= 8) {
        std::size_t full = std::size_t{1} << bits;
        layout->paletteCount = coloursUsed == 0 ? full : coloursUsed;
        if (layout->paletteCount > full) return false;
    }
    Cursor palette(data, headerSize);
    for (std::size_t i = 0; i < layout->paletteCount; ++i) {
        std::uint8_t blue = palette.U8(), green = palette.U8(), red = palette.U8();
        palette.U8();
        layout->palette[i] = (std::uint32_t{red} << 16) | (std::uint32_t{green} << 8) | blue;
    }
    if (!palette.Ok()) return false;
    layout->pixelsAt = palette.At();
    layout->stride = Stride(width, bits);
    std::size_t rows = static_cast<std::size_t>(layout->height);
    return layout->stride * rows <= data.size - layout->pixelsAt;
}

std::uint32_t PixelAt(const DibLayout &layout, const std::uint8_t *row, std::int32_t x) {
    std::size_t ux = static_cast<std::size_t>(x);
    auto fromPalette = [&](std::size_t index) { return index < layout.paletteCount ? layout.palette[index] : 0u; };
    switch (layout.bitsPerPixel) {
    case 1: return fromPalette((row[ux / 8] >> (7 - ux % 8)) & 1);
    case 4: return fromPalette((ux % 2 == 0) ? row[ux / 2] >> 4 : row[ux / 2] & 0x0F);
    case 8: return fromPalette(row[ux]);
    case 16: {
        unsigned v = row[ux * 2] | (row[ux * 2 + 1] << 8);
        unsigned red = (v >> 10) & 31, green = (v >> 5) & 31, blue = v & 31;
        return ((red * 255 / 31) << 16) | ((green * 255 / 31) << 8) | (blue * 255 / 31);
    }
    case 24: return (std::uint32_t{row[ux * 3 + 2]} << 16) | (std::uint32_t{row[ux * 3 + 1]} << 8) | row[ux * 3];
    default: return (std::uint32_t{row[ux * 4 + 2]} << 16) | (std::uint32_t{row[ux * 4 + 1]} << 8) | row[ux * 4];
    }
}

// Decodes the colour image of `layout` into `out` (top row first).
void DecodePixels(Bytes data, const DibLayout &layout, Image *out) {
    out->width = layout.width;
    out->height = layout.height;
    out->pixels.assign(static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height), 0);
    out->mask.clear();
    for (std::int32_t y = 0; y < layout.height; ++y) {
        std::int32_t stored = layout.bottomUp ? layout.height - 1 - y : y;
        const std::uint8_t *row = data.data + layout.pixelsAt + static_cast<std::size_t>(stored) * layout.stride;
        for (std::int32_t x = 0; x < layout.width; ++x)
            out->pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(layout.width) +
                        static_cast<std::size_t>(x)] = PixelAt(layout, row, x);
    }
}

bool ParseMenuItems(Cursor &c, int depth, std::size_t *count, std::vector<MenuItem> *out) {
    constexpr std::uint16_t kPopup = 0x10, kEnd = 0x80;
    if (depth > kMaxMenuDepth) return false;
    for (;;) {
        if (++*count > kMaxMenuItems) return false;
        MenuItem item;
        item.flags = c.U16();
        if (!(item.flags & kPopup)) item.command = c.U16();
        if (!c.String(&item.text, kMaxTextChars) || !c.Ok()) return false;
        if ((item.flags & kPopup) && !ParseMenuItems(c, depth + 1, count, &item.children)) return false;
        bool last = (item.flags & kEnd) != 0;
        out->push_back(std::move(item));
        if (last) return true;
    }
}

}  // namespace

bool ListEntries(Bytes image, std::vector<Entry> *out) {
    std::vector<Entry> entries;
    if (!Walk(image, [&](const Entry &entry) { entries.push_back(entry); })) return false;
    *out = std::move(entries);
    return true;
}

bool Find(Bytes image, const Id &type, const Id &name, Bytes *out) {
    bool found = false, preferred = false;
    Bytes best;
    bool ok = Walk(image, [&](const Entry &entry) {
        if (preferred || !SameId(entry.type, type) || !SameId(entry.name, name)) return;
        if (!found || entry.language == kLanguageUsEnglish) {
            best = entry.data;
            found = true;
            preferred = entry.language == kLanguageUsEnglish;
        }
    });
    if (!ok || !found) return false;
    *out = best;
    return true;
}

bool LoadString(Bytes image, unsigned id, std::u16string *out) {
    out->clear();
    if (id > 0xFFFF) return false;
    Bytes block;
    if (!Find(image, Ordinal(kTypeString), Ordinal(static_cast<std::uint16_t>(id / 16 + 1)), &block)) return false;
    Cursor c(block);
    for (unsigned i = 0; i < id % 16; ++i) c.Skip(std::size_t{c.U16()} * 2);
    std::size_t length = c.U16();
    Bytes text;
    if (!c.Take(length * 2, &text)) return false;
    for (std::size_t i = 0; i < length; ++i)
        out->push_back(static_cast<char16_t>(text.data[i * 2] | (text.data[i * 2 + 1] << 8)));
    return true;
}

bool ParseAccelerators(Bytes data, std::vector<Accel> *out) {
    constexpr std::uint16_t kLast = 0x80;
    std::vector<Accel> table;
    Cursor c(data);
    for (;;) {
        std::uint16_t flags = c.U16();
        std::uint16_t key = c.U16();
        std::uint16_t command = c.U16();
        c.U16();                    // padding
        if (!c.Ok()) return false;  // ran out before the entry marked last
        table.push_back(Accel{static_cast<std::uint8_t>(flags), key, command});
        if (flags & kLast) break;
    }
    *out = std::move(table);
    return true;
}

bool DecodeDib(Bytes data, Image *out) {
    DibLayout layout;
    if (data.data == nullptr || !ReadDibLayout(data, false, &layout)) return false;
    DecodePixels(data, layout, out);
    return true;
}

bool DecodeIconImage(Bytes data, Image *out) {
    DibLayout layout;
    if (data.data == nullptr || !ReadDibLayout(data, true, &layout)) return false;
    // The AND mask follows the colour rows: 1 bit a pixel, rows padded to 4 bytes, bottom-up.
    std::size_t maskAt = layout.pixelsAt + layout.stride * static_cast<std::size_t>(layout.height);
    std::size_t maskStride = Stride(layout.width, 1);
    if (maskStride * static_cast<std::size_t>(layout.height) > data.size - maskAt) return false;
    DecodePixels(data, layout, out);
    out->mask.assign(out->pixels.size(), 0);
    for (std::int32_t y = 0; y < layout.height; ++y) {
        const std::uint8_t *row = data.data + maskAt + static_cast<std::size_t>(layout.height - 1 - y) * maskStride;
        for (std::int32_t x = 0; x < layout.width; ++x) {
            std::size_t ux = static_cast<std::size_t>(x);
            out->mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(layout.width) + ux] =
                (row[ux / 8] >> (7 - ux % 8)) & 1;
        }
    }
    return true;
}

bool LoadIcon(Bytes image, const Id &name, int size, Image *out) {
    Bytes group;
    if (!Find(image, Ordinal(kTypeGroupIcon), name, &group)) return false;
    Cursor c(group);
    c.U16();  // reserved
    std::uint16_t type = c.U16();
    std::uint16_t count = c.U16();
    if (!c.Ok() || type != 1 || count == 0) return false;
    // 14-byte entries: width, height, colours, reserved, planes, bits, bytes, icon ordinal.
    int bestDistance = 0;
    std::uint16_t bestId = 0;
    bool any = false;
    for (unsigned i = 0; i < count; ++i) {
        int width = c.U8();
        c.Skip(7);
        c.U32();
        std::uint16_t id = c.U16();
        if (!c.Ok()) return false;
        if (width == 0) width = 256;
        int distance = std::abs(width - size);
        if (!any || distance < bestDistance) {
            any = true;
            bestDistance = distance;
            bestId = id;
        }
    }
    Bytes icon;
    return Find(image, Ordinal(kTypeIcon), Ordinal(bestId), &icon) && DecodeIconImage(icon, out);
}

bool ParseMenu(Bytes data, std::vector<MenuItem> *out) {
    Cursor c(data);
    std::uint16_t version = c.U16();
    std::uint16_t headerSize = c.U16();
    if (!c.Ok() || version != 0 || !c.Skip(headerSize)) return false;
    std::vector<MenuItem> items;
    std::size_t count = 0;
    if (!ParseMenuItems(c, 0, &count, &items)) return false;
    *out = std::move(items);
    return true;
}

bool ParseWave(Bytes data, Wave *out) {
    if (data.data == nullptr) return false;
    Cursor c(data);
    if (!c.Tag("RIFF")) return false;
    std::uint32_t riffSize = c.U32();
    if (!c.Tag("WAVE") || !c.Ok() || riffSize < 4) return false;
    // The chunks end where the RIFF size says, or at the end of the data if that comes first.
    Bytes body{data.data, std::min<std::size_t>(data.size, std::size_t{riffSize} + 8)};
    Cursor chunks(body, 12);

    Wave wave;
    bool haveFormat = false, haveData = false;
    Bytes samples;
    while (chunks.Left() >= 8) {
        char id[4];
        for (char &ch : id) ch = static_cast<char>(chunks.U8());
        std::uint32_t size = chunks.U32();
        Bytes chunk;
        if (!chunks.Take(size, &chunk)) return false;
        if (size % 2 != 0 && chunks.Left() > 0) chunks.Skip(1);  // chunks are padded to even sizes
        Cursor fields(chunk);
        if (std::memcmp(id, "fmt ", 4) == 0) {
            std::uint16_t format = fields.U16();
            std::uint16_t channels = fields.U16();
            std::uint32_t rate = fields.U32();
            fields.U32();  // bytes a second
            std::uint16_t blockAlign = fields.U16();
            std::uint16_t bits = fields.U16();
            if (!fields.Ok() || format != 1) return false;
            if (channels < 1 || channels > 2 || (bits != 8 && bits != 16)) return false;
            if (rate == 0 || rate > 384000 || blockAlign != channels * bits / 8) return false;
            wave.rate = static_cast<int>(rate);
            wave.channels = channels;
            wave.bitsPerSample = bits;
            haveFormat = true;
        } else if (std::memcmp(id, "fact", 4) == 0) {
            wave.factSamples = fields.U32();
            if (!fields.Ok()) return false;
            wave.hasFact = true;
        } else if (std::memcmp(id, "data", 4) == 0) {
            if (haveData) return false;
            samples = chunk;
            haveData = true;
        }
    }
    if (!haveFormat || !haveData) return false;

    // Mix down to mono 16-bit: 8-bit samples are unsigned around 128.
    std::size_t bytesPerSample = static_cast<std::size_t>(wave.bitsPerSample / 8);
    std::size_t frameBytes = bytesPerSample * static_cast<std::size_t>(wave.channels);
    std::size_t frames = samples.size / frameBytes;
    wave.samples.resize(frames);
    for (std::size_t f = 0; f < frames; ++f) {
        int sum = 0;
        for (int ch = 0; ch < wave.channels; ++ch) {
            const std::uint8_t *p = samples.data + f * frameBytes + static_cast<std::size_t>(ch) * bytesPerSample;
            if (bytesPerSample == 1)
                sum += (p[0] - 128) * 256;
            else
                sum += static_cast<std::int16_t>(p[0] | (p[1] << 8));
        }
        wave.samples[f] = static_cast<std::int16_t>(sum / wave.channels);
    }
    *out = std::move(wave);
    return true;
}

bool ParseDialog(Bytes data, Dialog *out) {
    constexpr std::uint32_t kSetFont = 0x40;
    if (data.data == nullptr) return false;
    Cursor c(data);
    Dialog dialog;
    dialog.style = c.U32();
    dialog.exStyle = c.U32();
    std::uint16_t count = c.U16();
    dialog.x = c.S16();
    dialog.y = c.S16();
    dialog.cx = c.S16();
    dialog.cy = c.S16();
    if (!c.Ok()) return false;
    // The extended form opens with the words 1, 0xFFFF, read here as the style.
    if (dialog.style == 0xFFFF0001) return false;
    c.NameOrOrdinal(&dialog.menu, kMaxNameChars, true);
    c.NameOrOrdinal(&dialog.windowClass, kMaxNameChars, true);
    c.String(&dialog.title, kMaxTextChars);
    if (dialog.style & kSetFont) {
        dialog.pointSize = c.U16();
        c.String(&dialog.faceName, kMaxNameChars);
    }
    if (!c.Ok()) return false;

    for (unsigned i = 0; i < count; ++i) {
        DialogItem item;
        c.Align(4);  // each item starts on a 4-byte boundary
        item.style = c.U32();
        item.exStyle = c.U32();
        item.x = c.S16();
        item.y = c.S16();
        item.cx = c.S16();
        item.cy = c.S16();
        item.id = c.U16();
        c.NameOrOrdinal(&item.windowClass, kMaxNameChars, false);
        c.NameOrOrdinal(&item.title, kMaxTextChars, false);
        // Creation data: a size word, then that many bytes.
        std::uint16_t extra = c.U16();
        c.Skip(extra);
        if (!c.Ok()) return false;
        dialog.items.push_back(std::move(item));
    }
    *out = std::move(dialog);
    return true;
}

bool ParseMenuBar(Bytes data, MenuBar *out) {
    if (data.data == nullptr) return false;
    Cursor c(data);
    MenuBar bar;
    bar.menuId = c.U16();
    std::uint16_t count = c.U16();
    if (!c.Ok() || std::size_t{count} * 14 > c.Left()) return false;
    for (unsigned i = 0; i < count; ++i) {
        MenuBarButton button;
        button.image = c.S16();
        button.command = c.U16();
        button.state = c.U16();
        button.style = c.U16();
        button.stringId = c.U16();
        c.U16();  // reserved
        button.submenu = c.U16();
        bar.buttons.push_back(button);
    }
    *out = std::move(bar);
    return true;
}

}  // namespace res
