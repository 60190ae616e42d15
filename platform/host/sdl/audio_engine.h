// The sound engine of the desktop host, independent of the device that plays it.
//
// Implements: one voice; each sound is scheduled on the main thread to start at a device frame
// (its message time + a constant latency, through the device clock) and started by the audio
// callback exactly there, cutting off the sound playing; a late sound starts at once, whole.
// The callback never allocates and holds the engine's lock only to copy a few small records.
// Leaves out: the device and its sample format (the callback renders mono floats), resampling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "device_clock.h"
#include "sound_cache.h"

namespace sdlhost {

class AudioEngine {
public:
    AudioEngine(int rate, int bufferFrames, int latencyMs, double rateSpread = DeviceClock::kCrystalSpread);

    // Main thread. Start `sound` (mono floats at the device rate, kept alive by the caller until the
    // engine is gone) so its first frame is heard at messageNs + the latency; nullptr stops the
    // sound playing at that moment. Returns the frame chosen (-1: as soon as possible).
    std::int64_t Play(int id, const SoundData *sound, std::int64_t messageNs, std::int64_t nowNs);

    // Main thread: a sound the callback started, for traces.
    struct Started {
        int id;
        std::int64_t frame;           // where it started
        std::int64_t scheduled;       // where it was meant to start (-1: as soon as possible)
        std::int64_t callbackNs;      // host time of the callback that started it
        std::int64_t callbackFrame;   // the first frame that callback rendered
    };
    int TakeStarted(Started *out, int max);

    // Audio thread: render `frames` mono samples; `nowNs` is the host time the callback began.
    void Render(float *out, int frames, std::int64_t nowNs);

    int Rate() const { return rate_; }
    int BufferFrames() const { return bufferFrames_; }
    std::int64_t LatencyNs() const { return latencyNs_; }
    const DeviceClock &Clock() const { return clock_; }   // main thread only

private:
    static constexpr int kPoints = 1024;     // about ten seconds of callbacks
    static constexpr int kCommands = 32;
    static constexpr int kPending = 32;
    static constexpr int kStarted = 64;

    struct Point {
        std::int64_t timeNs, frame;
    };
    struct Command {
        int id;
        const SoundData *sound;
        std::int64_t frame;   // -1: as soon as possible
    };
    void DrainPoints();
    void StartVoice(const Command &command, std::int64_t at, std::int64_t nowNs, std::int64_t bufferFrame);

    const int rate_;
    const int bufferFrames_;
    const std::int64_t latencyNs_;

    std::mutex mutex_;   // guards the three exchanges below
    Point points_[kPoints];
    int pointHead_ = 0, pointCount_ = 0;
    Command commands_[kCommands];
    int commandCount_ = 0;
    Started started_[kStarted];
    int startedCount_ = 0;

    // Main thread only.
    DeviceClock clock_;
    Point drained_[kPoints];

    // Audio thread only.
    Command pending_[kPending];
    int pendingCount_ = 0;
    Started justStarted_[kStarted];
    int justStartedCount_ = 0;
    const SoundData *voice_ = nullptr;
    std::size_t voicePos_ = 0;
    std::int64_t frame_ = 0;   // frames rendered so far
};

}  // namespace sdlhost
