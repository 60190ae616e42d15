// The reader of the program's compiled resources (a .res image embedded in the executable).
//
// Implements: walking the .res entries, finding an entry by type and name (numeric or string,
// string names compared case-insensitively), language 1033 preferred; string tables; accelerator
// tables; DIB bitmaps; icon groups; menu templates; the WAVE file format; dialog templates;
// the shell's menu-bar record.
// Leaves out: resource updating, languages other than a preference for 1033.
//
// Every length and offset is checked against the image: a malformed image or item is "not found".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace res {

// A view of bytes inside the resource image.
struct Bytes {
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
};

// A type or name: an ordinal (when isOrdinal) or a string.
struct Id {
    bool isOrdinal = true;
    std::uint16_t ordinal = 0;
    std::u16string name;
};
inline Id Ordinal(std::uint16_t ordinal) { return Id{true, ordinal, {}}; }
inline Id Named(std::u16string name) { return Id{false, 0, std::move(name)}; }

// Resource types by their ordinals.
constexpr std::uint16_t kTypeIcon = 3, kTypeBitmap = 2, kTypeMenu = 4, kTypeDialog = 5, kTypeString = 6,
                        kTypeAccelerator = 9, kTypeRcData = 10, kTypeGroupIcon = 14;

// One entry of the image, as stored.
struct Entry {
    Id type, name;
    std::uint16_t language = 0;
    Bytes data;
};
// All entries in order (the empty marker entry that opens a .res image left out).
// Returns false when the image is malformed.
bool ListEntries(Bytes image, std::vector<Entry> *out);

// Finds the data of the entry (type, name); language 1033 is preferred when several match.
// Returns false when absent or when the image is malformed.
bool Find(Bytes image, const Id &type, const Id &name, Bytes *out);

// String `id` of the string table (blocks of 16 counted strings). Empty when absent.
bool LoadString(Bytes image, unsigned id, std::u16string *out);

struct Accel {
    std::uint8_t flags;
    std::uint16_t key;
    std::uint16_t command;
};
bool ParseAccelerators(Bytes data, std::vector<Accel> *out);

// A DIB (BITMAPINFOHEADER + palette + pixels) decoded to 0x00RRGGBB pixels, top row first.
struct Image {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::vector<std::uint8_t> mask;  // icons: 1 = transparent, one byte a pixel; empty for bitmaps
};
bool DecodeDib(Bytes data, Image *out);
// An icon image (DIB with doubled height, XOR image then AND mask).
bool DecodeIconImage(Bytes data, Image *out);
// Picks the image of group icon `name` closest to `size` pixels and decodes it.
bool LoadIcon(Bytes image, const Id &name, int size, Image *out);

// A menu template: items of a pop-up, in order.
struct MenuItem {
    std::uint16_t flags = 0;
    std::uint16_t command = 0;
    std::u16string text;
    std::vector<MenuItem> children;  // for MF_POPUP items
};
bool ParseMenu(Bytes data, std::vector<MenuItem> *out);

// A RIFF WAVE file: PCM, mono or stereo, 8 or 16 bit. Samples are converted to mono 16-bit.
struct Wave {
    int rate = 0;
    int channels = 0;
    int bitsPerSample = 0;
    bool hasFact = false;
    std::uint32_t factSamples = 0;
    std::vector<std::int16_t> samples;
};
bool ParseWave(Bytes data, Wave *out);

// A classic dialog template (DLGTEMPLATE, not the extended form) and its items.
struct DialogItem {
    std::uint32_t style = 0, exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::uint16_t id = 0;
    Id windowClass;  // ordinal 0x80 button, 0x82 static, ... or a class name
    Id title;        // text, or an ordinal (the icon of an SS_ICON static)
};
struct Dialog {
    std::uint32_t style = 0, exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    Id menu, windowClass;
    std::u16string title;
    std::uint16_t pointSize = 0;  // when DS_SETFONT
    std::u16string faceName;
    std::vector<DialogItem> items;
};
bool ParseDialog(Bytes data, Dialog *out);

// The shell's menu-bar record (RCDATA): the menu it takes pop-ups from and its buttons.
struct MenuBarButton {
    std::int16_t image;
    std::uint16_t command, state, style, stringId, submenu;
};
struct MenuBar {
    std::uint16_t menuId = 0;
    std::vector<MenuBarButton> buttons;
};
bool ParseMenuBar(Bytes data, MenuBar *out);

}  // namespace res
