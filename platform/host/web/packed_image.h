// The resource image as the page carries it: the same bytes, rearranged so that gzip, which every
// web server and browser speaks, compresses them far better. Almost all of the image is the sounds'
// 16-bit samples, which gzip alone shrinks by a tenth; predicted from the two samples before them
// (2a - b), what is left is small numbers, and with the low bytes of all words first and the high
// bytes after (mostly 0x00 and 0xFF) the download's image shrinks from 486 to 309 KB. Lossless: the
// page unpacks it in place before the program starts, byte for byte the image the desktop embeds.
//
// The image is read as little-endian 16-bit words, the first word predicted from zeros, every
// difference taken modulo 2^16; an odd last byte is kept as it is, at the end. Same length in and out.
// Header-only: the build machine's packer and the page's unpacker share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace webimage {

inline std::vector<std::uint8_t> Pack(const std::uint8_t *image, std::size_t size) {
    std::vector<std::uint8_t> packed(size);
    const std::size_t words = size / 2;
    std::uint16_t before = 0, twice = 0;  // the last word and the one before it
    for (std::size_t i = 0; i < words; ++i) {
        auto word = std::uint16_t(image[2 * i] | image[2 * i + 1] << 8);
        auto rest = std::uint16_t(word - std::uint16_t(2 * before - twice));
        packed[i] = std::uint8_t(rest);
        packed[words + i] = std::uint8_t(rest >> 8);
        twice = before;
        before = word;
    }
    if (size % 2) packed[size - 1] = image[size - 1];
    return packed;
}

// Unpacks `size` bytes at `image` in place (a packed image of that size becomes the image). The words
// are worked out first, since word i is written over bytes the later words are made from.
inline void Unpack(std::uint8_t *image, std::size_t size) {
    const std::size_t words = size / 2;
    std::vector<std::uint16_t> out(words);
    std::uint16_t before = 0, twice = 0;
    for (std::size_t i = 0; i < words; ++i) {
        auto word = std::uint16_t((image[i] | image[words + i] << 8) + std::uint16_t(2 * before - twice));
        out[i] = word;
        twice = before;
        before = word;
    }
    for (std::size_t i = 0; i < words; ++i) {
        image[2 * i] = std::uint8_t(out[i]);
        image[2 * i + 1] = std::uint8_t(out[i] >> 8);
    }
}

}  // namespace webimage
