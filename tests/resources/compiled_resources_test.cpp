// The program's compiled resources, byte by byte: what the resource script, the artwork generator
// and the resource compiler made together.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "res_helpers.h"
#include "resource.h"

using namespace restest;

namespace {

res::Bytes FindOrdinal(std::uint16_t type, std::uint16_t name) {
    res::Bytes out;
    EXPECT_TRUE(res::Find(View(CompiledImage()), res::Ordinal(type), res::Ordinal(name), &out))
        << "type " << type << " name " << name;
    return out;
}

std::vector<std::uint16_t> Words(res::Bytes bytes) {
    std::vector<std::uint16_t> words;
    for (std::size_t i = 0; i + 1 < bytes.size; i += 2)
        words.push_back(static_cast<std::uint16_t>(bytes.data[i] | (bytes.data[i + 1] << 8)));
    return words;
}

std::uint32_t Dword(res::Bytes bytes, std::size_t at) {
    return bytes.data[at] | (bytes.data[at + 1] << 8) | (bytes.data[at + 2] << 16) |
           (std::uint32_t{bytes.data[at + 3]} << 24);
}

constexpr std::uint32_t kNavy = 0x000080, kBlue = 0x0000FF, kBlack = 0x000000, kWhite = 0xFFFFFF;
constexpr std::uint32_t kTeal = 0x008080, kAqua = 0x00FFFF, kGreen = 0x008000, kSilver = 0xC0C0C0;

res::Image Logo() {
    res::Image logo;
    EXPECT_TRUE(res::DecodeDib(FindOrdinal(res::kTypeBitmap, IDB_LOGO), &logo));
    return logo;
}

}  // namespace

TEST(CompiledResources, EveryEntryIsUsEnglishAndTheSoundsAreExactly1001To1027) {
    std::vector<res::Entry> entries;
    ASSERT_TRUE(res::ListEntries(View(CompiledImage()), &entries));
    std::vector<int> sounds;
    for (const res::Entry &entry : entries) {
        EXPECT_EQ(entry.language, 1033);
        if (!entry.type.isOrdinal) {
            EXPECT_EQ(entry.type.name, u"WAVE");
            ASSERT_TRUE(entry.name.isOrdinal);
            sounds.push_back(entry.name.ordinal);
        }
    }
    std::vector<int> expected;
    for (int id = IDW_FIRST; id <= IDW_LAST; ++id) expected.push_back(id);
    EXPECT_EQ(sounds, expected);
}

TEST(CompiledResources, SoundsAreMono16BitPcmAt11025AndMostCarryAFactChunk) {
    const std::vector<int> withoutFact = {1001, 1011, 1014, 1020, 1024};
    for (int id = IDW_FIRST; id <= IDW_LAST; ++id) {
        res::Bytes data;
        // The compiler upper-cases the type; the lookup ignores case.
        ASSERT_TRUE(
            res::Find(View(CompiledImage()), res::Named(u"wave"), res::Ordinal(static_cast<std::uint16_t>(id)), &data));
        res::Wave wave;
        ASSERT_TRUE(res::ParseWave(data, &wave)) << id;
        EXPECT_EQ(wave.rate, 11025);
        EXPECT_EQ(wave.channels, 1);
        EXPECT_EQ(wave.bitsPerSample, 16);
        bool factExpected = std::find(withoutFact.begin(), withoutFact.end(), id) == withoutFact.end();
        EXPECT_EQ(wave.hasFact, factExpected) << id;
        if (wave.hasFact) {
            EXPECT_EQ(wave.factSamples, wave.samples.size()) << id;
        }
    }
}

TEST(CompiledResources, ToolsMenuIs68BytesWithAboutHelpSeparatorExit) {
    res::Bytes data = FindOrdinal(res::kTypeMenu, IDR_MAINMENU);
    EXPECT_EQ(data.size, 68u);
    std::vector<res::MenuItem> menu;
    ASSERT_TRUE(res::ParseMenu(data, &menu));
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0].flags, 0x90);
    EXPECT_EQ(menu[0].text, u"Tools");
    ASSERT_EQ(menu[0].children.size(), 4u);
    const struct {
        std::uint16_t flags, command;
        std::u16string text;
    } expected[] = {{0, IDM_ABOUT, u"About"}, {0, IDM_HELP, u"Help"}, {0, 0, u""}, {0x80, IDM_EXIT, u"Exit"}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(menu[0].children[i].flags, expected[i].flags) << i;
        EXPECT_EQ(menu[0].children[i].command, expected[i].command) << i;
        EXPECT_EQ(menu[0].children[i].text, expected[i].text) << i;
    }
}

TEST(CompiledResources, MenuBarRecordIsNineWords) {
    res::Bytes data = FindOrdinal(res::kTypeRcData, IDR_MAINMENU);
    EXPECT_EQ(Words(data), (std::vector<std::uint16_t>{108, 1, 0xFFFE, 40023, 4, 24, 40025, 0, 0}));
}

TEST(CompiledResources, AcceleratorsAreCtrlAThenCtrlQWithTheLastMarked) {
    res::Bytes data = FindOrdinal(res::kTypeAccelerator, IDR_ACCELERATORS);
    EXPECT_EQ(Words(data), (std::vector<std::uint16_t>{0x0B, 'A', IDM_ABOUT, 0, 0x8B, 'Q', IDM_EXIT, 0}));
}

TEST(CompiledResources, StringTable) {
    const std::map<unsigned, std::u16string> expected = {{IDS_TITLE, u""},
                                                         {IDS_CLASS, u"CADENZO"},
                                                         {IDS_EXIT, u"Exit"},
                                                         {IDS_HELP, u"Help"},
                                                         {IDS_ABOUT, u"About"},
                                                         {IDS_TOOLS, u"Tools"},
                                                         // Unlisted numbers in the same blocks are empty.
                                                         {2, u""},
                                                         {40008, u""},
                                                         {40024, u""}};
    for (const auto &[id, text] : expected) {
        std::u16string loaded = u"stale";
        res::LoadString(View(CompiledImage()), id, &loaded);
        EXPECT_EQ(loaded, text) << id;
    }
}

TEST(CompiledResources, LogoBitmapHeaderAndPalette) {
    res::Bytes dib = FindOrdinal(res::kTypeBitmap, IDB_LOGO);
    ASSERT_EQ(dib.size, 616u);
    const std::uint32_t header[] = {40, 32, 32, 0x00040001, 0, 512, 3780, 3780, 0, 0};
    for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(Dword(dib, i * 4), header[i]) << "header field " << i;
    // The 16 basic colours as blue, green, red, 0.
    const std::uint32_t palette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                                       0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(Dword(dib, 40 + i * 4), palette[i]) << "colour " << i;
}

TEST(CompiledResources, LogoPixelCountsAndLayout) {
    res::Image logo = Logo();
    ASSERT_EQ(logo.width, 32);
    ASSERT_EQ(logo.height, 32);
    std::map<std::uint32_t, int> counts;
    for (std::uint32_t pixel : logo.pixels) ++counts[pixel];
    EXPECT_EQ(counts[kWhite], 605);
    EXPECT_EQ(counts[kNavy], 225);
    EXPECT_EQ(counts[kBlue], 109);
    EXPECT_EQ(counts[kBlack], 79);
    EXPECT_EQ(counts[kTeal], 1);
    EXPECT_EQ(counts[kAqua] + counts[kGreen], 5);
    EXPECT_GT(counts[kAqua], 0);
    EXPECT_GT(counts[kGreen], 0);
    EXPECT_EQ(counts.size(), 7u);
    // The note (black and its highlights) is in the top right; the capitals are navy and blue: one
    // at the top left, three across the bottom.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            std::uint32_t pixel = logo.pixels[static_cast<std::size_t>(y * 32 + x)];
            bool note = pixel == kBlack || pixel == kTeal || pixel == kAqua || pixel == kGreen;
            bool letter = pixel == kNavy || pixel == kBlue;
            EXPECT_TRUE(!note || (x >= 16 && y < 20)) << x << "," << y;
            EXPECT_TRUE(!letter || (x < 17 && y < 19) || y >= 20) << x << "," << y;
        }
}

TEST(CompiledResources, IconGroupHoldsA32And16PixelImage) {
    res::Bytes group = FindOrdinal(res::kTypeGroupIcon, IDI_CADENZO);
    ASSERT_EQ(group.size, 6u + 2 * 14);
    std::vector<std::uint16_t> words = Words(group);
    EXPECT_EQ(words[1], 1);  // icon
    EXPECT_EQ(words[2], 2);  // two images
    // Entries: width, height, colours, planes, bits, bytes, icon ordinal.
    EXPECT_EQ(group.data[6], 32);
    EXPECT_EQ(group.data[8], 16);
    EXPECT_EQ(Dword(group, 6 + 8), 744u);
    EXPECT_EQ(group.data[20], 16);
    EXPECT_EQ(group.data[22], 16);
    EXPECT_EQ(Dword(group, 20 + 8), 296u);
    res::Bytes large = FindOrdinal(res::kTypeIcon, words[9]);
    res::Bytes small = FindOrdinal(res::kTypeIcon, words[16]);
    EXPECT_EQ(large.size, 744u);
    EXPECT_EQ(small.size, 296u);
}

TEST(CompiledResources, LargeIconIsTheLogoTransparentWhereItIsWhite) {
    res::Image logo = Logo();
    res::Image icon;
    ASSERT_TRUE(res::LoadIcon(View(CompiledImage()), res::Ordinal(IDI_CADENZO), 32, &icon));
    ASSERT_EQ(icon.width, 32);
    ASSERT_EQ(icon.height, 32);
    ASSERT_EQ(icon.mask.size(), 1024u);
    for (std::size_t i = 0; i < 1024; ++i) {
        bool white = logo.pixels[i] == kWhite;
        EXPECT_EQ(icon.mask[i], white ? 1 : 0) << i;
        // Transparent pixels are black in the colour image; the teal highlight is drawn black.
        std::uint32_t expected = (white || logo.pixels[i] == kTeal) ? kBlack : logo.pixels[i];
        EXPECT_EQ(icon.pixels[i], expected) << i;
    }
}

TEST(CompiledResources, SmallIconIsNavyAndBlackWithOneSilverPixelOnATransparentGround) {
    res::Image icon;
    ASSERT_TRUE(res::LoadIcon(View(CompiledImage()), res::Ordinal(IDI_CADENZO), 16, &icon));
    ASSERT_EQ(icon.width, 16);
    std::map<std::uint32_t, int> opaque;
    int transparent = 0;
    for (std::size_t i = 0; i < icon.pixels.size(); ++i) {
        if (icon.mask[i]) {
            ++transparent;
            EXPECT_EQ(icon.pixels[i], kBlack);
        } else {
            ++opaque[icon.pixels[i]];
        }
    }
    EXPECT_EQ(opaque[kSilver], 1);
    EXPECT_GT(opaque[kNavy], 0);
    EXPECT_GT(opaque[kBlack], 0);
    EXPECT_EQ(opaque.size(), 3u);
    EXPECT_GT(transparent, 128);
    // The closest size wins: 20 pixels takes the small image, 48 the large one.
    res::Image closest;
    ASSERT_TRUE(res::LoadIcon(View(CompiledImage()), res::Ordinal(IDI_CADENZO), 20, &closest));
    EXPECT_EQ(closest.width, 16);
    ASSERT_TRUE(res::LoadIcon(View(CompiledImage()), res::Ordinal(IDI_CADENZO), 48, &closest));
    EXPECT_EQ(closest.width, 32);
}

namespace {

constexpr std::uint32_t kCentred = 0x50020081, kLeft = 0x50020080, kIconStatic = 0x50000003, kGroupBox = 0x50000007;
const std::u16string kTitleLines = u"Cadenzo v2.1\n\u00A9 2002 Lyrebay Software";

res::Dialog LoadDialog(std::uint16_t id) {
    res::Dialog dialog;
    EXPECT_TRUE(res::ParseDialog(FindOrdinal(res::kTypeDialog, id), &dialog));
    return dialog;
}

void ExpectFrame(const res::Dialog &dialog) {
    EXPECT_EQ(dialog.style, 0x80C80040u);
    EXPECT_EQ(dialog.exStyle, 0x80000000u);
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.cx, 137);
    EXPECT_EQ(dialog.cy, 172);
    EXPECT_TRUE(dialog.menu.isOrdinal && dialog.menu.ordinal == 0);
    EXPECT_TRUE(dialog.windowClass.isOrdinal && dialog.windowClass.ordinal == 0);
    EXPECT_EQ(dialog.pointSize, 9);
    EXPECT_EQ(dialog.faceName, u"Tahoma");
}

struct ExpectedItem {
    std::uint32_t style;
    std::int16_t x, y, cx, cy;
    std::uint16_t windowClass;
};

void ExpectItems(const res::Dialog &dialog, const std::vector<ExpectedItem> &expected) {
    ASSERT_EQ(dialog.items.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const res::DialogItem &item = dialog.items[i];
        EXPECT_EQ(item.style, expected[i].style) << "item " << i;
        EXPECT_EQ(item.exStyle, 0u) << "item " << i;
        EXPECT_EQ(item.id, 0xFFFF) << "item " << i;
        EXPECT_EQ(item.x, expected[i].x) << "item " << i;
        EXPECT_EQ(item.y, expected[i].y) << "item " << i;
        EXPECT_EQ(item.cx, expected[i].cx) << "item " << i;
        EXPECT_EQ(item.cy, expected[i].cy) << "item " << i;
        EXPECT_TRUE(item.windowClass.isOrdinal) << "item " << i;
        EXPECT_EQ(item.windowClass.ordinal, expected[i].windowClass) << "item " << i;
    }
}

}  // namespace

TEST(CompiledResources, AboutDialog) {
    res::Dialog about = LoadDialog(IDD_ABOUT);
    ExpectFrame(about);
    EXPECT_EQ(about.title, u"About Cadenzo");
    ExpectItems(about, {{kIconStatic, 1, 2, 20, 20, 0x82},
                        {kCentred, 22, 2, 114, 18, 0x82},
                        {kCentred, 4, 94, 128, 49, 0x82},
                        {kCentred, 3, 25, 130, 52, 0x82},
                        {kGroupBox, 3, 82, 131, 68, 0x80}});
    if (about.items.size() != 5) return;
    EXPECT_TRUE(about.items[0].title.isOrdinal);
    EXPECT_EQ(about.items[0].title.ordinal, IDI_CADENZO);
    EXPECT_EQ(about.items[1].title.name, kTitleLines);
    // The maker's web address is the one the beat panel shows.
    EXPECT_NE(about.items[2].title.name.find(u"\nwww.lyrebay.com\n"), std::u16string::npos);
    EXPECT_EQ(about.items[3].title.name.rfind(u"Cadenzo is a tuning and metronome program for concert, guitar, and "
                                              u"orchestral instruments.",
                                              0),
              0u);
    EXPECT_EQ(about.items[4].title.name, u"Lyrebay Software, Astoria, Oregon");
}

TEST(CompiledResources, HelpDialogKeepsItsLineBreaksAndIndents) {
    res::Dialog help = LoadDialog(IDD_HELP);
    ExpectFrame(help);
    EXPECT_EQ(help.title, u"Help");
    ExpectItems(help, {{kIconStatic, 1, 2, 20, 20, 0x82},
                       {kCentred, 22, 2, 114, 18, 0x82},
                       {kLeft, 4, 22, 128, 66, 0x82},
                       {kLeft, 4, 87, 128, 65, 0x82}});
    if (help.items.size() != 4) return;
    EXPECT_EQ(help.items[0].title.ordinal, IDI_CADENZO);
    EXPECT_EQ(help.items[1].title.name, kTitleLines);
    EXPECT_EQ(help.items[2].title.name, u"Metronome\n"
                                        u"  1. The beats per minute are set\n"
                                        u"      through the slider bar.\n"
                                        u"  2. The time signature can be selected\n"
                                        u"      from the drop-down list.\n"
                                        u"  3. Select the sound and color check\n"
                                        u"      boxes to enable clicks or color\n"
                                        u"      changes.");
    EXPECT_EQ(help.items[3].title.name, u"Tuning\n"
                                        u"  1. Select an instrument category\n"
                                        u"      from the drop-down list.\n"
                                        u"  2. The \"All\" button will play all notes\n"
                                        u"      based on the \"Delay\" and \"Repeat\"\n"
                                        u"      settings.\n"
                                        u"  4. Tuning notes can be interrupted by\n"
                                        u"      pressing the \"Stop\" button.");
}
