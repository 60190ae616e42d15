// The resource image as the page carries it (platform/host/web/packed_image.h): packing and unpacking
// give back every byte, for the program's own image and for the words where the prediction wraps.
#include <gtest/gtest.h>

#include <zlib.h>

#include "packed_image.h"
#include "res_helpers.h"

using namespace restest;

namespace {

Blob RoundTrip(const Blob &image) {
    Blob packed = webimage::Pack(image.data(), image.size());
    EXPECT_EQ(packed.size(), image.size());
    webimage::Unpack(packed.data(), packed.size());
    return packed;
}

std::size_t Gzipped(const Blob &bytes) {
    uLongf size = compressBound(uLong(bytes.size()));
    Blob out(size);
    EXPECT_EQ(compress2(out.data(), &size, bytes.data(), uLong(bytes.size()), 9), Z_OK);
    return size;
}

TEST(PackedImage, TheProgramsImageComesBackByteForByteAndCompressesBetter) {
    const Blob &image = CompiledImage();
    ASSERT_GT(image.size(), 100000u);
    EXPECT_EQ(RoundTrip(image), image);
    // The sounds are most of it: packed, deflate must do clearly better than on the plain image.
    Blob packed = webimage::Pack(image.data(), image.size());
    EXPECT_LT(Gzipped(packed) * 10, Gzipped(image) * 8);
}

TEST(PackedImage, EdgesOfLengthAndValue) {
    EXPECT_EQ(RoundTrip({}), Blob{});
    EXPECT_EQ(RoundTrip({0x7F}), Blob{0x7F});  // one byte: no word, kept as it is
    EXPECT_EQ(RoundTrip({0x34, 0x12}), (Blob{0x34, 0x12}));
    EXPECT_EQ(RoundTrip({1, 2, 3}), (Blob{1, 2, 3}));  // the odd last byte stays last
    // Full-scale swings between +32767 and -32768: every prediction wraps around 2^16.
    Blob swings;
    for (int i = 0; i < 64; ++i) {
        std::uint16_t w = (i % 3 == 0) ? 0x7FFF : (i % 3 == 1) ? 0x8000 : std::uint16_t(i * 2654435761u);
        swings.push_back(std::uint8_t(w));
        swings.push_back(std::uint8_t(w >> 8));
    }
    swings.push_back(0xEE);
    EXPECT_EQ(RoundTrip(swings), swings);
}

TEST(PackedImage, AStraightRampLeavesOnlyItsFirstStepsAndThePlanesAreLowThenHigh) {
    // Words 0x0100, 0x0200, ...: predicted exactly from the third word on.
    Blob ramp;
    for (int i = 1; i <= 6; ++i) {
        ramp.push_back(0x00);
        ramp.push_back(std::uint8_t(i));
    }
    Blob packed = webimage::Pack(ramp.data(), ramp.size());
    // Residuals 0x0100 (from 0), 0x0000 (0x0200 - 2 * 0x0100) and zeros after; low bytes, then high.
    EXPECT_EQ(packed, (Blob{0, 0, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0}));
    EXPECT_EQ(RoundTrip(ramp), ramp);
}

}  // namespace
