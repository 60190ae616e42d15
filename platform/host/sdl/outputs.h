// The outputs the desktop host plays the schedule through, each a thin layer over one device API.
//
// Implements: one small table per output: open (connect within a bounded time, the stream made but
// not running), its timing, start (the schedule attached, the stream running), broken (it stopped
// for good, said at once where the API tells), close (the destructor); the output then either pulls
// buffers from the scheduler (SDL, PipeWire) or writes a queue ahead (PulseAudio) and reports which
// frame is heard when. PulseAudio writes ahead because a stream pulled 30 ms ahead lost sounds to
// underruns on a loaded machine, and one pulled further ahead would leave the latency no room.
// Leaves out: choosing among them and retrying (audio.cpp).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "scheduler.h"
#include "sound_cache.h"

namespace sdlhost {

// The schedule, the clock fit and the converted sounds are the hosts' shared sound pieces.
using hostsound::DeviceClock;
using hostsound::OutputTiming;
using hostsound::Scheduler;
using hostsound::SoundCache;
using hostsound::SoundData;

class Output {
public:
    virtual ~Output() = default;
    virtual const char *Name() const = 0;
    virtual OutputTiming Timing() const = 0;
    // Called under the scheduler's lock with every new sound, to take back a resting stream (never blocks).
    virtual std::function<void()> Wake() { return {}; }
    virtual void Start() = 0;
    // Whether the output stopped for good; `notice` (set before Start) is called, on the output's own
    // thread, when it does.
    virtual bool Broken() { return broken_; }
    // Whether `notice` is called when it breaks; an output that cannot tell is asked each second.
    virtual bool SaysWhenBroken() const { return true; }
    // Frames the device went on past ours so far: PipeWire's graph position jumped ahead of our frames
    // (followed, not skipped: nothing of ours is lost when its driver jumps).
    virtual std::int64_t SkippedFrames() const { return 0; }
    std::function<void()> notice;

protected:
    void SetBroken() {
        if (!broken_.exchange(true) && notice) notice();
    }

private:
    std::atomic<bool> broken_{false};
};

enum class OutputKind { PipeWire, Pulse, Sdl };
constexpr int kOutputRate = 48000;

// SDL: its buffer is CADENZO_AUDIO_BUFFER frames (kBufferFrames by default), up to kSdlMaxChunk.
constexpr int kSdlMaxChunk = 4096;

// Each returns nullptr with the reason in *why when the output cannot be had (no server, no device).
std::unique_ptr<Output> OpenPipeWire(Scheduler &scheduler, std::string *why);
std::unique_ptr<Output> OpenPulse(Scheduler &scheduler, std::string *why);
std::unique_ptr<Output> OpenSdl(Scheduler &scheduler, std::string *why);

}  // namespace sdlhost
