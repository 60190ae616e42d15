// The device clock: sounds scheduled at whole-millisecond intervals land exactly that many device
// frames apart, in time, whatever the device's true rate, its callback jitter or its stalls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "device_clock.h"

namespace {

constexpr int kRate = 48000;
constexpr int kBuffer = 480;
constexpr std::int64_t kMs = 1000000;
constexpr std::int64_t kLatency = 50 * kMs;

// A simulated device: callback k asks for frames from kBuffer * k and begins at its ideal time
// (by the device's true rate) plus a wake-up delay; it may stall for a while at one moment.
struct Device {
    double spread = hostsound::DeviceClock::kCrystalSpread;
    double band = hostsound::DeviceClock::kNominalBand;
    double hold = hostsound::DeviceClock::kHoldSeconds;
    double trueRate = kRate;
    std::int64_t grainNs = 1;  // the host clock as the timestamps read it (a browser's: 100 us)
    double jitterMs = 0.3;
    std::int64_t stallAtNs = -1, stallNs = 0;
    std::vector<std::int64_t> moreStallsAtNs;  // further stops of stallNs each
    std::mt19937 random{7};
    std::int64_t next = 0;  // index of the next callback
    std::int64_t IdealNs(std::int64_t k) const {
        std::int64_t t = std::llround(double(k * kBuffer) / trueRate * 1e9);
        if (stallAtNs >= 0 && t >= stallAtNs) t += stallNs;
        for (std::int64_t at : moreStallsAtNs)
            if (t >= at) t += stallNs;
        return t;
    }
    std::int64_t TimeNs(std::int64_t k) {
        std::uniform_real_distribution<double> delay(0, jitterMs * 1e6);
        std::int64_t t = IdealNs(k) + std::int64_t(delay(random));
        return t - t % grainNs;
    }
};

struct Result {
    std::vector<std::int64_t> frames;  // chosen start frames
    int anchors = 0;                   // schedule lines drawn afresh
    int late = 0;                      // starts whose frame was already asked for
    double worstHeardMs = 0;           // how far a start is heard from message time + latency + lag
    std::vector<double> heardMs;       // the same for each start
    std::int64_t lagNs = 0;            // the clock's lag after the last sound
};

// Plays `count` sounds every `intervalMs`, the first at `firstMs`; each is scheduled when the
// main loop reaches it, `loopLateMs` after its message time.
Result Simulate(Device &device, int firstMs, int intervalMs, int count, double loopLateMs = 1.0) {
    hostsound::DeviceClock clock(kRate, kBuffer, device.spread, hostsound::DeviceClock::kCallbackStall, device.band,
                                 device.hold);
    Result result;
    std::int64_t pendingT = device.TimeNs(0);
    for (int i = 0; i < count; ++i) {
        std::int64_t message = (firstMs + std::int64_t(i) * intervalMs) * kMs;
        std::int64_t now = message + std::int64_t(loopLateMs * kMs);
        while (pendingT <= now) {
            clock.AddCallback(pendingT, device.next * kBuffer);
            ++device.next;
            pendingT = device.TimeNs(device.next);
        }
        std::int64_t frame = 0;
        EXPECT_TRUE(clock.FrameAt(message + kLatency, now, &frame, device.next * kBuffer));
        // The command reaches the callback that begins next; it must not have passed the frame.
        if (frame < device.next * kBuffer) ++result.late;
        // The frame is asked for by the callback covering it and heard one buffer later.
        double heardNs =
            double(device.IdealNs(frame / kBuffer)) + double(frame % kBuffer + kBuffer) / device.trueRate * 1e9;
        // Where the screen shows the sound's moment: a latency after its message, and the lag later.
        double shownNs = double(message + kLatency + clock.LagNs());
        result.heardMs.push_back(std::fabs(heardNs - shownNs) / 1e6);
        result.worstHeardMs = std::max(result.worstHeardMs, result.heardMs.back());
        result.frames.push_back(frame);
    }
    result.anchors = clock.Anchors();
    result.lagNs = clock.LagNs();
    return result;
}

// The largest difference, in frames, between an interval and the ideal one at the true rate.
double WorstInterval(const Result &result, double trueRate, int intervalMs, std::size_t from = 1,
                     std::size_t to = SIZE_MAX) {
    double ideal = trueRate * intervalMs / 1000.0;
    double worst = 0;
    const std::size_t end = std::min(to, result.frames.size());
    for (std::size_t i = std::max<std::size_t>(from, 1); i < end; ++i) {
        const double step = double(result.frames[i]) - double(result.frames[i - 1]);
        worst = std::max(worst, std::fabs(step - ideal));
    }
    return worst;
}

TEST(DeviceClock, BeforeTheDeviceStartsSoundsKeepTheirSpacingAndPlayWhenItDoes) {
    // A sound server may take two seconds to ask for the first buffer.
    hostsound::DeviceClock clock(kRate, kBuffer);
    std::int64_t first = 0, second = 0, third = 0;
    ASSERT_TRUE(clock.FrameAt(1000 * kMs + kLatency, 1000 * kMs, &first));
    ASSERT_TRUE(clock.FrameAt(1250 * kMs + kLatency, 1250 * kMs, &second));
    EXPECT_EQ(first, 2400 - kBuffer) << "heard a latency after now, counted from the first frame";
    EXPECT_EQ(second - first, 12000);
    // The device starts at 1.9 s and runs; the next sound is placed by it, ahead of its frames.
    std::int64_t frame = 0;
    for (std::int64_t t = 1900 * kMs; t <= 2000 * kMs; t += 10 * kMs, frame += kBuffer) clock.AddCallback(t, frame);
    ASSERT_TRUE(clock.FrameAt(2000 * kMs + kLatency, 2001 * kMs, &third));
    EXPECT_GE(third, frame);
    EXPECT_NEAR(double(third), double(frame - kBuffer) + 0.050 * kRate - kBuffer, 60.0);
}

TEST(DeviceClock, AFastDeviceClockIsMeasuredAndFollowedToTheFrame) {
    // The disk driver's clock runs about half a percent off; a minute of 240 beats a minute. A device
    // paced by a timer has no listener: its line follows the host's clock.
    Device device;
    device.spread = hostsound::DeviceClock::kTimerSpread;
    device.hold = 0;
    device.trueRate = kRate * 1.006;
    Result result = Simulate(device, 1000, 250, 240);
    EXPECT_EQ(result.late, 0);
    EXPECT_LE(WorstInterval(result, device.trueRate, 250), 2.0);
    EXPECT_LT(result.worstHeardMs, 2.0);
    // No drift: the last start is where the true rate puts it, within a few frames.
    double span = double(result.frames.back() - result.frames.front());
    EXPECT_NEAR(span, device.trueRate * 239 * 0.25, 3.0);
}

TEST(DeviceClock, AJitteryDeviceStillGivesEvenSpacingFromTheFirstInterval) {
    // A sound server wakes its client up to a few milliseconds late; the run starts soon after opening.
    Device device;
    device.jitterMs = 3.0;
    Result result = Simulate(device, 300, 250, 240, 2.0);
    EXPECT_EQ(result.late, 0);
    EXPECT_LE(WorstInterval(result, device.trueRate, 250, 1, 2), 2.0) << "the first interval";
    EXPECT_LE(WorstInterval(result, device.trueRate, 250), 3.0);
    EXPECT_LT(result.worstHeardMs, 5.0);
}

TEST(DeviceClock, AStallRestartsTheFitAndTheRunCarriesOnInTime) {
    // The device stops for 1.4 s ten seconds in (a sound server soon after opening does this).
    Device device;
    device.stallAtNs = 10000 * kMs;
    device.stallNs = 1400 * kMs;
    device.jitterMs = 0.5;
    Result result = Simulate(device, 500, 250, 120);
    // Sounds already handed over before the stall play late with the device; the rest are in time.
    EXPECT_LE(result.late, 6);
    std::size_t after = 0;
    for (std::size_t i = 0; i < result.frames.size(); ++i)
        if ((500 + std::int64_t(i) * 250) * kMs > device.stallAtNs + device.stallNs + 200 * kMs && !after) after = i;
    ASSERT_GT(after, 0u);
    EXPECT_LE(WorstInterval(result, device.trueRate, 250, 1, 38), 1.0) << "before the stall";
    EXPECT_LE(WorstInterval(result, device.trueRate, 250, after + 1), 2.0) << "after the stall";
}

TEST(DeviceClock, AGapInTheCallbacksRestartsTheFitAtTheFirstCallbackAfterIt) {
    // Five seconds of exact callbacks, then none for 200 ms (the device paused, its frames with it):
    // a sound scheduled 15 ms after the device came back is heard a latency after its message, not
    // 200 ms early by the old line.
    hostsound::DeviceClock clock(kRate, kBuffer);
    std::int64_t frame = 0, t = 0;
    for (; t <= 5000 * kMs; t += 10 * kMs, frame += kBuffer) clock.AddCallback(t, frame);
    std::int64_t before = 0;  // a schedule line drawn before the gap, which must not outlive it
    ASSERT_TRUE(clock.FrameAt(4990 * kMs + kLatency, 4990 * kMs, &before));
    EXPECT_NEAR(double(before), 4990.0 * kRate / 1000 + 2400 - kBuffer, 2.0);
    std::int64_t resumed = frame;  // the first frame the device asks for after the gap
    for (t += 200 * kMs; t <= 5220 * kMs; t += 10 * kMs, frame += kBuffer) clock.AddCallback(t, frame);
    std::int64_t after = 0;
    ASSERT_TRUE(clock.FrameAt(5215 * kMs + kLatency, 5215 * kMs, &after));
    // Frame `resumed` was asked for at 5.21 s and is heard a buffer later.
    std::int64_t heardAtDue = resumed + (5215 - 5210) * kRate / 1000 + kLatency * kRate / 1000000000;
    EXPECT_NEAR(double(after), double(heardAtDue - kBuffer), 2.0);
    EXPECT_EQ(clock.Restarts(), 1);
}

TEST(DeviceClock, ASoundScheduledWhileTheDeviceStoppedAskingPlaysWhenItGoesOn) {
    // The device asks every 10 ms for five seconds, then stops (its server suspended it): a sound
    // scheduled half a second later is placed a latency after the frames it will ask for next, not
    // where the old callbacks' line has run on to meanwhile.
    hostsound::DeviceClock clock(kRate, kBuffer);
    std::int64_t next = 0;
    for (std::int64_t t = 0; t <= 5000 * kMs; t += 10 * kMs, next += kBuffer) clock.AddCallback(t, next);
    std::int64_t placed = 0;
    ASSERT_TRUE(clock.FrameAt(5500 * kMs + kLatency, 5500 * kMs, &placed));
    // A frame asked for is heard a buffer later.
    EXPECT_EQ(placed, next + kLatency * kRate / 1000000000 - kBuffer);
}

TEST(DeviceClock, ASmallLossIsCarriedNotTakenForASlowClock) {
    // The device loses 12 ms once, ten seconds in (less than a stall, more than the dead band): the
    // fit starts again and the run keeps its spacing to the frame, heard 12 ms later from then on as
    // the lag says, and not steered back a frame a sound as if the clock were slow.
    Device device;
    device.stallAtNs = 10000 * kMs;
    device.stallNs = 12 * kMs;
    Result result = Simulate(device, 500, 250, 160);
    EXPECT_EQ(result.anchors, 1);
    EXPECT_EQ(WorstInterval(result, device.trueRate, 250), 0.0);
    EXPECT_NEAR(double(result.lagNs) / 1e6, 12.0, 1.0);
    // Heard where the screen shows it, but for the sounds handed over as it stopped.
    EXPECT_LT(*std::max_element(result.heardMs.begin() + 40, result.heardMs.end()), 1.5);
}

TEST(DeviceClock, TheScheduleLineHoldsStillWhileTheFitWobbles) {
    // Exact nominal rate, heavy jitter: the spacing may differ from the ideal by the rounding only,
    // never by the wobble of the fit.
    Device device;
    device.jitterMs = 2.0;
    Result result = Simulate(device, 5000, 500, 100);
    EXPECT_EQ(result.late, 0);
    EXPECT_LE(WorstInterval(result, device.trueRate, 500), 1.0);
}

TEST(DeviceClock, CoarseTimestampsOfAClockAtItsNominalRateKeepEveryIntervalExact) {
    // A browser's output: timestamps on a 100-us grid, taken by a timer; the fit wobbles by a part
    // per million or so, which over a minute would move one interval in a few by a frame. Within
    // the band the nominal rate is taken: a minute at 240 beats a minute, every interval exact.
    Device device;
    device.spread = 1e-6;
    device.band = 3e-6;
    device.grainNs = 100000;
    device.jitterMs = 1.0;
    Result result = Simulate(device, 1000, 250, 240, 2.0);
    EXPECT_EQ(result.late, 0);
    EXPECT_EQ(WorstInterval(result, device.trueRate, 250), 0.0);
    // A clock truly off by more than the band is still followed.
    Device fast;
    fast.spread = device.spread;
    fast.band = device.band;
    fast.grainNs = device.grainNs;
    fast.jitterMs = device.jitterMs;
    fast.trueRate = kRate * (1 + 20e-6);
    Result followed = Simulate(fast, 1000, 250, 240, 2.0);
    EXPECT_LE(WorstInterval(followed, fast.trueRate, 250), 1.0);
    EXPECT_LT(followed.worstHeardMs, 2.0);
}

// A browser's output through a sound server: its timestamps come a whole server cycle at a time and
// each is late by up to a cycle (21 ms), read on a 100-us grid. The schedule holds each run's line.
Device CoarseServerTimestamps() {
    Device device;
    device.spread = 1e-6;
    device.grainNs = 100000;
    device.jitterMs = 21.0;
    return device;
}

TEST(DeviceClock, AHeldRunKeepsEveryIntervalExactWhateverTheTimestampsDo) {
    // A minute at 240 beats a minute: one anchor, every interval 12000 frames (or one more or less,
    // where the line is moved towards the fit a frame at a time), none late.
    Device device = CoarseServerTimestamps();
    Result held = Simulate(device, 1000, 250, 240, 2.0);
    EXPECT_EQ(held.late, 0);
    EXPECT_LE(WorstInterval(held, device.trueRate, 250), 1.0);
    EXPECT_EQ(held.anchors, 1);
    EXPECT_LT(held.worstHeardMs, 25.0) << "the anchor is chosen from the timestamps, within their scatter";
    // Timestamps that step by 20 ms for good (a server's report moving by a few of its cycles): the
    // held run keeps every interval exact, where a line that follows the fit bends one by the step.
    Device stepped = CoarseServerTimestamps();
    stepped.jitterMs = 2.0;
    stepped.stallAtNs = 10000 * kMs;
    stepped.stallNs = 20 * kMs;
    Result kept = Simulate(stepped, 1000, 250, 120, 2.0);
    EXPECT_EQ(WorstInterval(kept, stepped.trueRate, 250), 0.0);
    EXPECT_EQ(kept.anchors, 1);
    Device following = CoarseServerTimestamps();
    following.jitterMs = 2.0;
    following.stallAtNs = 10000 * kMs;
    following.stallNs = 20 * kMs;
    following.hold = 0;
    Result bent = Simulate(following, 1000, 250, 120, 2.0);
    EXPECT_GT(WorstInterval(bent, following.trueRate, 250), 100.0);
}

TEST(DeviceClock, AHeldRunIsSpacedInTheOutputsOwnFramesWhateverItsCrystal) {
    // A sound card whose crystal runs 100 ppm fast of the host's clock, read through precise
    // callbacks: the run's clicks are exactly 12000 of its frames apart (a quarter second as the
    // listener hears it), not the 12001.2 that the host's clock would make of them, for the 40 s
    // before the line has to be moved towards the fit.
    Device card;
    card.trueRate = kRate * (1 + 100e-6);
    Result run = Simulate(card, 1000, 250, 160);
    EXPECT_EQ(WorstInterval(run, kRate, 250), 0.0);
    EXPECT_EQ(run.late, 0);
}

TEST(DeviceClock, AHeldRunMovesOnlyWhenTheDeviceLeftItByMoreThanTheBound) {
    // At 30 beats a minute the run holds across the two seconds between clicks; after a pause of
    // five seconds a new run is anchored afresh.
    Device slow = CoarseServerTimestamps();
    Result run = Simulate(slow, 1000, 2000, 30, 2.0);
    EXPECT_LE(WorstInterval(run, slow.trueRate, 2000), 1.0);
    EXPECT_EQ(run.anchors, 1);
    Device paused = CoarseServerTimestamps();
    Result twoRuns = Simulate(paused, 1000, 5000, 4, 2.0);
    EXPECT_EQ(twoRuns.anchors, 4);
    // The device's clock runs slow of the host's by 0.04 % (four times a real crystal's worst) for
    // two and a half minutes: the line, at the nominal rate, is moved a frame a sound towards it and
    // carries the rest as a lag the screen is told; it is never drawn again, nothing comes late.
    Device drifting = CoarseServerTimestamps();
    drifting.trueRate = kRate * (1 - 400e-6);
    Result drifted = Simulate(drifting, 1000, 250, 600, 2.0);
    EXPECT_EQ(drifted.anchors, 1);
    EXPECT_LE(WorstInterval(drifted, kRate, 250), 1.0) << "the output's own frames";
    EXPECT_EQ(drifted.late, 0);
    EXPECT_LT(drifted.worstHeardMs, 25.0) << "where the screen shows it, within the timestamps' scatter";
    // Fast by a quarter of that, at 60 beats a minute, where a frame a sound takes in less than the
    // drift: ahead of the line so far that its sounds would come late,
    // the line is drawn again, once in the ten minutes; nothing is handed late.
    Device racing = CoarseServerTimestamps();
    racing.trueRate = kRate * (1 + 100e-6);
    racing.jitterMs = 2.0;
    Result raced = Simulate(racing, 1000, 1000, 600, 2.0);
    EXPECT_EQ(raced.late, 0);
    EXPECT_GE(raced.anchors, 2);
    EXPECT_LE(raced.anchors, 3);
}

// The same, and the device stops for `stopMs` once, ten seconds in.
Device StoppedOnce(int stopMs) {
    Device device = CoarseServerTimestamps();
    device.jitterMs = 2.0;
    device.stallAtNs = 10000 * kMs;
    device.stallNs = stopMs * kMs;
    return device;
}

TEST(DeviceClock, TimeTheOutputLosesUnderAHeldRunIsCarriedNotTakenBackFromIt) {
    // The device stops for 100 ms once, ten seconds in (a browser's audio thread held up): every
    // interval stays exact in its frames and the line is kept, so the sounds after the stop are
    // heard 100 ms later than due, as those already handed over are; the lag says so (the screen
    // waits as long) and nothing is heard early.
    Device step = StoppedOnce(100);
    Result carried = Simulate(step, 1000, 250, 120, 2.0);
    EXPECT_EQ(carried.anchors, 1);
    EXPECT_EQ(WorstInterval(carried, step.trueRate, 250), 0.0);
    EXPECT_EQ(carried.late, 0);
    EXPECT_NEAR(double(carried.lagNs) / 1e6, 100.0, 2.0);
    // A run that keeps its line through such a stop is never heard early: where a line that follows
    // the fit (the hold off) catches up, it shortens one interval by the stop.
    Device following = StoppedOnce(100);
    following.hold = 0;
    Result caughtUp = Simulate(following, 1000, 250, 120, 2.0);
    EXPECT_GT(WorstInterval(caughtUp, following.trueRate, 250), 100.0);
    // Six stops of 12 ms, each too short for the fit to start again (an audio thread on a loaded
    // machine): carried all the same, never a line drawn back under the run.
    Device stutter = StoppedOnce(12);
    for (int k = 1; k < 6; ++k) stutter.moreStallsAtNs.push_back((10000 + 400 * k) * kMs);
    Result stuttered = Simulate(stutter, 1000, 250, 120, 2.0);
    EXPECT_EQ(stuttered.anchors, 1);
    EXPECT_LE(WorstInterval(stuttered, stutter.trueRate, 250), 1.0);
    EXPECT_EQ(stuttered.late, 0);
    EXPECT_NEAR(double(stuttered.lagNs) / 1e6, 72.0, 10.0);
    // Stops that add up to more than a quarter of a second are not carried: the line is drawn again
    // and the sounds after it are heard on time.
    Device longStop = StoppedOnce(400);
    Result redrawn = Simulate(longStop, 1000, 250, 120, 2.0);
    EXPECT_EQ(redrawn.anchors, 2);
    EXPECT_LT(std::llabs(redrawn.lagNs), 1 * kMs);
    EXPECT_LE(WorstInterval(redrawn, longStop.trueRate, 250, 1, 36), 1.0) << "before the stop";
    EXPECT_LE(WorstInterval(redrawn, longStop.trueRate, 250, 42), 1.0) << "after it";
}

}  // namespace
