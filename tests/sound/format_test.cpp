// The sound files as files: RIFF layout, chunks, format, lengths, peak levels, byte sizes, and
// that the build's files are what the synthesizer makes every time.
#include <gtest/gtest.h>

#include "analysis.h"
#include "sound_figures.h"
#include "synth.h"
#include "wave_reader.h"

namespace soundcheck {

void PrintTo(const SoundFigures &f, std::ostream *os) { *os << f.id; }

namespace {

class SoundFile : public ::testing::TestWithParam<SoundFigures> {};

TEST_P(SoundFile, IsPlainMonoPcmWithOnlyTheListedChunks) {
    const SoundFigures &f = GetParam();
    const WaveFile wave = ReadWave(SoundPath(f.id));
    ASSERT_TRUE(wave.ok) << "not a well-formed RIFF WAVE file: " << SoundPath(f.id);
    EXPECT_EQ(wave.riff_size, wave.file_bytes - 8);

    // "fmt " of 16 bytes, "fact" exactly where listed, then "data"; nothing else.
    std::vector<std::string> expected_ids{"fmt "};
    if (f.fact) expected_ids.push_back("fact");
    expected_ids.push_back("data");
    std::vector<std::string> ids;
    for (const Chunk &c : wave.chunks) ids.push_back(c.id);
    EXPECT_EQ(ids, expected_ids);
    ASSERT_FALSE(wave.chunks.empty());
    EXPECT_EQ(wave.chunks.front().size, 16u);
    if (f.fact) {
        EXPECT_EQ(wave.chunks[1].size, 4u);
        EXPECT_EQ(wave.fact_samples, static_cast<uint32_t>(f.samples));
    }

    EXPECT_EQ(wave.format, 1);
    EXPECT_EQ(wave.channels, 1);
    EXPECT_EQ(wave.rate, 11025u);
    EXPECT_EQ(wave.byte_rate, 22050u);
    EXPECT_EQ(wave.block_align, 2);
    EXPECT_EQ(wave.bits, 16);
}

TEST_P(SoundFile, HasTheListedLengthAndPeak) {
    const SoundFigures &f = GetParam();
    const WaveFile wave = ReadWave(SoundPath(f.id));
    ASSERT_TRUE(wave.ok);
    EXPECT_EQ(static_cast<int>(wave.samples.size()), f.samples);
    EXPECT_EQ(wave.file_bytes, static_cast<size_t>((f.fact ? 56 : 44) + 2 * f.samples));

    // A tuning note ends before the shortest repeat interval of 1050 ms (at most 1005.1 ms); a
    // click before the next beat at the fastest tempo, within 110 ms.
    const double length_ms = wave.samples.size() * 1000.0 / kRate;
    if (f.id <= 1024) {
        EXPECT_LE(length_ms, 1005.1 + 0.05);
        EXPECT_GE(wave.file_bytes, 22094u);
        EXPECT_LE(wave.file_bytes, 22206u);
    } else {
        EXPECT_LE(length_ms, 110.0);
        EXPECT_GE(wave.file_bytes, 2302u);
        EXPECT_LE(wave.file_bytes, 2464u);
    }

    const Signal x(wave.samples.begin(), wave.samples.end());
    EXPECT_NEAR(DbFs(Peak(x)), f.peak_dbfs, 0.05);
}

TEST_P(SoundFile, IsWhatTheSynthesizerMakesEveryTime) {
    const SoundFigures &f = GetParam();
    std::ifstream in(SoundPath(f.id), std::ios::binary);
    const std::vector<uint8_t> on_disk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(sounds::WaveFile(f.id) == on_disk);
    EXPECT_TRUE(sounds::WaveFile(f.id) == sounds::WaveFile(f.id));
}

INSTANTIATE_TEST_SUITE_P(AllSounds, SoundFile, ::testing::ValuesIn(kSoundFigures),
                         [](const ::testing::TestParamInfo<SoundFigures> &info) {
                             return std::to_string(info.param.id);
                         });

TEST(SoundFiles, TuningSoundsTakeTheirListedBytesTogether) {
    size_t total = 0;
    for (const SoundFigures &f : kSoundFigures)
        if (f.id <= 1024) total += ReadWave(SoundPath(f.id)).file_bytes;
    EXPECT_EQ(total, 530694u);
}

}  // namespace
}  // namespace soundcheck
