// Writes the program's logo bitmap and its icon from the pixel maps below.
//
//   artwork LOGO.bmp ICON.ico
//
// The logo is a 32 x 32 bitmap of 16 colours: a large serif "C" at the top left, an eighth note at
// the top right, and "BPM" across the bottom. The icon holds the same picture at 32 x 32 and a
// reduced drawing at 16 x 16, both transparent where the logo's ground is.
//
// Each map has one character a pixel: a capital letter names a colour of the palette, '.' is the
// ground (white in the bitmap, transparent in the icon).
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct PaletteEntry {
    char letter;
    std::uint8_t red, green, blue;
    const char *name;
};

// The 16 basic colours in the order the bitmap's palette lists them.
constexpr std::array<PaletteEntry, 16> kPalette = {{
    {'K', 0x00, 0x00, 0x00, "black"},
    {'M', 0x80, 0x00, 0x00, "maroon"},
    {'G', 0x00, 0x80, 0x00, "green"},
    {'O', 0x80, 0x80, 0x00, "olive"},
    {'N', 0x00, 0x00, 0x80, "navy"},
    {'P', 0x80, 0x00, 0x80, "purple"},
    {'T', 0x00, 0x80, 0x80, "teal"},
    {'S', 0xC0, 0xC0, 0xC0, "silver"},
    {'E', 0x80, 0x80, 0x80, "grey"},
    {'R', 0xFF, 0x00, 0x00, "red"},
    {'L', 0x00, 0xFF, 0x00, "lime"},
    {'Y', 0xFF, 0xFF, 0x00, "yellow"},
    {'B', 0x00, 0x00, 0xFF, "blue"},
    {'F', 0xFF, 0x00, 0xFF, "fuchsia"},
    {'A', 0x00, 0xFF, 0xFF, "aqua"},
    {'W', 0xFF, 0xFF, 0xFF, "white"},
}};
constexpr char kGround = '.';
constexpr std::uint8_t kBlack = 0;
constexpr std::uint8_t kTeal = 6;
constexpr std::uint8_t kWhite = 15;

// The logo: navy letters shaded with blue on their edges, a black note with a glint of aqua,
// green and one teal pixel on its head.
constexpr std::array<const char *, 32> kLogo = {
    "................................", ".....BBNNNNNBB.BB.........KK....", "...BNNNNBBBBNNNNB.........KKK...",
    "..BNNNNB....BBNNB.........KKKK..", ".BNNNNB......BNNB.........KKKKK.", ".NNNNNB.......BNB.........KK.KKK",
    "BNNNNN.........BB.........KK..KK", "NNNNB.....................KK..KK", "NNNNB.....................KK..KK",
    "NNNNB.....................KK.KK.", "NNNNB.....................KK.KK.", "NNNNB.....................KK.K..",
    "BNNNNN.........B..........KK....", ".NNNNNB.......BNB.....KKKKKK....", ".BNNNNB......BNNB...KKKKKKKK....",
    "..BNNNNB....BNNB...KKAAGKKKK....", "...BNNNNNNNNNNB....KGATKKKKK....", ".....BBNNNNNBB......KKKKKK......",
    ".....................KKK........", "................................", "................................",
    "NNNNNNNB..NNNNNNB...NNB....BNN..", "BNNBBBNNB.BNNBBNNB..NNNB..BNNN..", ".NB...BNN..NN..BNN..NNNNBBNNNN..",
    ".NN..BNNB..NN..BNN..NNBNNNNBNN..", ".NNNNNNB...NNNNNNB..NN.BNNB.NN..", ".NN..BBNN..NNBBB....NN..BB..NN..",
    ".NB...BNN..NB.......NB......NB..", ".NB...BNN..NB.......NB......NB..", "BNNBBBNNB.BNNB.....BNNB....BNNB.",
    "NNNNNNNB..NNNN.....NNNN....NNNN.", "................................",
};

// The small icon: the same logo drawn again for 16 x 16, without shading.
constexpr std::array<const char *, 16> kSmallIcon = {
    "..NNNN.....K....", ".NN..N.....KK...", "NN.........K.K..", "NN.........K..K.",
    "NN.........K..K.", "NN.........K.K..", "NN.........K....", ".NN..N...KKK....",
    "..NNNN..KSKK....", "........KKK.....", "................", "NNN..NNN..N...N.",
    "N..N.N..N.NN.NN.", "NNN..NNN..N.N.N.", "N..N.N....N...N.", "NNN..N....N...N.",
};

// A picture as palette indices, top row first, with the ground marked.
struct Picture {
    int size = 0;
    std::vector<std::uint8_t> index;  // palette index of each pixel
    std::vector<bool> ground;         // true where the map has '.'
};

template <std::size_t N>
Picture ReadMap(const std::array<const char *, N> &rows) {
    Picture picture;
    picture.size = static_cast<int>(N);
    for (const char *row : rows) {
        if (std::strlen(row) != N) throw std::runtime_error("pixel map row of the wrong length");
        for (std::size_t x = 0; x < N; ++x) {
            char c = row[x];
            if (c == kGround) {
                picture.index.push_back(kWhite);
                picture.ground.push_back(true);
                continue;
            }
            std::size_t i = 0;
            while (i < kPalette.size() && kPalette[i].letter != c) ++i;
            if (i == kPalette.size()) throw std::runtime_error(std::string("unknown colour letter ") + c);
            picture.index.push_back(static_cast<std::uint8_t>(i));
            picture.ground.push_back(false);
        }
    }
    return picture;
}

void Put16(std::vector<std::uint8_t> &out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void Put32(std::vector<std::uint8_t> &out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// BITMAPINFOHEADER for a 4-bit picture; an icon image states twice the height (XOR and AND halves).
void PutInfoHeader(std::vector<std::uint8_t> &out, int width, int height, std::uint32_t imageSize,
                   std::uint32_t pixelsPerMetre) {
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);  // planes
    Put16(out, 4);  // bits per pixel
    Put32(out, 0);  // BI_RGB
    Put32(out, imageSize);
    Put32(out, pixelsPerMetre);
    Put32(out, pixelsPerMetre);
    Put32(out, 0);  // colours used: 0 = all 16
    Put32(out, 0);  // important colours
}

void PutPalette(std::vector<std::uint8_t> &out) {
    for (const PaletteEntry &entry : kPalette) {
        out.push_back(entry.blue);
        out.push_back(entry.green);
        out.push_back(entry.red);
        out.push_back(0);
    }
}

// 4-bit rows, bottom row first, two pixels a byte (left pixel in the high half), rows padded to 4 bytes.
// `teal` replaces the teal pixel's colour (the icon draws it black); the ground takes `groundIndex`.
void PutPixels(std::vector<std::uint8_t> &out, const Picture &picture, std::uint8_t groundIndex,
               std::uint8_t tealIndex) {
    int rowBytes = ((picture.size * 4 + 31) / 32) * 4;
    for (int y = picture.size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes), 0);
        for (int x = 0; x < picture.size; ++x) {
            std::size_t at = static_cast<std::size_t>(y * picture.size + x);
            std::uint8_t index = picture.ground[at] ? groundIndex : picture.index[at];
            if (index == kTeal) index = tealIndex;
            row[static_cast<std::size_t>(x / 2)] |= (x % 2 == 0) ? static_cast<std::uint8_t>(index << 4) : index;
        }
        out.insert(out.end(), row.begin(), row.end());
    }
}

// The icon's AND mask: 1 bit a pixel, set where the ground shows through; rows padded to 4 bytes.
void PutMask(std::vector<std::uint8_t> &out, const Picture &picture) {
    int rowBytes = ((picture.size + 31) / 32) * 4;
    for (int y = picture.size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes), 0);
        for (int x = 0; x < picture.size; ++x)
            if (picture.ground[static_cast<std::size_t>(y * picture.size + x)])
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
}

// The bitmap file: a 14-byte file header, then the DIB (header, palette, pixels).
std::vector<std::uint8_t> MakeBitmapFile(const Picture &logo) {
    std::vector<std::uint8_t> dib;
    std::uint32_t imageSize = static_cast<std::uint32_t>(logo.size * ((logo.size * 4 + 31) / 32) * 4);
    PutInfoHeader(dib, logo.size, logo.size, imageSize, 3780);
    PutPalette(dib);
    PutPixels(dib, logo, kWhite, kTeal);

    std::vector<std::uint8_t> file = {'B', 'M'};
    Put32(file, static_cast<std::uint32_t>(14 + dib.size()));
    Put32(file, 0);                 // two reserved words
    Put32(file, 14 + 40 + 16 * 4);  // offset of the pixels
    file.insert(file.end(), dib.begin(), dib.end());
    return file;
}

// One icon image: the DIB with doubled height, XOR pixels (black under the ground), then the AND mask.
std::vector<std::uint8_t> MakeIconImage(const Picture &picture) {
    std::vector<std::uint8_t> xorBits, andBits;
    PutPixels(xorBits, picture, kBlack, kBlack);
    PutMask(andBits, picture);
    std::vector<std::uint8_t> image;
    PutInfoHeader(image, picture.size, picture.size * 2, static_cast<std::uint32_t>(xorBits.size() + andBits.size()),
                  0);
    PutPalette(image);
    image.insert(image.end(), xorBits.begin(), xorBits.end());
    image.insert(image.end(), andBits.begin(), andBits.end());
    return image;
}

// The icon file: a directory of 16-byte entries, then the images.
std::vector<std::uint8_t> MakeIconFile(const std::vector<Picture> &pictures) {
    std::vector<std::vector<std::uint8_t>> images;
    for (const Picture &picture : pictures) images.push_back(MakeIconImage(picture));

    std::vector<std::uint8_t> file;
    Put16(file, 0);  // reserved
    Put16(file, 1);  // type: icon
    Put16(file, static_cast<unsigned>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        file.push_back(static_cast<std::uint8_t>(pictures[i].size));
        file.push_back(static_cast<std::uint8_t>(pictures[i].size));
        file.push_back(16);  // colours
        file.push_back(0);
        Put16(file, 1);  // planes
        Put16(file, 4);  // bits per pixel
        Put32(file, static_cast<std::uint32_t>(images[i].size()));
        Put32(file, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto &image : images) file.insert(file.end(), image.begin(), image.end());
    return file;
}

void WriteFile(const char *path, const std::vector<std::uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error(std::string("cannot write ") + path);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LOGO.bmp ICON.ico\n", argv[0]);
        return 2;
    }
    try {
        Picture logo = ReadMap(kLogo);
        Picture small = ReadMap(kSmallIcon);
        WriteFile(argv[1], MakeBitmapFile(logo));
        WriteFile(argv[2], MakeIconFile({logo, small}));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "artwork: %s\n", error.what());
        return 1;
    }
    return 0;
}
