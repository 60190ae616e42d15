// The sound servers' outputs, each against a real server of the test's own (PulseAudio, and PipeWire
// with its session manager, each with a 48 kHz null sink whose monitor parec records): each sound is
// heard verbatim at its frame, a run of sounds stamped 250 ms apart lands exactly 12000 frames apart,
// sounds after seconds of silence land on the same clock as before it, a new sound or a stop cuts off
// the sound playing, and a server that dies leaves a broken output and
// no new one, at once. Skipped when the server or parec is not installed, or cannot start here.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "played.h"
#include "outputs.h"
#include "scheduler.h"
#include "sdl_host.h"
#include "sound_servers.h"

namespace {

constexpr int kRate = 48000;
constexpr int kLatencyMs = 60;

using namespace servers;

class OutputTest : public ::testing::TestWithParam<sdlhost::OutputKind> {
protected:
    bool PipeWire() const { return GetParam() == sdlhost::OutputKind::PipeWire; }
    std::unique_ptr<sdlhost::Output> Open(std::string *why) {
        return PipeWire() ? sdlhost::OpenPipeWire(scheduler_, why) : sdlhost::OpenPulse(scheduler_, why);
    }
    void SetUp() override {
        if (!OnPath(PipeWire() ? "pipewire" : "pulseaudio") || !OnPath("parec"))
            GTEST_SKIP() << "needs the sound server and parec";
        dir_ = std::filesystem::temp_directory_path() / ("cadenzo-server-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
        daemon_ = PipeWire() ? StartPipeWire(dir_.string()) : StartPulse(dir_.string());
        if (daemon_ < 0) GTEST_SKIP() << "the sound server does not start on this machine";
        std::string why;
        output_ = Open(&why);
        ASSERT_NE(output_, nullptr) << why;
        scheduler_.Attach(output_->Timing(), output_->Wake(), sdlhost::NowNs());
        output_->Start();
        // Let the stream start and report its timing, as the program's window takes a moment to open
        // (on a cold machine the session manager may take a while to link the stream).
        for (int i = 0; i < 300 && scheduler_.HeardFrame() < 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_GE(scheduler_.HeardFrame(), 0) << "the output never reports what is heard";
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    void TearDown() override {
        scheduler_.Detach();
        output_.reset();
        recorder_.Heard();
        Stop(daemon_);
        unsetenv("PULSE_SERVER");
        unsetenv("PIPEWIRE_RUNTIME_DIR");
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);  // a server may still be removing its own files
    }

    void Record() { ASSERT_TRUE(recorder_.Start(dir_)) << "parec records nothing"; }
    std::int64_t PlayAt(const hostsound::SoundData *sound, std::uint32_t origin, std::uint32_t ms) {
        return ::PlayAt(scheduler_, sound, origin, ms);
    }
    // Records what `play` schedules, until `ms` after it returns. A take in which the server ran
    // cycles without us (our thread woke too late on a loaded machine, and the output skipped frames
    // to keep the later sounds on their frames) is taken again, up to three times.
    // `before` (if any) runs before the recording starts, in every take.
    std::vector<std::int16_t> Take(const std::function<void()> &play, int ms,
                                   const std::function<void()> &before = nullptr) {
        std::vector<std::int16_t> heard;
        for (int take = 1; take <= 3; ++take) {
            if (before) before();
            Record();
            std::int64_t skipped = output_->SkippedFrames();
            play();
            Wait(ms);
            heard = recorder_.Heard();
            skipped = output_->SkippedFrames() - skipped;
            if (skipped == 0) break;
            std::printf("take %d: the server played %lld frames without us\n", take, (long long)skipped);
        }
        return heard;
    }
    // Eight sounds stamped a beat (250 ms) apart from 100 ms on, taken as above; `frames`: where
    // each was scheduled.
    std::vector<std::int16_t> TakeEightBeats(const Burst &click, std::vector<std::int64_t> &frames,
                                             const std::function<void()> &before = nullptr) {
        return Take(
            [&] {
                frames.clear();
                std::uint32_t origin = NowMs();
                for (std::uint32_t beat = 0; beat < 8; ++beat)
                    frames.push_back(PlayAt(&click, origin, 100 + beat * 250));
            },
            500, before);
    }
    static std::uint32_t NowMs() { return std::uint32_t(sdlhost::NowNs() / 1000000); }
    static void Wait(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    std::filesystem::path dir_;
    Recorder recorder_;
    pid_t daemon_ = -1;
    hostsound::Scheduler scheduler_{kLatencyMs};
    std::unique_ptr<sdlhost::Output> output_;
};

TEST_P(OutputTest, SoundsAreHeardVerbatimAndExactlyTheirStampsApart) {
    Burst click(2400, 7);
    std::vector<std::int64_t> frames;
    std::vector<std::int16_t> heard = TakeEightBeats(click, frames);

    std::vector<long> at = FindAll(heard, click);
    ASSERT_EQ(at.size(), 8u) << "each sound heard once, whole: " << ::testing::PrintToString(at);
    for (std::size_t i = 1; i < at.size(); ++i) {
        EXPECT_NEAR(double(at[i] - at[i - 1]), 12000.0, 1.0) << "beat " << i;
        // What was heard is what was scheduled.
        EXPECT_EQ(at[i] - at[i - 1], frames[i] - frames[i - 1]) << "beat " << i;
    }
    // Nothing but the sounds: silence between them.
    for (std::size_t i = 0; i + 1 < at.size(); ++i)
        for (long k = at[i] + long(click.Length()); k < at[i + 1]; ++k)
            ASSERT_EQ(heard[std::size_t(k)], 0) << "frame " << k;
}

// After seconds of silence (the PipeWire stream rests, and the graph takes it back over a cycle or
// two when a sound comes) the run that comes next is exact from its first sound, and lands within a
// cycle of where the clock put it three seconds after the click before the silence.
TEST_P(OutputTest, AfterALongSilenceTheNextRunIsExactFromItsFirstSound) {
    Burst click(2400, 13);
    std::vector<std::int64_t> frames;
    std::vector<std::int16_t> heard = Take(
        [&] {
            frames.clear();
            std::uint32_t origin = NowMs();
            frames.push_back(PlayAt(&click, origin, 100));
            for (std::uint32_t beat = 0; beat < 8; ++beat) frames.push_back(PlayAt(&click, origin, 3100 + beat * 250));
        },
        500);

    std::vector<long> at = FindAll(heard, click);
    ASSERT_EQ(at.size(), 9u) << "each sound heard once, whole: " << ::testing::PrintToString(at);
    // Three seconds on the device's clock as the fit measured it, which may be off the nominal rate
    // by as much as a crystal's (a PulseAudio null sink's runs some ppm off the system's clock).
    EXPECT_NEAR(double(frames[1] - frames[0]), 3.0 * kRate, 3.0 * kRate * hostsound::DeviceClock::kCrystalSpread)
        << "as scheduled";
    EXPECT_NEAR(double(at[1] - at[0]), 3.0 * kRate, 1024 + 2) << "the first sound after the silence";
    for (std::size_t i = 2; i < at.size(); ++i) {
        EXPECT_NEAR(double(at[i] - at[i - 1]), 12000.0, 1.0) << "beat " << i;
        EXPECT_EQ(at[i] - at[i - 1], frames[i] - frames[i - 1]) << "beat " << i << " as scheduled";
    }
}

// The cycles in which the stream is taken back after a rest (the first buffer is asked for a cycle
// ahead, the next cycle does not ask at all) lose no sound and move none: a run of short sounds 5 ms
// apart, begun as the stream wakes and lasting over those cycles whatever their phase, is heard
// whole and exactly as scheduled.
TEST_P(OutputTest, NoSoundIsLostOrMovedWhileTheStreamIsTakenBackAfterARest) {
    Burst click(2400, 19), tick(200, 23);
    std::vector<std::int64_t> frames;
    std::vector<std::int16_t> heard = Take(
        [&] {
            frames.clear();
            PlayAt(&click, NowMs(), 100);
            Wait(2700);  // the stream rests; the recorder keeps the graph running
            // Stamped from now, as a tick is: the first wakes the stream and is due a latency later,
            // and the run falls in the cycles that take the stream back.
            std::uint32_t origin = NowMs();
            for (std::uint32_t i = 0; i < 40; ++i) frames.push_back(PlayAt(&tick, origin, i * 5));
        },
        600);

    std::vector<long> at = FindAll(heard, tick);
    // Both from their first, for the message.
    std::string where;
    for (long f : at) where.append(" ").append(std::to_string(f - at.front()));
    where.append("; scheduled at");
    for (std::int64_t f : frames) where.append(" ").append(std::to_string(f - frames.front()));
    ASSERT_EQ(at.size(), 40u) << "each sound heard once, whole; heard at" << where;
    for (std::size_t i = 1; i < at.size(); ++i)
        EXPECT_EQ(at[i] - at[i - 1], frames[i] - frames[i - 1]) << "sound " << i << " at frame " << frames[i];
}

// The same when nothing at all ran meanwhile, so the graph's clock stood still: the run that wakes
// it is exactly its stamps apart from its first sound on.
TEST_P(OutputTest, AfterTheGraphStoodStillSoundsAreExactlyTheirStampsApart) {
    Burst click(2400, 17);
    std::vector<std::int64_t> frames;
    std::vector<std::int16_t> heard = TakeEightBeats(click, frames, [&] {
        PlayAt(&click, NowMs(), 100);
        Wait(3500);  // the stream rests, and no other stream runs the graph
    });

    std::vector<long> at = FindAll(heard, click);
    ASSERT_EQ(at.size(), 8u) << "each sound heard once, whole: " << ::testing::PrintToString(at);
    for (std::size_t i = 1; i < at.size(); ++i) {
        EXPECT_NEAR(double(at[i] - at[i - 1]), 12000.0, 1.0) << "beat " << i;
        EXPECT_NEAR(double(frames[i] - frames[i - 1]), 12000.0, 1.0) << "beat " << i << " as scheduled";
    }
}

TEST_P(OutputTest, ANewSoundOrAStopCutsOffTheSoundPlaying) {
    Burst note(kRate, 11);  // a second long
    Burst click(1200, 23);
    std::int64_t noteFrame, clickFrame, secondFrame, stopFrame;
    std::vector<std::int16_t> heard = Take(
        [&] {
            std::uint32_t origin = NowMs();
            noteFrame = PlayAt(&note, origin, 50);
            clickFrame = PlayAt(&click, origin, 350);  // cuts the note 300 ms in
            secondFrame = PlayAt(&note, origin, 700);
            stopFrame = PlayAt(nullptr, origin, 900);  // stops the second note 200 ms in
        },
        1500);
    ASSERT_GE(noteFrame, 0);

    long first = Find(heard, note, std::size_t(clickFrame - noteFrame));
    ASSERT_GE(first, 0) << "the note's head";
    long cut = first + long(clickFrame - noteFrame);
    EXPECT_EQ(Find(heard, click, click.Length(), std::size_t(first)), cut) << "the click starts where the note is cut";
    for (long k = cut + long(click.Length()); k < cut + 12000; ++k)
        ASSERT_EQ(heard[std::size_t(k)], 0) << "nothing of the note after the click, frame " << k;
    long second = Find(heard, note, 4800, std::size_t(cut));
    ASSERT_GT(second, cut) << "the second note";
    EXPECT_NEAR(double(stopFrame - secondFrame), 0.2 * kRate, 2.0);
    long stop = second + long(stopFrame - secondFrame);
    EXPECT_EQ(Find(heard, note, std::size_t(stopFrame - secondFrame), std::size_t(cut)), second);
    for (long k = stop; k < stop + kRate / 2 && std::size_t(k) < heard.size(); ++k)
        ASSERT_EQ(heard[std::size_t(k)], 0) << "silence after the stop, frame " << k;
}

TEST_P(OutputTest, AServerThatDiesLeavesABrokenOutputAndNoNewOne) {
    Burst click(1200, 5);
    EXPECT_GE(PlayAt(&click, NowMs(), 0), 0);
    Stop(daemon_, SIGKILL);
    Wait(200);
    EXPECT_TRUE(output_->Broken());
    // And no new connection can be had, at once: the host goes on silently.
    std::string why;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Open(&why), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
    EXPECT_FALSE(why.empty());
}

INSTANTIATE_TEST_SUITE_P(Servers, OutputTest,
                         ::testing::Values(sdlhost::OutputKind::Pulse, sdlhost::OutputKind::PipeWire),
                         [](const auto &info) {
                             return info.param == sdlhost::OutputKind::Pulse ? "PulseAudio" : "PipeWire";
                         });

}  // namespace
