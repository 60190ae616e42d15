// Conversion of the program's 11025 Hz sounds to the device rate: full length, clean, done once.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "sound_cache.h"

namespace {

std::vector<std::int16_t> Tone(double hz, int rate, std::size_t count, double amplitude) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = std::int16_t(std::lround(amplitude * 32767 * std::sin(2 * M_PI * hz * double(i) / rate)));
    return samples;
}

// The amplitude of `hz` in `signal` (Goertzel over the given range).
double Level(const std::vector<float> &signal, double hz, int rate, std::size_t from, std::size_t to) {
    double w = 2 * M_PI * hz / rate, coeff = 2 * std::cos(w), s1 = 0, s2 = 0;
    for (std::size_t i = from; i < to; ++i) {
        double s0 = signal[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2 * std::sqrt(std::max(power, 0.0)) / double(to - from);
}

TEST(SoundConversion, KeepsTheWholeSoundAndItsPitch) {
    // 100 ms of 1 kHz: 4800 frames at 48 kHz, the same tone, and its last part still there.
    std::vector<std::int16_t> tone = Tone(1000, 11025, 1103, 0.5);
    std::vector<float> out = hostsound::ConvertRate(tone.data(), tone.size(), 11025, 48000);
    EXPECT_NEAR(double(out.size()), 1103 * 48000.0 / 11025, 2.0);
    EXPECT_NEAR(Level(out, 1000, 48000, 480, 4320), 0.5, 0.01);
    EXPECT_NEAR(Level(out, 1000, 48000, out.size() - 960, out.size() - 96), 0.5, 0.02) << "the tail";
    for (std::size_t i = 1000; i < 1100; ++i)
        EXPECT_NEAR(out[i], 0.5 * std::sin(2 * M_PI * 1000 * double(i) / 48000), 2e-3) << i;
}

TEST(SoundConversion, LeavesNoImageOfAHighTone) {
    // A 4.5 kHz tone, near the 5.5 kHz limit of the source: its image at 6525 Hz must be gone.
    std::vector<std::int16_t> tone = Tone(4500, 11025, 11025, 0.5);
    std::vector<float> out = hostsound::ConvertRate(tone.data(), tone.size(), 11025, 48000);
    std::size_t from = 4800, to = out.size() - 4800;
    double wanted = Level(out, 4500, 48000, from, to);
    double image = Level(out, 6525, 48000, from, to);
    EXPECT_NEAR(wanted, 0.5, 0.03);
    EXPECT_LT(20 * std::log10(image / wanted), -60.0);
}

TEST(SoundConversion, RefusesWhatCannotBeASound) {
    std::int16_t one = 1000;
    EXPECT_TRUE(hostsound::ConvertRate(nullptr, 10, 11025, 48000).empty());
    EXPECT_TRUE(hostsound::ConvertRate(&one, 0, 11025, 48000).empty());
    EXPECT_TRUE(hostsound::ConvertRate(&one, 1, 0, 48000).empty());
    EXPECT_TRUE(hostsound::ConvertRate(&one, 1, 11025, -1).empty());
    hostsound::SoundCache cache(48000);
    EXPECT_EQ(cache.Get(nullptr, 10, 11025), nullptr);
    EXPECT_EQ(cache.Get(&one, 0, 11025), nullptr);
    EXPECT_EQ(cache.Size(), 0u);
}

TEST(SoundCache, ConvertsEachSoundOnceWhereverItIsKept) {
    hostsound::SoundCache cache(44100);
    std::vector<std::int16_t> a = Tone(440, 11025, 2000, 0.3);
    std::vector<std::int16_t> copyOfA = a;
    std::vector<std::int16_t> b = Tone(880, 11025, 2000, 0.3);
    const hostsound::SoundData *first = cache.Get(a.data(), a.size(), 11025);
    ASSERT_NE(first, nullptr);
    EXPECT_NEAR(double(first->Length()), 8000, 2.0);  // 44100 is exactly four times 11025
    EXPECT_EQ(cache.Get(copyOfA.data(), copyOfA.size(), 11025), first);
    const hostsound::SoundData *other = cache.Get(b.data(), b.size(), 11025);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, first);
    EXPECT_NE(cache.Get(a.data(), a.size() - 1, 11025), first) << "a shorter sound is another sound";
    EXPECT_EQ(cache.Size(), 3u);
}

}  // namespace
