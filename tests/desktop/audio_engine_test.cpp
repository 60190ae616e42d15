// The sound engine, driven by a simulated callback: each sound starts at the frame it was given,
// cuts off the one playing, a late one starts whole at once, and a stop silences at its moment.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "audio_engine.h"

namespace {

constexpr int kRate = 48000;
constexpr int kBuffer = 480;
constexpr std::int64_t kMs = 1000000;

// A device whose callbacks come exactly every 10 ms; everything rendered is kept.
struct Stream {
    sdlhost::AudioEngine engine{kRate, kBuffer, 50};
    std::vector<float> out;
    std::int64_t nowNs = 0;
    void RunUntil(std::int64_t ns) {
        while (nowNs <= ns) {
            std::size_t at = out.size();
            out.resize(at + kBuffer);
            engine.Render(out.data() + at, kBuffer, nowNs);
            nowNs += 10 * kMs;
        }
    }
};

// A converted sound whose samples all differ, so any misplaced frame shows.
struct Ramp : sdlhost::SoundData {
    Ramp(std::size_t length, float base) {
        samples.resize(length);
        for (std::size_t i = 0; i < length; ++i)
            samples[i] = base + float(i) * 1e-4f;
        ready = length;
    }
    float operator[](std::size_t i) const { return samples[i]; }
    std::size_t size() const { return samples.size(); }
    float back() const { return samples.back(); }
};

bool Silent(const std::vector<float> &out, std::int64_t from, std::int64_t to) {
    for (std::int64_t i = from; i < to; ++i)
        if (out[std::size_t(i)] != 0.0f)
            return false;
    return true;
}

TEST(AudioEngine, ASoundStartsAtItsFrameAndEndsInSilence) {
    Stream stream;
    stream.RunUntil(300 * kMs);
    Ramp click(1000, 0.5f);
    std::int64_t frame = stream.engine.Play(1026, &click, 305 * kMs, 306 * kMs);
    // 305 ms + 50 ms latency, heard one buffer after it is asked for.
    EXPECT_NEAR(double(frame), 0.355 * kRate - kBuffer, 2.0);
    stream.RunUntil(600 * kMs);
    EXPECT_TRUE(Silent(stream.out, 0, frame));
    for (std::size_t i = 0; i < click.size(); ++i)
        ASSERT_EQ(stream.out[std::size_t(frame) + i], click[i]) << i;
    EXPECT_TRUE(Silent(stream.out, frame + std::int64_t(click.size()), std::int64_t(stream.out.size())));

    sdlhost::AudioEngine::Started started[4];
    ASSERT_EQ(stream.engine.TakeStarted(started, 4), 1);
    EXPECT_EQ(started[0].id, 1026);
    EXPECT_EQ(started[0].frame, frame);
    EXPECT_EQ(started[0].scheduled, frame);
    EXPECT_LE(started[0].callbackFrame, frame);
    EXPECT_GT(started[0].callbackFrame + kBuffer, frame);
    EXPECT_EQ(stream.engine.TakeStarted(started, 4), 0);
}

TEST(AudioEngine, OneVoiceANewSoundCutsOffThePlayingOneAtItsStart) {
    Stream stream;
    stream.RunUntil(200 * kMs);
    Ramp longNote(20000, 0.25f);
    Ramp click(300, -0.5f);
    std::int64_t first = stream.engine.Play(1001, &longNote, 201 * kMs, 202 * kMs);
    std::int64_t second = stream.engine.Play(1025, &click, 251 * kMs, 202 * kMs);
    ASSERT_GT(second, first);
    ASSERT_LT(second, first + std::int64_t(longNote.size()));
    // Stop the sound 100 ms later, in the middle of nothing (the click is over by then).
    std::int64_t stop = stream.engine.Play(0, nullptr, 351 * kMs, 202 * kMs);
    stream.RunUntil(800 * kMs);
    EXPECT_EQ(stream.out[std::size_t(second - 1)], longNote[std::size_t(second - first - 1)]);
    EXPECT_EQ(stream.out[std::size_t(second)], click[0]);
    EXPECT_EQ(stream.out[std::size_t(second) + click.size() - 1], click.back());
    EXPECT_TRUE(Silent(stream.out, second + std::int64_t(click.size()), std::int64_t(stream.out.size())));
    EXPECT_GT(stop, second);
}

TEST(AudioEngine, AStopCutsTheSoundAtItsMoment) {
    Stream stream;
    stream.RunUntil(100 * kMs);
    Ramp note(30000, 0.1f);
    std::int64_t start = stream.engine.Play(1005, &note, 101 * kMs, 101 * kMs);
    std::int64_t stop = stream.engine.Play(0, nullptr, 201 * kMs, 101 * kMs);
    stream.RunUntil(900 * kMs);
    ASSERT_EQ(stop - start, 4800);   // 100 ms apart, to the frame
    EXPECT_NE(stream.out[std::size_t(stop - 1)], 0.0f);
    EXPECT_TRUE(Silent(stream.out, stop, std::int64_t(stream.out.size())));
}

TEST(AudioEngine, ALateSoundStartsWholeAtTheNextBuffer) {
    Stream stream;
    stream.RunUntil(500 * kMs);
    Ramp click(500, 0.3f);
    // Its message is 200 ms old: its frame was rendered long ago.
    std::int64_t frame = stream.engine.Play(1027, &click, 300 * kMs, 505 * kMs);
    std::size_t bufferStart = stream.out.size();
    ASSERT_LT(frame, std::int64_t(bufferStart));
    stream.RunUntil(700 * kMs);
    EXPECT_EQ(stream.out[bufferStart], click[0]);
    EXPECT_EQ(stream.out[bufferStart + click.size() - 1], click.back());
    sdlhost::AudioEngine::Started started[2];
    ASSERT_EQ(stream.engine.TakeStarted(started, 2), 1);
    EXPECT_EQ(started[0].frame, std::int64_t(bufferStart));
    EXPECT_EQ(started[0].scheduled, frame);
}

TEST(AudioEngine, BeforeTheDeviceRunsASoundWaitsForItsPlaceInTheFirstBuffers) {
    Stream stream;
    Ramp click(100, 0.7f);
    // 50 ms after the device starts, less the buffer ahead of the one heard.
    EXPECT_EQ(stream.engine.Play(1025, &click, 0, 0), 1920);
    stream.RunUntil(100 * kMs);
    EXPECT_TRUE(Silent(stream.out, 0, 1920));
    EXPECT_EQ(stream.out[1920], click[0]);
    EXPECT_EQ(stream.out[2019], click[99]);
    EXPECT_EQ(stream.out[2020], 0.0f);
}

TEST(AudioEngine, ClicksAtWholeMillisecondsAreExactlyThatManyFramesApart) {
    // 240 beats a minute for ten seconds with the loop reaching each beat 0-3 ms late.
    Stream stream;
    Ramp click(400, 0.5f);
    std::vector<std::int64_t> frames;
    for (int beat = 0; beat < 40; ++beat) {
        std::int64_t message = (1000 + beat * 250) * kMs;
        stream.RunUntil(message + (beat % 4) * kMs);
        frames.push_back(stream.engine.Play(1026, &click, message, message + (beat % 4) * kMs));
    }
    stream.RunUntil(12000 * kMs);
    std::int64_t previous = -1;
    for (std::int64_t frame : frames) {
        EXPECT_EQ(stream.out[std::size_t(frame)], click[0]);
        EXPECT_EQ(stream.out[std::size_t(frame - 1)], 0.0f);
        if (previous >= 0) {
            EXPECT_EQ(frame - previous, 12000);
        }
        previous = frame;
    }
}

}  // namespace
