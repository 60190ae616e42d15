// The one sound schedule, rendered through a test output (a pull device whose callbacks come exactly
// every 10 ms, or one read through reports apart from its requests): each sound starts at the frame it was given and cuts off the
// one playing, a little late one starts whole at once and a very late one is dropped, a stop silences
// at its moment, sounds asked for before any output wait for their frames.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "scheduler.h"

namespace {

constexpr int kRate = 48000;
constexpr int kBuffer = 480;
constexpr std::int64_t kMs = 1000000;

// A device whose callbacks come exactly every 10 ms; everything rendered is kept.
hostsound::OutputTiming PullTiming() {
    hostsound::OutputTiming timing;
    timing.rate = kRate;
    timing.grainFrames = kBuffer;
    return timing;
}

struct Stream {
    // `cycle`: frames a callback asks for (a sound server's long cycles as well as a device's buffer).
    explicit Stream(bool attach = true, int cycle = kBuffer, int latencyMs = 50) : engine(latencyMs), cycle(cycle) {
        if (attach) engine.Attach(PullTiming(), {}, 0);
    }
    hostsound::Scheduler engine;
    int cycle;
    std::vector<float> out;
    std::int64_t nowNs = 0;
    // Each callback fills the buffer after the one being heard.
    void RunUntil(std::int64_t ns) {
        while (nowNs <= ns) {
            std::int64_t at = std::int64_t(out.size());
            out.resize(out.size() + std::size_t(cycle));
            engine.Pull(out.data() + at, at, cycle, nowNs, at - cycle);
            nowNs = std::int64_t(out.size()) * 1000000000 / kRate;
        }
    }
};

// A converted sound whose samples all differ, so any misplaced frame shows.
struct Ramp : hostsound::SoundData {
    Ramp(std::size_t length, float base) {
        samples.resize(length);
        for (std::size_t i = 0; i < length; ++i) samples[i] = base + float(i) * 1e-4f;
    }
    float operator[](std::size_t i) const { return samples[i]; }
    std::size_t size() const { return samples.size(); }
    float back() const { return samples.back(); }
};

// An output whose readings come as reports apart from what it renders, with a guard of 25 ms: frame 0
// is heard at 0 ms.
void AttachReported(hostsound::Scheduler &engine) {
    hostsound::OutputTiming timing = PullTiming();
    timing.guardFrames = 1200;
    engine.Attach(timing, {}, 0);
    engine.Report(0, 0);
}

bool Silent(const std::vector<float> &out, std::int64_t from, std::int64_t to) {
    for (std::int64_t i = from; i < to; ++i)
        if (out[std::size_t(i)] != 0.0f) return false;
    return true;
}

// A latency that leaves the room for a late call past the two buffers the output holds.
TEST(Scheduler, ASoundStartsAtItsFrameAndEndsInSilence) {
    Stream stream(true, kBuffer, 80);
    stream.RunUntil(300 * kMs);
    Ramp click(1000, 0.5f);
    std::int64_t frame = stream.engine.Play(1026, &click, 305 * kMs, 306 * kMs);
    // 305 ms + 80 ms latency, heard one buffer after it is asked for.
    EXPECT_NEAR(double(frame), 0.385 * kRate - kBuffer, 2.0);
    stream.RunUntil(600 * kMs);
    EXPECT_TRUE(Silent(stream.out, 0, frame));
    for (std::size_t i = 0; i < click.size(); ++i) ASSERT_EQ(stream.out[std::size_t(frame) + i], click[i]) << i;
    EXPECT_TRUE(Silent(stream.out, frame + std::int64_t(click.size()), std::int64_t(stream.out.size())));

    hostsound::Scheduler::Started started[4];
    ASSERT_EQ(stream.engine.TakeStarted(started, 4), 1);
    EXPECT_EQ(started[0].id, 1026);
    EXPECT_EQ(started[0].frame, frame);
    EXPECT_EQ(started[0].scheduled, frame);
    EXPECT_EQ(started[0].timeNs, 300 * kMs) << "the last callback's moment";
    EXPECT_EQ(started[0].heardFrame, 30 * kBuffer - kBuffer) << "and the frame heard then";
    EXPECT_EQ(stream.engine.TakeStarted(started, 4), 0);
}

TEST(Scheduler, OneVoiceANewSoundCutsOffThePlayingOneAtItsStart) {
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

TEST(Scheduler, AStopCutsTheSoundAtItsMoment) {
    Stream stream;
    stream.RunUntil(100 * kMs);
    Ramp note(30000, 0.1f);
    std::int64_t start = stream.engine.Play(1005, &note, 101 * kMs, 101 * kMs);
    std::int64_t stop = stream.engine.Play(0, nullptr, 201 * kMs, 101 * kMs);
    stream.RunUntil(900 * kMs);
    ASSERT_EQ(stop - start, 4800);  // 100 ms apart, to the frame
    EXPECT_NE(stream.out[std::size_t(stop - 1)], 0.0f);
    EXPECT_TRUE(Silent(stream.out, stop, std::int64_t(stream.out.size())));
}

TEST(Scheduler, ALittleLateSoundStartsWholeAtTheNextBufferAVeryLateOneIsDropped) {
    Stream stream;
    stream.RunUntil(500 * kMs);
    Ramp click(500, 0.3f);
    // Its frame was rendered 30 ms ago (less than the latency): it starts whole at once.
    std::int64_t frame = stream.engine.Play(1027, &click, 440 * kMs, 505 * kMs);
    std::size_t bufferStart = stream.out.size();
    EXPECT_EQ(frame, std::int64_t(bufferStart));
    // One 160 ms late would be heard out of its time: dropped.
    EXPECT_EQ(stream.engine.Play(1026, &click, 300 * kMs, 505 * kMs), -1);
    stream.RunUntil(700 * kMs);
    EXPECT_EQ(stream.out[bufferStart], click[0]);
    EXPECT_EQ(stream.out[bufferStart + click.size() - 1], click.back());
    EXPECT_TRUE(Silent(stream.out, std::int64_t(bufferStart + click.size()), std::int64_t(stream.out.size())));
    hostsound::Scheduler::Started started[2];
    ASSERT_EQ(stream.engine.TakeStarted(started, 2), 1);
    EXPECT_EQ(started[0].frame, std::int64_t(bufferStart));
    EXPECT_LT(started[0].scheduled, frame);
}

// An output that wakes late or loses frames goes on past frames it never rendered. A sound due in
// them starts whole at the first frame rendered; one due more than the latency before is silenced,
// and still cuts off the note it was to cut.
TEST(Scheduler, ASoundWhoseFrameTheOutputWentPastStartsWholeOrIsSilencedWhenTooLate) {
    for (int skipMs : {20, 80}) {
        SCOPED_TRACE(skipMs);
        Stream stream;
        stream.RunUntil(100 * kMs);
        Ramp note(48000, 0.25f), click(500, -0.5f);
        std::int64_t noteAt = stream.engine.Play(1001, &note, 101 * kMs, 101 * kMs);
        stream.RunUntil(200 * kMs);
        std::int64_t clickAt = stream.engine.Play(1025, &click, 201 * kMs, 201 * kMs);
        // The output renders up to 10 ms before the click's frame, then goes on `skipMs` after it.
        std::int64_t gapFrom = clickAt - kRate / 100;
        while (std::int64_t(stream.out.size()) < gapFrom) stream.RunUntil(stream.nowNs);
        stream.out.resize(std::size_t(gapFrom));
        std::int64_t from = clickAt + skipMs * kRate / 1000;
        stream.out.resize(std::size_t(from), 9.0f);  // never rendered
        std::vector<float> buffer(kBuffer);
        stream.engine.Pull(buffer.data(), from, kBuffer, stream.nowNs, from - kBuffer);
        stream.out.insert(stream.out.end(), buffer.begin(), buffer.end());
        stream.RunUntil(stream.nowNs + 500 * kMs);
        EXPECT_EQ(stream.out[std::size_t(gapFrom - 1)], note[std::size_t(gapFrom - 1 - noteAt)]);
        if (skipMs < 50) {
            for (std::size_t i = 0; i < click.size(); ++i) ASSERT_EQ(stream.out[std::size_t(from) + i], click[i]) << i;
            EXPECT_TRUE(Silent(stream.out, from + std::int64_t(click.size()), std::int64_t(stream.out.size())));
        } else {
            EXPECT_TRUE(Silent(stream.out, from, std::int64_t(stream.out.size())));
        }
    }
}

TEST(Scheduler, BeforeTheDeviceRunsASoundWaitsForItsPlaceInTheFirstBuffers) {
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

// 240 beats a minute for ten seconds with the loop reaching each beat 0-3 ms late, and twice 35 ms
// late (a busy desktop's loop): every click starts whole on its frame, exactly 12000 frames after the
// one before, also from an output whose cycles (43 or 85 ms) with their delay take frames further
// ahead than a sound asked for on time reaches: its run is heard that much later, told as a lag.
TEST(Scheduler, ClicksAtWholeMillisecondsAreExactlyThatManyFramesApart) {
    for (int cycle : {kBuffer, 2048, 4096}) {
        SCOPED_TRACE(cycle);
        Stream stream(true, cycle, 60);
        Ramp click(400, 0.5f);
        std::vector<std::int64_t> frames;
        for (int beat = 0; beat < 40; ++beat) {
            std::int64_t message = (1000 + beat * 250) * kMs;
            std::int64_t late = (beat == 13 || beat == 30 ? 35 : beat % 4) * kMs;
            stream.RunUntil(message + late);
            frames.push_back(stream.engine.Play(1026, &click, message, message + late));
        }
        if (cycle > kBuffer) {
            EXPECT_GT(stream.engine.LagNs(), 0);
        } else {
            EXPECT_EQ(stream.engine.LagNs(), 0) << "the latency is room enough";
        }
        stream.RunUntil(12000 * kMs);
        hostsound::Scheduler::Started started[40];
        ASSERT_EQ(stream.engine.TakeStarted(started, 40), 40);
        for (int beat = 0; beat < 40; ++beat) {
            std::int64_t frame = frames[std::size_t(beat)];
            EXPECT_EQ(started[beat].frame, started[beat].scheduled) << "late: beat " << beat;
            EXPECT_EQ(stream.out[std::size_t(frame)], click[0]);
            EXPECT_EQ(stream.out[std::size_t(frame - 1)], 0.0f);
            if (beat > 0) {
                EXPECT_EQ(frame - frames[std::size_t(beat - 1)], 12000);
            }
        }
    }
}

// The output's cycle grows in the middle of a run (another client of a sound server asked for long
// cycles): the first sound whose frame it has already taken moves the run's line once, later and
// past the longest cycle, so no sound starts late and every other interval stays within a frame of
// exact, also after the cycle is short again.
TEST(Scheduler, ACycleGrowingInARunMovesItsLineOnceAndNoSoundIsLate) {
    Stream stream(true, kBuffer, 60);
    Ramp click(400, 0.5f);
    std::vector<std::int64_t> frames;
    for (int beat = 0; beat < 40; ++beat) {
        std::int64_t message = (1000 + beat * 250) * kMs;
        stream.cycle = beat >= 12 && beat < 28 ? 4096 : kBuffer;
        stream.RunUntil(message + (beat % 4) * kMs);
        frames.push_back(stream.engine.Play(1026, &click, message, message + (beat % 4) * kMs));
    }
    stream.RunUntil(12000 * kMs);
    hostsound::Scheduler::Started started[40];
    ASSERT_EQ(stream.engine.TakeStarted(started, 40), 40);
    int moved = 0;
    for (int beat = 0; beat < 40; ++beat) {
        EXPECT_EQ(started[beat].frame, started[beat].scheduled) << "late: beat " << beat;
        EXPECT_EQ(stream.out[std::size_t(frames[std::size_t(beat)])], click[0]);
        if (beat == 0) continue;
        std::int64_t interval = frames[std::size_t(beat)] - frames[std::size_t(beat - 1)];
        // A frame a sound either way follows the output's new delay without a jump.
        if (std::abs(interval - 12000) > 1) {
            ++moved;
            EXPECT_GT(interval, 12000) << "moved earlier: beat " << beat;
        }
    }
    EXPECT_LE(moved, 1);
    EXPECT_GT(stream.engine.LagNs(), 0) << "the screen is told how much later the run is heard";
}

TEST(Scheduler, SoundsAskedForBeforeAnyOutputArePlacedWhenOneStartsOrDroppedWhenPast) {
    Stream stream(false);
    Ramp early(100, 0.2f), later(100, 0.6f);
    EXPECT_EQ(stream.engine.Play(1025, &early, 0, 0), -1) << "no output: it waits";
    EXPECT_EQ(stream.engine.Play(1026, &later, 250 * kMs, 250 * kMs), -1);
    // The output comes up at 260 ms: the first sound's moment (50 ms) has gone, the second's (300 ms)
    // is 40 ms ahead.
    stream.nowNs = 260 * kMs;
    stream.engine.Attach(PullTiming(), {}, 260 * kMs);
    stream.RunUntil(500 * kMs);
    hostsound::Scheduler::Started started[4];
    ASSERT_EQ(stream.engine.TakeStarted(started, 4), 1);
    EXPECT_EQ(started[0].id, 1026);
    EXPECT_EQ(started[0].frame, 40 * kRate / 1000 - kBuffer) << "frames count from the output's start";
    std::size_t at = std::size_t(started[0].frame);
    EXPECT_TRUE(Silent(stream.out, 0, std::int64_t(at)));
    EXPECT_EQ(stream.out[at], later[0]);
    EXPECT_EQ(stream.out[at + 99], later[99]);
    EXPECT_TRUE(Silent(stream.out, std::int64_t(at + 100), std::int64_t(stream.out.size())));
}

// Frames handed over are final, so a sound is placed on or after the first frame not yet
// handed, and never closer than the guard to the frame last heard.
TEST(Scheduler, AnOutputReadThroughReportsPlacesSoundsAfterTheFramesItWasHanded) {
    hostsound::Scheduler engine(80);
    AttachReported(engine);
    std::vector<float> out(6000, 1.0f);
    engine.Pull(out.data(), 0, 1440, 0, 0);  // 30 ms handed ahead
    Ramp note(3000, 0.25f), click(300, -0.5f);
    std::int64_t noteAt = engine.Play(1001, &note, -70 * kMs, 0);  // due at 10 ms, long handed
    EXPECT_EQ(noteAt, 1440) << "whole, at the first frame not handed";
    std::int64_t clickAt = engine.Play(1025, &click, 0, 0);
    EXPECT_NEAR(double(clickAt), 0.080 * kRate, double(kBuffer)) << "due a latency after its message";
    ASSERT_GT(clickAt, noteAt);
    engine.Pull(out.data() + 1440, 1440, 6000 - 1440, 0, 0);
    EXPECT_TRUE(Silent(out, 0, 1440)) << "handed before either sound";
    EXPECT_EQ(out[std::size_t(noteAt)], note[0]);
    EXPECT_EQ(out[std::size_t(clickAt - 1)], note[std::size_t(clickAt - noteAt - 1)]);
    EXPECT_EQ(out[std::size_t(clickAt)], click[0]) << "the click cuts the note";
    EXPECT_TRUE(Silent(out, clickAt + 300, 6000));
    // The next click of the run, its message 500 ms after the first: exactly 500 ms of frames later.
    EXPECT_EQ(engine.Play(1025, &click, 500 * kMs, 20 * kMs) - clickAt, 24000);
    // A sound due where the output is about to play starts past the guard.
    engine.Report(400 * kMs, 400 * kRate / 1000);
    EXPECT_GE(engine.Play(1025, &click, 350 * kMs, 400 * kMs), 400 * kRate / 1000 + 1200);
}

// What an output that starts each sound itself (the browser's) is told: where each sound stops, and
// which sound it cuts off; the same frames a pulled stream renders.
TEST(Scheduler, APlacementSaysWhereTheSoundStopsAndWhichOneItCuts) {
    Stream stream;
    stream.RunUntil(100 * kMs);
    Ramp note(4800, 0.25f), click(480, -0.5f);
    using Placement = hostsound::Scheduler::Placement;
    Placement first, second, later, quiet, stop, after;
    std::int64_t noteAt = stream.engine.Play(1001, &note, 110 * kMs, 110 * kMs, &first);
    EXPECT_EQ(first.end, noteAt + 4800) << "its own end";
    EXPECT_EQ(first.cuts, -1) << "nothing sounds before it";
    std::int64_t clickAt = stream.engine.Play(1025, &click, 150 * kMs, 111 * kMs, &second);
    EXPECT_EQ(second.cuts, noteAt) << "the note, 40 ms in";
    EXPECT_EQ(second.end, clickAt + 480);
    EXPECT_EQ(clickAt - noteAt, 1920);
    // Placed a little late, at a frame before a sound already placed: it stops where that one starts.
    std::int64_t lateAt = stream.engine.Play(1002, &note, 120 * kMs, 111 * kMs, &later);
    EXPECT_EQ(lateAt - noteAt, 480);
    EXPECT_EQ(later.cuts, noteAt);
    EXPECT_EQ(later.end, clickAt) << "cut by the click placed before it";
    // A stop after the click has ended cuts nothing; one within the next note cuts it.
    stream.engine.Play(0, nullptr, 170 * kMs, 112 * kMs, &quiet);
    EXPECT_EQ(quiet.cuts, -1);
    std::int64_t afterAt = stream.engine.Play(1001, &note, 200 * kMs, 112 * kMs, &after);
    std::int64_t stopAt = stream.engine.Play(0, nullptr, 210 * kMs, 112 * kMs, &stop);
    EXPECT_EQ(stop.cuts, afterAt);
    EXPECT_EQ(stop.end, stopAt);
    stream.RunUntil(400 * kMs);
    auto at = [&](std::int64_t frame) { return stream.out[std::size_t(frame)]; };
    EXPECT_EQ(at(lateAt - 1), note[479]);
    EXPECT_EQ(at(lateAt), note[0]);
    EXPECT_EQ(at(clickAt - 1), note[clickAt - lateAt - 1]);
    EXPECT_EQ(at(clickAt), click[0]);
    EXPECT_TRUE(Silent(stream.out, clickAt + 480, afterAt));
    EXPECT_EQ(at(stopAt - 1), note[std::size_t(stopAt - afterAt - 1)]);
    EXPECT_TRUE(Silent(stream.out, stopAt, std::int64_t(stream.out.size())));
}

// A device paced by a timer (SDL's disk and dummy drivers) runs off its nominal rate and its
// callbacks come late by up to 2 ms, and by 6 ms more for stretches of 0.4 s (a busy machine): the
// schedule follows its clock, but moves smoothly, so the
// clicks of a run are a steady interval apart rather than each jumping to where the callbacks scatter.
TEST(Scheduler, ATimerPacedDeviceIsFollowedSmoothlyNotByJumps) {
    hostsound::Scheduler engine(50);
    hostsound::OutputTiming timing = PullTiming();
    timing.spread = hostsound::DeviceClock::kTimerSpread;
    timing.holdSeconds = 0;
    engine.Attach(timing, {}, 0);
    std::vector<float> out(kBuffer);
    const double trueRate = kRate * 1.01;
    std::int64_t rendered = 0;
    std::vector<std::int64_t> clicks;
    Ramp click(100, 0.5f);
    for (int k = 0; k < 600; ++k) {
        // The callback for frames [rendered, rendered + kBuffer) comes when the device has played
        // up to them, late by a scatter of 0 to 2 ms.
        std::int64_t ideal = std::int64_t(double(rendered) / trueRate * 1e9);
        std::int64_t nowNs = ideal + (k * 7919 % 2000) * 1000 + (k % 100 >= 60 ? 6 * kMs : 0);
        engine.Pull(out.data(), rendered, kBuffer, nowNs, rendered - kBuffer);
        rendered += kBuffer;
        if (k >= 200 && k % 25 == 0) clicks.push_back(engine.Play(1025, &click, ideal, nowNs));
    }
    ASSERT_EQ(clicks.size(), 16u);
    // 25 callbacks of the device apart: 12000 of its frames, whatever its rate, give or take the fit's
    // slow pull (from the second interval, once the line drawn at the first click has met the fit); a
    // line that jumps to the fit at each click moves them by the stalls' 50 frames.
    for (std::size_t i = 2; i < clicks.size(); ++i)
        EXPECT_NEAR(double(clicks[i] - clicks[i - 1]), 12000.0, 15.0) << "click " << i;
}

// The write-ahead output (PulseAudio) writes again only the frames a new sound changed.
TEST(Scheduler, AWriteAheadOutputRendersAgainOnlyTheFramesANewSoundChanged) {
    hostsound::Scheduler engine(50);
    AttachReported(engine);
    Ramp note(48000, 0.25f), click(300, -0.5f);
    std::int64_t noteAt = engine.Play(1001, &note, 10 * kMs, 10 * kMs);
    std::int64_t to = 0;
    EXPECT_EQ(engine.TakeChange(&to), noteAt);
    EXPECT_EQ(to, noteAt + 48000);
    // Four seconds written ahead, then a click half a second in: only [click, end of the note) change.
    std::vector<float> queue(4 * kRate);
    engine.Render(queue.data(), 0, int(queue.size()));
    std::int64_t clickAt = engine.Play(1025, &click, 510 * kMs, 20 * kMs);
    ASSERT_EQ(clickAt - noteAt, 24000);
    EXPECT_EQ(engine.TakeChange(&to), clickAt);
    EXPECT_EQ(to, noteAt + 48000) << "the rest of the note it cuts off";
    std::int64_t changedTo = to;
    EXPECT_EQ(engine.TakeChange(&to), -1) << "taken once";
    engine.Render(queue.data() + clickAt, int(clickAt), int(changedTo - clickAt));
    EXPECT_EQ(queue[std::size_t(clickAt - 1)], note[std::size_t(clickAt - noteAt - 1)]);
    EXPECT_EQ(queue[std::size_t(clickAt)], click[0]);
    EXPECT_TRUE(Silent(queue, clickAt + 300, std::int64_t(queue.size())));
    // A frame the device may already hold is not changed: a sound for it starts past the guard.
    engine.Report(400 * kMs, 400 * kRate / 1000);
    EXPECT_GE(engine.Play(1025, &click, 350 * kMs, 400 * kMs), 400 * kRate / 1000 + 1200);
}

}  // namespace
