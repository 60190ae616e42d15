// The resource reader over hand-built and damaged images: lookups, formats, and that a lying or
// truncated item is "not found" rather than a crash or an over-read (run under the sanitizers).
#include <gtest/gtest.h>

#include "res_helpers.h"

using namespace restest;

namespace {

Blob Bytes(std::initializer_list<int> values) {
    Blob out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

// A bottom-up DIB with a palette of `colours` entries (blue, green, red, 0) and the given rows.
Blob Dib(int width, int height, int bits, const std::vector<std::uint32_t> &palette, const Blob &rows,
         std::uint32_t coloursUsed = 0) {
    Blob out;
    for (std::uint32_t v : {40u, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)}) Put32(out, v);
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(bits));
    for (std::uint32_t v : {0u, 0u, 0u, 0u, coloursUsed, 0u}) Put32(out, v);
    for (std::uint32_t colour : palette) Put32(out, colour);
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

Blob Chunk(const char *id, const Blob &body) {
    Blob out(id, id + 4);
    Put32(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2) out.push_back(0);
    return out;
}

Blob Format(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits) {
    Blob out;
    Put16(out, tag);
    Put16(out, channels);
    Put32(out, rate);
    Put32(out, rate * channels * bits / 8);
    Put16(out, channels * bits / 8);
    Put16(out, bits);
    return out;
}

// Overwrites the four bytes at `at` with `value`, little-endian.
void Put32At(Blob &blob, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) blob[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

Blob Riff(const std::vector<Blob> &chunks) {
    Blob body = {'W', 'A', 'V', 'E'};
    for (const Blob &chunk : chunks) body.insert(body.end(), chunk.begin(), chunk.end());
    Blob out = {'R', 'I', 'F', 'F'};
    Put32(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace

TEST(ResourceReader, FindPrefersUsEnglishAndComparesNamesWithoutCase) {
    ResBuilder builder;
    builder.Add(res::Ordinal(10), res::Ordinal(7), 1031, {1})
        .Add(res::Ordinal(10), res::Ordinal(7), 1033, {2})
        .Add(res::Ordinal(10), res::Ordinal(8), 1031, {3})
        .Add(res::Named(u"WAVE"), res::Named(u"CLICK"), 1033, {4, 5});
    res::Bytes out;
    ASSERT_TRUE(res::Find(View(builder.Image()), res::Ordinal(10), res::Ordinal(7), &out));
    EXPECT_EQ(out.data[0], 2);
    ASSERT_TRUE(res::Find(View(builder.Image()), res::Ordinal(10), res::Ordinal(8), &out));
    EXPECT_EQ(out.data[0], 3);  // only German: taken all the same
    ASSERT_TRUE(res::Find(View(builder.Image()), res::Named(u"wave"), res::Named(u"Click"), &out));
    EXPECT_EQ(out.size, 2u);
    EXPECT_FALSE(res::Find(View(builder.Image()), res::Ordinal(10), res::Ordinal(9), &out));
    EXPECT_FALSE(res::Find(View(builder.Image()), res::Named(u"WAV"), res::Named(u"CLICK"), &out));
    EXPECT_FALSE(res::Find(View(builder.Image()), res::Ordinal(4), res::Ordinal(7), &out));
    EXPECT_FALSE(res::Find(res::Bytes{}, res::Ordinal(10), res::Ordinal(7), &out));
}

TEST(ResourceReader, LyingOrTruncatedEntryHeadersMakeTheImageUnreadable) {
    ResBuilder builder;
    builder.Add(res::Ordinal(10), res::Ordinal(1), 1033, Blob(10, 7)).Add(res::Ordinal(10), res::Ordinal(2), 1033, {9});
    const Blob &good = builder.Image();
    res::Bytes out;
    // Cut anywhere: never an over-read; the entry is found only when it lies wholly inside.
    std::size_t secondEnd = good.size() - 3;  // the last entry's data ends before its padding
    for (std::size_t length = 0; length < good.size(); ++length) {
        Blob cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        bool found = res::Find(View(cut), res::Ordinal(10), res::Ordinal(2), &out);
        EXPECT_EQ(found, length >= secondEnd) << length;
    }
    // The second entry claims more data than the image holds.
    Blob lying = good;
    std::size_t second = 32 + 44;  // the marker, then the first entry: 32 header + 10 data + 2 padding
    lying[second] = 0xFF;
    EXPECT_FALSE(res::Find(View(lying), res::Ordinal(10), res::Ordinal(1), &out));
    // A header size too small to hold the fields, and one past the end.
    for (std::uint8_t headerSize : {8, 31, 250}) {
        Blob bad = good;
        bad[second + 4] = headerSize;
        EXPECT_FALSE(res::Find(View(bad), res::Ordinal(10), res::Ordinal(2), &out)) << int(headerSize);
    }
    // A header that ends inside the type's name.
    ResBuilder named;
    named.Add(res::Named(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ"), res::Ordinal(1), 1033, {});
    Blob cutName = named.Image();
    cutName[32 + 4] = 40;
    std::vector<res::Entry> entries;
    EXPECT_TRUE(res::ListEntries(View(named.Image()), &entries));
    EXPECT_FALSE(res::ListEntries(View(cutName), &entries));
}

TEST(ResourceReader, StringTableBlocks) {
    Blob block;
    for (int i = 0; i < 16; ++i) {
        if (i == 3) {
            Put16(block, 2);
            Put16(block, 'h');
            Put16(block, 'i');
        } else {
            Put16(block, 0);
        }
    }
    ResBuilder builder;
    builder.Add(res::Ordinal(res::kTypeString), res::Ordinal(2), 1033, block);  // strings 16-31
    std::u16string text;
    EXPECT_TRUE(res::LoadString(View(builder.Image()), 19, &text));
    EXPECT_EQ(text, u"hi");
    EXPECT_TRUE(res::LoadString(View(builder.Image()), 18, &text));
    EXPECT_EQ(text, u"");
    EXPECT_FALSE(res::LoadString(View(builder.Image()), 3, &text));
    EXPECT_FALSE(res::LoadString(View(builder.Image()), 0x10000 + 19, &text));
    // A count longer than the block.
    Blob lying = block;
    lying[6] = 40;
    ResBuilder bad;
    bad.Add(res::Ordinal(res::kTypeString), res::Ordinal(2), 1033, lying);
    EXPECT_FALSE(res::LoadString(View(bad.Image()), 19, &text));
    EXPECT_TRUE(text.empty());
}

TEST(ResourceReader, AcceleratorsStopAtTheLastMarkAndNeedOne) {
    std::vector<res::Accel> table;
    Blob data = Bytes({0x01, 0, 'X', 0, 5, 0, 0, 0, 0x81, 0, 'Y', 0, 6, 0, 0, 0, 0xFF, 0xFF});
    ASSERT_TRUE(res::ParseAccelerators(View(data), &table));
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[1].key, 'Y');
    EXPECT_EQ(table[1].command, 6);
    Blob unterminated(data.begin(), data.begin() + 8);
    EXPECT_FALSE(res::ParseAccelerators(View(unterminated), &table));
    EXPECT_FALSE(res::ParseAccelerators(res::Bytes{}, &table));
}

TEST(ResourceReader, DibDepthsDecodeTopRowFirst) {
    res::Image image;
    // 1 bit, 3 x 2: bottom row "on off on", top row "off on off"; rows padded to 4 bytes.
    Blob mono = Dib(3, 2, 1, {0x000000, 0x00FFFFFF}, Bytes({0xA0, 0, 0, 0, 0x40, 0, 0, 0}));
    ASSERT_TRUE(res::DecodeDib(View(mono), &image));
    EXPECT_EQ(image.pixels, (std::vector<std::uint32_t>{0, 0xFFFFFF, 0, 0xFFFFFF, 0, 0xFFFFFF}));
    EXPECT_TRUE(image.mask.empty());
    // 4 bits with a short palette: index 1 is the second entry; an index past it is black.
    Blob four = Dib(2, 1, 4, {0x112233, 0x445566}, Bytes({0x1F, 0, 0, 0}), 2);
    ASSERT_TRUE(res::DecodeDib(View(four), &image));
    EXPECT_EQ(image.pixels, (std::vector<std::uint32_t>{0x445566, 0}));
    // 8 bits.
    Blob eight = Dib(1, 1, 8, std::vector<std::uint32_t>(256, 0x0000FF00), Bytes({200, 0, 0, 0}));
    ASSERT_TRUE(res::DecodeDib(View(eight), &image));
    EXPECT_EQ(image.pixels[0], 0x00FF00u);
    // 24 bits stored top-down (negative height), blue-green-red.
    Blob deep = Dib(1, -2, 24, {}, Bytes({0x01, 0x02, 0x03, 0, 0x04, 0x05, 0x06, 0}));
    ASSERT_TRUE(res::DecodeDib(View(deep), &image));
    EXPECT_EQ(image.pixels, (std::vector<std::uint32_t>{0x030201, 0x060504}));
    // 32 bits.
    Blob full = Dib(1, 1, 32, {}, Bytes({0x10, 0x20, 0x30, 0x99}));
    ASSERT_TRUE(res::DecodeDib(View(full), &image));
    EXPECT_EQ(image.pixels[0], 0x302010u);
}

TEST(ResourceReader, MalformedDibsAreRejected) {
    res::Image image;
    Blob good = Dib(8, 2, 4, std::vector<std::uint32_t>(16, 0), Blob(8, 0x11));
    ASSERT_TRUE(res::DecodeDib(View(good), &image));
    for (std::size_t length = 0; length < good.size(); ++length) {
        Blob cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(res::DecodeDib(View(cut), &image)) << length;
    }
    auto patched = [&](std::size_t at, std::uint32_t value) {
        Blob bad = good;
        for (int i = 0; i < 4; ++i) bad[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
        return res::DecodeDib(View(bad), &image);
    };
    EXPECT_FALSE(patched(4, 0x7FFFFFFF));  // width
    EXPECT_FALSE(patched(4, 0));
    EXPECT_FALSE(patched(8, 0x80000000));   // height
    EXPECT_FALSE(patched(8, 3));            // more rows than stored
    EXPECT_FALSE(patched(16, 1));           // run-length compressed
    EXPECT_FALSE(patched(32, 17));          // more colours than 4 bits address
    EXPECT_FALSE(patched(0, 0xFFFFFFF0));   // header size
    EXPECT_FALSE(patched(12, 0x00030001));  // 3 bits per pixel
}

TEST(ResourceReader, IconImageNeedsItsMask) {
    // 2 x 2 at 1 bit: colour rows, then the mask rows (bottom-up): bottom row opaque, top row
    // transparent at the left.
    Blob icon = Dib(2, 4, 1, {0x000000, 0xFFFFFF}, Bytes({0x40, 0, 0, 0, 0x80, 0, 0, 0, 0x00, 0, 0, 0, 0x80, 0, 0, 0}));
    res::Image image;
    ASSERT_TRUE(res::DecodeIconImage(View(icon), &image));
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.pixels, (std::vector<std::uint32_t>{0xFFFFFF, 0, 0, 0xFFFFFF}));
    EXPECT_EQ(image.mask, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    Blob noMask(icon.begin(), icon.end() - 4);
    EXPECT_FALSE(res::DecodeIconImage(View(noMask), &image));
    Blob oddHeight = Dib(2, 3, 1, {0, 0}, Blob(12, 0));
    EXPECT_FALSE(res::DecodeIconImage(View(oddHeight), &image));
}

TEST(ResourceReader, LoadIconFollowsTheGroupAndChecksIt) {
    Blob icon = Dib(2, 4, 1, {0, 0xFFFFFF}, Blob(16, 0));
    Blob group = Bytes({0, 0, 1, 0, 1, 0, 2, 2, 2, 0, 1, 0, 1, 0});
    Put32(group, static_cast<std::uint32_t>(icon.size()));
    Put16(group, 7);
    ResBuilder builder;
    builder.Add(res::Ordinal(res::kTypeIcon), res::Ordinal(7), 1033, icon)
        .Add(res::Ordinal(res::kTypeGroupIcon), res::Ordinal(5), 1033, group);
    res::Image image;
    EXPECT_TRUE(res::LoadIcon(View(builder.Image()), res::Ordinal(5), 32, &image));
    EXPECT_EQ(image.width, 2);
    // The group names an icon that is absent, or claims more entries than it holds.
    Blob dangling = group;
    dangling[18] = 8;
    Blob lying = group;
    lying[4] = 2;
    for (const Blob &bad : {dangling, lying}) {
        ResBuilder other;
        other.Add(res::Ordinal(res::kTypeIcon), res::Ordinal(7), 1033, icon)
            .Add(res::Ordinal(res::kTypeGroupIcon), res::Ordinal(5), 1033, bad);
        EXPECT_FALSE(res::LoadIcon(View(other.Image()), res::Ordinal(5), 32, &image));
    }
}

TEST(ResourceReader, MenusNeedTheirEndMarksAndStayShallow) {
    // Pop-up "F" (MF_POPUP | MF_END) holding "A" (command 9, MF_END).
    Blob menu = Bytes({0, 0, 0, 0, 0x90, 0, 'F', 0, 0, 0, 0x80, 0, 9, 0, 'A', 0, 0, 0});
    std::vector<res::MenuItem> items;
    ASSERT_TRUE(res::ParseMenu(View(menu), &items));
    ASSERT_EQ(items.size(), 1u);
    ASSERT_EQ(items[0].children.size(), 1u);
    EXPECT_EQ(items[0].children[0].command, 9);
    EXPECT_EQ(items[0].children[0].text, u"A");
    for (std::size_t length = 0; length < menu.size(); ++length) {
        Blob cut(menu.begin(), menu.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(res::ParseMenu(View(cut), &items)) << length;
    }
    Blob extended = menu;
    extended[0] = 1;
    EXPECT_FALSE(res::ParseMenu(View(extended), &items));
    // Pop-ups nested a hundred deep.
    Blob deep = Bytes({0, 0, 0, 0});
    for (int i = 0; i < 100; ++i) deep.insert(deep.end(), {0x90, 0, 0, 0});
    deep.insert(deep.end(), {0x80, 0, 1, 0, 0, 0});
    EXPECT_FALSE(res::ParseMenu(View(deep), &items));
}

TEST(ResourceReader, WaveFormatsBecomeMono16Bit) {
    res::Wave wave;
    // Stereo 16-bit with an odd-sized chunk before the data: the pad byte is skipped.
    Blob stereo;
    for (int v : {1000, 3000, -200, -400}) Put16(stereo, static_cast<unsigned>(v) & 0xFFFF);
    Blob file = Riff({Chunk("fmt ", Format(1, 2, 22050, 16)), Chunk("LIST", Blob(3, 'x')), Chunk("data", stereo)});
    ASSERT_TRUE(res::ParseWave(View(file), &wave));
    EXPECT_EQ(wave.rate, 22050);
    EXPECT_EQ(wave.channels, 2);
    EXPECT_FALSE(wave.hasFact);
    EXPECT_EQ(wave.samples, (std::vector<std::int16_t>{2000, -300}));
    // 8-bit mono is unsigned around 128; the fact chunk is reported.
    Blob fact;
    Put32(fact, 3);
    Blob eight =
        Riff({Chunk("fmt ", Format(1, 1, 11025, 8)), Chunk("fact", fact), Chunk("data", Bytes({128, 255, 0}))});
    ASSERT_TRUE(res::ParseWave(View(eight), &wave));
    EXPECT_TRUE(wave.hasFact);
    EXPECT_EQ(wave.factSamples, 3u);
    EXPECT_EQ(wave.samples, (std::vector<std::int16_t>{0, 127 * 256, -128 * 256}));
}

TEST(ResourceReader, MalformedWavesAreRejected) {
    res::Wave wave;
    Blob samples(8, 0);
    Blob good = Riff({Chunk("fmt ", Format(1, 1, 11025, 16)), Chunk("data", samples)});
    ASSERT_TRUE(res::ParseWave(View(good), &wave));
    for (std::size_t length = 0; length < good.size(); ++length) {
        Blob cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(res::ParseWave(View(cut), &wave)) << length;
    }
    Blob lyingData = good;
    lyingData[good.size() - samples.size() - 4] = 200;  // data size past the end
    EXPECT_FALSE(res::ParseWave(View(lyingData), &wave));
    Blob shortRiff = good;
    shortRiff[4] = 28;  // the RIFF ends before the data chunk
    EXPECT_FALSE(res::ParseWave(View(shortRiff), &wave));
    EXPECT_FALSE(res::ParseWave(View(Riff({Chunk("data", samples)})), &wave));
    EXPECT_FALSE(res::ParseWave(View(Riff({Chunk("fmt ", Format(3, 1, 11025, 16)), Chunk("data", samples)})), &wave));
    EXPECT_FALSE(res::ParseWave(View(Riff({Chunk("fmt ", Format(1, 3, 11025, 16)), Chunk("data", samples)})), &wave));
    EXPECT_FALSE(res::ParseWave(View(Riff({Chunk("fmt ", Format(1, 1, 11025, 12)), Chunk("data", samples)})), &wave));
    EXPECT_FALSE(res::ParseWave(View(Riff({Chunk("fmt ", Format(1, 1, 0, 16)), Chunk("data", samples)})), &wave));
}

// Each damaged format header on its own, beside a good data chunk: refused, never a division by a
// frame size of zero or a read past the data.
TEST(ResourceReader, EachDamagedWaveHeaderIsRefusedAlone) {
    res::Wave wave;
    Blob samples(8, 0);
    auto withFormat = [&](const Blob &format) { return Riff({Chunk("fmt ", format), Chunk("data", samples)}); };
    // No channels: the block align that goes with it (0 x 16 / 8) is consistent, so only the
    // channel count stands between the reader and a frame of zero bytes.
    EXPECT_FALSE(res::ParseWave(View(withFormat(Format(1, 0, 11025, 16))), &wave));
    EXPECT_FALSE(res::ParseWave(View(withFormat(Format(1, 0, 11025, 8))), &wave));
    // No samples a second.
    EXPECT_FALSE(res::ParseWave(View(withFormat(Format(1, 1, 0, 16))), &wave));
    // A block align of 0, or one that does not match channels x bits.
    for (unsigned align : {0u, 1u, 4u}) {
        Blob format = Format(1, 1, 11025, 16);
        format[12] = static_cast<std::uint8_t>(align);
        EXPECT_FALSE(res::ParseWave(View(withFormat(format)), &wave)) << align;
    }
    // Sample sizes other than 8 and 16 bits, even with a block align that matches them.
    for (unsigned bits : {0u, 4u, 24u, 32u})
        EXPECT_FALSE(res::ParseWave(View(withFormat(Format(1, 1, 11025, bits))), &wave)) << bits;
    // A format chunk too short for its fields, at every length short of the full 16 bytes.
    Blob full = Format(1, 1, 11025, 16);
    for (std::size_t length = 0; length < full.size(); ++length)
        EXPECT_FALSE(res::ParseWave(
            View(withFormat(Blob(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length)))), &wave))
            << length;
    // A data chunk that says it is longer than the file.
    Blob longData = Riff({Chunk("fmt ", full), Chunk("data", samples)});
    Put32At(longData, longData.size() - samples.size() - 4, 0xFFFFFFF0u);
    EXPECT_FALSE(res::ParseWave(View(longData), &wave));
    // A RIFF size larger than the file: the chunks end with the data, and they are all there.
    Blob longRiff = Riff({Chunk("fmt ", full), Chunk("data", samples)});
    Put32At(longRiff, 4, 0x7FFFFFFFu);
    ASSERT_TRUE(res::ParseWave(View(longRiff), &wave));
    EXPECT_EQ(wave.samples.size(), 4u);
}

// Odd sizes are read safely: an odd-sized 16-bit data chunk gives its whole samples and drops the
// half one (its pad byte is the last of the file), and an odd-sized stereo chunk its whole frames.
TEST(ResourceReader, OddSizedWaveDataGivesItsWholeFrames) {
    res::Wave wave;
    Blob mono;
    for (int v : {100, -100, 300}) Put16(mono, static_cast<unsigned>(v) & 0xFFFF);
    mono.push_back(0x7F);
    ASSERT_TRUE(res::ParseWave(View(Riff({Chunk("fmt ", Format(1, 1, 11025, 16)), Chunk("data", mono)})), &wave));
    EXPECT_EQ(wave.samples, (std::vector<std::int16_t>{100, -100, 300}));
    Blob stereo;
    for (int v : {1000, 3000, 10}) Put16(stereo, static_cast<unsigned>(v) & 0xFFFF);
    ASSERT_TRUE(res::ParseWave(View(Riff({Chunk("fmt ", Format(1, 2, 11025, 16)), Chunk("data", stereo)})), &wave));
    EXPECT_EQ(wave.samples, (std::vector<std::int16_t>{2000}));
    // A file whose last odd chunk lacks its pad byte is still whole.
    Blob unpadded = Riff({Chunk("fmt ", Format(1, 1, 11025, 8)), Chunk("data", Bytes({128, 129, 130}))});
    unpadded.pop_back();
    Put32At(unpadded, 4, static_cast<std::uint32_t>(unpadded.size() - 8));
    ASSERT_TRUE(res::ParseWave(View(unpadded), &wave));
    EXPECT_EQ(wave.samples, (std::vector<std::int16_t>{0, 256, 512}));
}

namespace {

// A dialog of two items whose class is a string: the first with creation data, the second with a
// long text.
Blob StringClassDialog() {
    Blob out;
    Put32(out, 0x80C80040);
    Put32(out, 0);
    Put16(out, 2);  // items
    for (int v : {0, 0, 100, 50}) Put16(out, static_cast<unsigned>(v));
    Put16(out, 0);  // no menu
    Put16(out, 0);  // dialog class
    PutText(out, u"T");
    Put16(out, 8);
    PutText(out, u"Tahoma");
    for (int item = 0; item < 2; ++item) {
        PadTo4(out);
        Put32(out, 0x50000000);
        Put32(out, 0);
        for (int v : {1, 2, 3, 4, 77}) Put16(out, static_cast<unsigned>(v));
        PutText(out, u"Static");
        PutText(out, item == 0 ? u"hi" : std::u16string(1000, u'x'));
        Put16(out, item == 0 ? 2 : 0);
        if (item == 0) Put16(out, 0xABCD);
    }
    return out;
}

}  // namespace

TEST(ResourceReader, DialogItemsWithStringClassesAndCreationData) {
    Blob data = StringClassDialog();
    res::Dialog dialog;
    ASSERT_TRUE(res::ParseDialog(View(data), &dialog));
    EXPECT_EQ(dialog.title, u"T");
    EXPECT_EQ(dialog.pointSize, 8);
    ASSERT_EQ(dialog.items.size(), 2u);
    for (const res::DialogItem &item : dialog.items) {
        EXPECT_FALSE(item.windowClass.isOrdinal);
        EXPECT_EQ(item.windowClass.name, u"Static");
        EXPECT_EQ(item.id, 77);
        EXPECT_EQ(item.cy, 4);
    }
    EXPECT_EQ(dialog.items[0].title.name, u"hi");
    EXPECT_EQ(dialog.items[1].title.name.size(), 1000u);
    for (std::size_t length = 0; length < data.size(); ++length) {
        Blob cut(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(res::ParseDialog(View(cut), &dialog)) << length;
    }
    Blob extended = data;
    extended[0] = 1, extended[1] = 0, extended[2] = 0xFF, extended[3] = 0xFF;
    EXPECT_FALSE(res::ParseDialog(View(extended), &dialog));
    Blob moreItems = data;
    moreItems[8] = 3;
    EXPECT_FALSE(res::ParseDialog(View(moreItems), &dialog));
}

TEST(ResourceReader, MenuBarCountMustFit) {
    Blob data;
    for (unsigned v : {108u, 2u, 0xFFFEu, 40023u, 4u, 24u, 40025u, 0u, 0u}) Put16(data, v);
    res::MenuBar bar;
    EXPECT_FALSE(res::ParseMenuBar(View(data), &bar));  // two buttons claimed, one stored
    data[2] = 1;
    ASSERT_TRUE(res::ParseMenuBar(View(data), &bar));
    EXPECT_EQ(bar.buttons.size(), 1u);
    EXPECT_EQ(bar.buttons[0].submenu, 0);
    EXPECT_FALSE(res::ParseMenuBar(res::Bytes{data.data(), 3}, &bar));
}
